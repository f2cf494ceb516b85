
a 
b 
d 
f 
i 