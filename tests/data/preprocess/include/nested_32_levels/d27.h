l27
#include "d28.h"
