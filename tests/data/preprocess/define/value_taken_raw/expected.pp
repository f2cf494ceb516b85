
 A 