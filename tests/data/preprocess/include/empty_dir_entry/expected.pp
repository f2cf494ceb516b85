
e 