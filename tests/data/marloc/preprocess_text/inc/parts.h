#ifndef PARTS_H
#define PARTS_H
#define WHEEL wheel_l
piece base, wheel_l;
#endif
