l09
#include "d10.h"
