
x 
y 