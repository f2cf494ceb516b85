l21
#include "d22.h"
