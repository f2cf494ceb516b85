
a $g$  b ;