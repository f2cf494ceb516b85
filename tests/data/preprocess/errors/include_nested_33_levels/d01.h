l01
#include "d02.h"
