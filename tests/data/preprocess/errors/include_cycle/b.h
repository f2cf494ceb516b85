b
#include "a.h"
