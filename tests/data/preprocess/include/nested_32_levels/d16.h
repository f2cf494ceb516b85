l16
#include "d17.h"
