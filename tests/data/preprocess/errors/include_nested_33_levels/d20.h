l20
#include "d21.h"
