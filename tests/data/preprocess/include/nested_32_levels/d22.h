l22
#include "d23.h"
