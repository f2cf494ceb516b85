
x 

y 