l25
#include "d26.h"
