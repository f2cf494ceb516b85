#define SPEED <45>
#define HEALTH 4
#define TWICE SPEED
