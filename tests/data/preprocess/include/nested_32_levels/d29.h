l29
#include "d30.h"
