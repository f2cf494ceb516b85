
a 
x 
y  b 
x 
y 
c 