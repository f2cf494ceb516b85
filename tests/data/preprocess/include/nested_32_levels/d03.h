l03
#include "d04.h"
