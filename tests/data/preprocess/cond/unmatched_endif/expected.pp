
a 
b 