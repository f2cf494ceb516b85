
s = a  b ;
t = a 
h = ff ;
k =10;