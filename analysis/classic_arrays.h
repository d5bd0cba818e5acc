// The classic analysis's fixed-capacity arrays: every element access is
// checked against the extent, and a violation is reported with the array's
// name and the routine's label.
#ifndef FOURFIFTHS_ANALYSIS_CLASSIC_ARRAYS_H_
#define FOURFIFTHS_ANALYSIS_CLASSIC_ARRAYS_H_

#include <string_view>

#include "recordio/checked_array.h"

namespace analysis {

/// The routine labels of the subscript report: the driver, and regwei.
inline constexpr std::string_view label_main = "tamorin/MAIN";
inline constexpr std::string_view label_regwei = "tamorin/regwei";

/// Up to 30 predictors and 30 variables in all pass the deck's check, so
/// every array holds 30 entries and the correlation matrix 30 by 30.
inline constexpr int capacity = 30;
/// The requested selection ratios: a 26th is a subscript fault.
inline constexpr int requested_capacity = 25;

using vector = recordio::fixed_array<double, capacity>;
using matrix = recordio::fixed_matrix<double, capacity, capacity>;

}  // namespace analysis

#endif  // FOURFIFTHS_ANALYSIS_CLASSIC_ARRAYS_H_
