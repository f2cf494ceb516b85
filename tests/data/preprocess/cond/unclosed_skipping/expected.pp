
a 