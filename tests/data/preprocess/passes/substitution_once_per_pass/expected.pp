
 C 