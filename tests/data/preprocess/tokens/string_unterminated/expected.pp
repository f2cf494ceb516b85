
a bc d
e  f 
g h i