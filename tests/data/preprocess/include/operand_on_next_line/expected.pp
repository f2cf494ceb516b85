
in 
x 