l14
#include "d15.h"
