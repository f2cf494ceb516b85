
x 
z 