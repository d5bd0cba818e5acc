// A scenario estimated from a validation sample: one row per person, a
// group label and scores on predictors and criteria, blank or missing
// cells allowed. Rows with a missing value in any named column are left
// out whole (listwise); the complete rows give the pooled within-group
// correlations, each group's effect sizes against the reference group (in
// pooled within-group standard deviations) and each group's share of the
// complete rows (see fourfifths/estimate.h). The scenario has regression
// weights on the criterion composite, each criterion weighted 1 (without
// criteria, each predictor weighted 1), overall selection ratios, and
// records its sample ("calibration_n", "calibration"). The reference group
// is the one named, or else the one with the most complete rows (the first
// of equals in the order met). Every face fits through here: the explorer
// from CSV text, Python and R from their data frames' columns.
#ifndef FOURFIFTHS_PRESENT_FIT_H_
#define FOURFIFTHS_PRESENT_FIT_H_

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "present/scenario.h"

namespace present {

/// What to fit: the columns by name.
struct fit_request {
  std::string group;                     ///< the group column
  std::optional<std::string> reference;  ///< the reference group, or the largest
  std::vector<std::string> predictors;   ///< at least one
  std::vector<std::string> criteria;     ///< none or more
};

/// A sample as a data frame holds it: the named columns only.
struct sample_columns {
  /// The group labels, each once, and each row's label as its place in
  /// that list; a negative place is a missing label.
  std::vector<std::string> labels;
  std::span<const int> group;
  /// The scores, in the order of the request's predictors then criteria,
  /// one value a row; NaN is a missing value, an infinity a fault.
  std::vector<std::span<const double>> scores;
  /// The place of each column in the frame, counted from 1, the group's
  /// first; empty for 1, 2, ... in the request's order.
  std::vector<int> positions;
};

/// The scenario fitted (`value`, `problem` or `group_problem`), or every
/// fault. Warnings say which group is the reference when none was named
/// and how many rows were left out. A fault of a value is placed as it
/// would be in the frame written as CSV with a header line, row 1 on line
/// 2 ("line 13, column 3 (x): ..."), so that a frame and its CSV give the
/// same messages.
loaded_scenario fit_columns(const sample_columns& sample, const fit_request& request);

/// The same from CSV text: a header naming the columns (any others are
/// skipped), then a row per person (records as csv_records reads them).
/// A blank cell is missing; any other cell of a score column must be a
/// finite decimal number ("inf", "nan" and "1e999" are faults). Faults name their place in the text ("line
/// 12, column 3 (x): must be a number, not \"abc\"").
loaded_scenario fit_csv(std::string_view text, const fit_request& request);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_FIT_H_
