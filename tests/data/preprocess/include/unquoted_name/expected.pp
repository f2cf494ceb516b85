
d 
. h 