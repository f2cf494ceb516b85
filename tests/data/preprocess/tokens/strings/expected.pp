
s =a b;
t =x y+;
u =#define Q 1 // no;
v =it's+say "hi";