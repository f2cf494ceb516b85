l28
#include "d29.h"
