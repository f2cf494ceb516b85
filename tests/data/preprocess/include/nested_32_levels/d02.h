l02
#include "d03.h"
