l17
#include "d18.h"
