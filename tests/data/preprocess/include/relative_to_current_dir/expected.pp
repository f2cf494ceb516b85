
a 
right 