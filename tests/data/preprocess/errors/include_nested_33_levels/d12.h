l12
#include "d13.h"
