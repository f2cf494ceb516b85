
a 
b  7 