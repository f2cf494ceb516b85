l08
#include "d09.h"
