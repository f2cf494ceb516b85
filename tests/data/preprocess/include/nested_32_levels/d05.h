l05
#include "d06.h"
