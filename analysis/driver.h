#ifndef FOURFIFTHS_ANALYSIS_DRIVER_H_
#define FOURFIFTHS_ANALYSIS_DRIVER_H_
#include "recordio/session.h"
namespace analysis {
void driver(recordio::session& s);
}
#endif
