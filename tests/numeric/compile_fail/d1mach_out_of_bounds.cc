// Must not compile: d1mach has five constants, and an index outside 1..5 is
// caught while the program compiles.
#include "numeric/dfzero.h"

double sixth_constant() { return numeric::d1mach(6); }
