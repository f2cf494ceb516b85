
a 
b  c 