#include "inner.h"
outer
