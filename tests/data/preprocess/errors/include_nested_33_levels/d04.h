l04
#include "d05.h"
