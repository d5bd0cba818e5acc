// The plot subcommand's figure: what a selection does across the range of
// selection ratios, in three panels side by side. The impact ratio with the
// four-fifths line and the four-fifths minimum; the selection rates of the
// two groups; the mean quality of those selected, overall and per group.
#ifndef FOURFIFTHS_PRESENT_PLOT_H_
#define FOURFIFTHS_PRESENT_PLOT_H_

#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/analysis.h"
#include "fourfifths/groups.h"
#include "fourfifths/problem.h"
#include "present/chart.h"
#include "present/scenario.h"

namespace present {

/// The figure, 800 by 500 pixels, of the outcomes of `model` against the
/// selection ratio (overall in overall mode, the majority group's in
/// majority mode):
///   - "Adverse impact": the impact ratio, the four-fifths line at 0.8, and
///     the four-fifths minimum as a labelled point with a vertical line, or
///     a note that none was found;
///   - "Selection rates": the share of each group selected;
///   - "Quality of those selected": the mean criterion composite (with
///     criterion quality) or predictor composite score of those selected, in
///     the majority group's standard deviations, per group and, when the
///     model has the applicant mix, overall.
/// Both other panels show the minimum's vertical line. An outcome without a
/// cut score leaves a gap in every curve. `title` heads the figure; when it
/// is empty, a title saying what is plotted against what does.
figure plot_figure(const fourfifths::selection_model& model, fourfifths::method m,
                   std::string_view title = {});

/// The scenario's figure as a self-contained SVG document, under the
/// scenario's title when it has one.
std::string plot_svg(const scenario& s, const fourfifths::problem& p, fourfifths::method m);

/// The figure of a problem with several minority groups, 800 by 500
/// pixels, against the selection ratio (overall or the majority's, as the
/// mode says), one curve per group (the majority first) in each panel:
///   - "Four-fifths rule": each group's rate as a share of the highest
///     group's rate, the four-fifths line, and the four-fifths minimum of
///     every group together as a labelled point, or a note that none was
///     found;
///   - "Selection rates": each group's share selected (and the overall
///     ratio in majority mode, when the shares are given);
///   - "Quality of those selected": each group's mean and, with the
///     shares, the overall mean.
figure group_plot_figure(const fourfifths::group_problem& p, std::string_view title = {});

/// The figure of a scenario with several groups as an SVG document.
std::string plot_svg(const scenario& s, const fourfifths::group_problem& p);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_PLOT_H_
