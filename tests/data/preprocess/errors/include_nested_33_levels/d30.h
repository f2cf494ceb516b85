l30
#include "d31.h"
