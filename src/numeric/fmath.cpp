#include "numeric/fmath.h"
