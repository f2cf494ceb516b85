
A  2 