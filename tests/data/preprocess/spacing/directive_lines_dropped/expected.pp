
x 
y 
z 