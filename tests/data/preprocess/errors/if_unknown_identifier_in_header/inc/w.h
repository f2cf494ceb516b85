w1

#if FOO
w2
#endif
