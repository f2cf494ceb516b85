
x =5+5;
piece  base ;
s = abc ;