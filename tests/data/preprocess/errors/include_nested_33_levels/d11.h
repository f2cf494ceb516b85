l11
#include "d12.h"
