// The chart of an analysis of observed counts, as the observed
// subcommand's --plot and the web page draw it.
#ifndef FOURFIFTHS_PRESENT_OBSERVED_CHART_H_
#define FOURFIFTHS_PRESENT_OBSERVED_CHART_H_

#include <cstddef>

#include "fourfifths/observed.h"
#include "present/chart.h"

namespace present {

/// Up to this many units are drawn as small multiples, one panel each.
inline constexpr std::size_t small_multiples_max = 12;

/// The chart. The groups run down the vertical axis, one row each in the
/// data's order, their names on the left (cut with an ellipsis when long,
/// whole in a tooltip), so that 2 or 30 groups read alike.
///
/// One table (no units, or one): the groups' selection rates against the
/// reference's rate and four fifths of it (a group left of the lower line
/// fails the rule), and beside them the impact ratios with their
/// intervals against 0.8 and parity.
/// 2 to `small_multiples_max` units: one panel of impact ratios per unit,
/// "all units" last, all on one axis.
/// More units: the two panels of all units together, and a third with
/// every unit's impact ratio as a dot on each group's row.
/// The steps of one process are drawn as units are, the bottom line (from
/// the first step to the last) in the place of all units together.
///
/// A ratio beyond the axis (it stops at 3; infinite where the reference
/// selected no one) is a diamond at the axis's end with its value written
/// beside it; a ratio or rate that does not exist is no mark at all.
figure observed_figure(const fourfifths::observed_analysis& a);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_OBSERVED_CHART_H_
