#define SPEED 5
