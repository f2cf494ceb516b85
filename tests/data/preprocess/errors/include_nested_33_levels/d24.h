l24
#include "d25.h"
