
x 
