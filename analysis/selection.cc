#include "analysis/selection.h"
