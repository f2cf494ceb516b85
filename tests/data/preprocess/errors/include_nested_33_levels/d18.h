l18
#include "d19.h"
