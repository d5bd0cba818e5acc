#include "analysis/tables.h"
