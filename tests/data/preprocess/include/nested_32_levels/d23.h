l23
#include "d24.h"
