l32
#include "d33.h"
