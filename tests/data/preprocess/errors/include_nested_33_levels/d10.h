l10
#include "d11.h"
