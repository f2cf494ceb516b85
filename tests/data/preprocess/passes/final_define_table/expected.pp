
A 
A 