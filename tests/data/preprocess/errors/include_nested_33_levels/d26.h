l26
#include "d27.h"
