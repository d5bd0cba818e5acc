// The chart of an analysis of observed counts, as the observed
// subcommand's --plot and the web page draw it.
#ifndef FOURFIFTHS_PRESENT_OBSERVED_CHART_H_
#define FOURFIFTHS_PRESENT_OBSERVED_CHART_H_

#include "fourfifths/observed.h"
#include "present/chart.h"

namespace present {

/// The chart: the groups' selection rates against the reference's rate
/// and four fifths of it (the band between them is where the rule holds
/// short of the reference), and the impact ratios with their intervals
/// against 0.8. With several units, the rows of all units together; with
/// several steps, the bottom line.
figure observed_figure(const fourfifths::observed_analysis& a);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_OBSERVED_CHART_H_
