s
#include "self.h"
