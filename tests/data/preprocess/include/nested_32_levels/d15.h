l15
#include "d16.h"
