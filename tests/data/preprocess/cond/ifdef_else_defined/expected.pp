
one 