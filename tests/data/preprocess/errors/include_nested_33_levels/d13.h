l13
#include "d14.h"
