l31
#include "d32.h"
