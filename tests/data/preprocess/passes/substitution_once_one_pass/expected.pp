
 B 