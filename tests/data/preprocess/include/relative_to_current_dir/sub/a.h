a
#include "b.h"
