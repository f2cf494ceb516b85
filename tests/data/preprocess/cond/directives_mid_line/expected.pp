
x  z 