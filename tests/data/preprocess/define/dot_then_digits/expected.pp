
y 5
z  . 