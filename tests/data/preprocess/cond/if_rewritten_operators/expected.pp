
a 
b 
c 
e 