l06
#include "d07.h"
