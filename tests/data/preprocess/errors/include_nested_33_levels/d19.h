l19
#include "d20.h"
