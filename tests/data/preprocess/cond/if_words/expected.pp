
a 
b 
d 