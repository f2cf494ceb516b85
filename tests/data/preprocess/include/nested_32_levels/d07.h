l07
#include "d08.h"
