
c */
x  y 