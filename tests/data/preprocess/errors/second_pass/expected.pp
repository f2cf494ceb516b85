
x 