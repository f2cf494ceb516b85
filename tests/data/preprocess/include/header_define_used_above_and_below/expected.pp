
speed = 5 ;
x =5;