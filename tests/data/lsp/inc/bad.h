#define OK 1
#if FOO = 1
#endif
