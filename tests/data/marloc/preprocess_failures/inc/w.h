#define W 1
static-var w;
#if FOO
#endif
