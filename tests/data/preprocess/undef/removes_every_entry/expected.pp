
a 1
b  X 