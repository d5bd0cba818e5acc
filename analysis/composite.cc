#include "analysis/composite.h"
