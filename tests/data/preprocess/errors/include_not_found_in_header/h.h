h
#include "nope.h"
