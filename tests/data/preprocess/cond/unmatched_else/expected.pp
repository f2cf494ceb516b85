
a 
c 