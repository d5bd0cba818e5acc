// The classic report: every template of the report, in report order, and
// the one renderer that writes them from a problem and its analysis.
#include "analysis/classic_report.h"

#include <span>
#include <string>
#include <string_view>

#include "fourfifths/report.h"
#include "recordio/layout.h"
#include "recordio/record_writer.h"

namespace analysis {

namespace {

using recordio::layout;

// --- The header's check: its messages are the whole report of a rejected deck.

constexpr layout too_many{"('Too many predictors and criteria')"};
constexpr layout no_criteria_for_regression{
    "('Regression weights can not be computed because no',/,'criteria are specified')"};
constexpr layout no_criteria_for_quality{
    "('Average criterion quality can not be computed because',/,'no criteria are specified')"};
constexpr layout bad_counts{
    "('Number of predictors must be positive and number of',/,'criteria can not be negative')"};
constexpr layout bad_regression_flag{
    "('Regression weight flag must be 0 (weights given) or 1',/,'(regression based weights)')"};
constexpr layout bad_ratio{
    "('Ratio number of majority vs number of minority applicants',/,'must be positive')"};

// --- The banner and the problem specification.

constexpr layout banner{
    "('Computing adverse impact and average quality of the ','selected subjects',/,'(with "
    "respect to either a criterion or a predictor ','composite)',/,'of a selection using a "
    "weighted predictor',' combination',/,'for a given overall or majority group ','related "
    "selection ratio',/,/,'Written by the fourfifths developers, fourfifths project,',/,'an "
    "international open source collaboration',/,/,'This program uses routines from the SLATEC "
    "library (www.netlib.org/slatec)',/,'and a couple of algorithms from the StatLib "
    "collection of applied',/,'statistics algorithms (lib.stat.cmu.edu/apstat)')"};
constexpr layout echo{
    "(/,'Problem specification',/,/,'Number of predictors:',I3,/,'Number of criteria:',I3,/,"
    "'Computation for overall selection ratio: ',A3,/,'Use regression based weights: ',A3,/,"
    "'Expected scores on (composite) criterion: ',A3)"};
constexpr layout echo_ratio{
    "('Ratio number of majority vs number of minority ','applicants:',F6.3)"};

// --- Weights, effect sizes and the correlation matrix. The values run ten
// to a line: the group is where each further line starts over.

constexpr layout predictor_weights{
    "('Predictor weights (from predictor one to the last):',/,(5X,10F9.5))"};
constexpr layout regression_note{"(7X,'(Regression based weights!)')"};
constexpr layout not_positive_definite{
    "(7X,'(Warning: predictor correlations not positive definite!)')"};
constexpr layout criterion_weights{
    "('Criterion weights (from criterion one to the last):',/,5X,10F7.3)"};
constexpr layout predictor_effects{
    "('Effect sizes (i.e., standardized',' difference between the',/,'minority and the "
    "majority',' group) of the predictors',/,(5X,10F7.3))"};
constexpr layout criterion_effects{
    "('Effect sizes (i.e., standardized',' difference between the',/,'minority and the "
    "majority',' group) of the criteria',/,5X,10F7.3)"};
constexpr layout matrix_heading{
    "('Correlation matrix of the predictors (first',I2,' rows',' and columns)',/,'and the "
    "criteria (final',I2,' rows and',' columns',')')"};
constexpr layout matrix_row{"('   Row ',I2,1X,30F5.2)"};

// --- The composites.

constexpr layout composite_correlation{
    "(/,'Correlation between weighted predictor and weighted',/,'criterion combinations:',"
    "F7.3,/,'Squared correlation:',F7.3)"};
constexpr layout predictor_composite_effect{"(/,'Effect size predictor composite',F7.3)"};
constexpr layout criterion_composite_effect{"('Effect size criterion composite',F7.3)"};

// --- The four-fifths minimum.

constexpr layout srmax_failed{"(/,'Error in srmax ')"};
constexpr layout srmax_overall{
    "(/,'Minimum overall selection ratio without AI 4/5th rule',' is ',F7.3,/,'with selection "
    "ratio majority and minority group',' equal',/,'to ',2F7.3,' , respectively')"};
constexpr layout srmax_majority{
    "(/,'Minimal majority selection ratio without AI 4/5th rule',' is ',F7.3,/,'with "
    "corresponding selection ratio minority group',' equal',/,'to ',F7.3)"};

// --- The table's heading.

constexpr layout overall_explanation{
    "(/,'For each overall selection ratio (SR): the majority ','group SR (SRA)',/,'the "
    "minority group SR (SRI), ','the adverse ','impact (AI), the overall',/,'average "
    "quality',' of the ','selected individuals (with respect to',/,'the majority group "
    "distribution: wrtmgd) (M), the average',' quality',/,'of the majority group selected "
    "{wrtmgd) (MA) and',' the ','minority',/,'group selected (again wrtmgd) (MI), and the ',' "
    "difference between',/,'MA and MI.',/,'On the second line: the globally standardized (gs) "
    "overall',' average',/,'quality of the selected individuals (SM), the (gs)',' average "
    "quality of the',/,'majority selected individuals (SMA)',', the (gs) average quality of "
    "the',/,'minority selected (SMI)',' and the difference between SMA and SMI (SDIF)',/)"};
constexpr layout overall_titles{
    "(5X,'SR',5X,'SRA',5X,'SRI',6X,'AI',7X,'M',6X,'MA',6X,'MI',5X,'DIF',/,8X,'SM',5X,'SMA',5X,"
    "'SMI',4X,'SDIF')"};
constexpr layout majority_explanation{
    "(/,'For each majority selection ratio (SRA) the ','corresponding',/,'minority group SR "
    "(SRI), ','the adverse ','impact (AI), the average',/,'quality of the majority group "
    "selected (MA) and the',/,'minority group selected (MI)',/)"};
constexpr layout majority_titles{"(4X,'SRA',5X,'SRI',6X,'AI',6X,'MA',6X,'MI',/)"};

// --- The table's entries.

constexpr layout overall_minimum_heading{"('Details for minimum possible overall SR without AI')"};
constexpr layout majority_minimum_heading{
    "('Details for minimum possible majority SR without AI')"};
constexpr layout overall_requested_heading{"('Details for requested overall selection ratios')"};
constexpr layout majority_requested_heading{"('Details for requested majority selection ratios')"};
constexpr layout overall_row{"(9(F7.3,1X))"};
constexpr layout overall_standardized_row{"(3X,8(F7.3,1X))"};
constexpr layout majority_row{"(6(F7.3,1X))"};
constexpr layout error_zero{"('ERROR ZERO ',I3,4D13.4)"};
constexpr layout error_ppnd{"('ERROR PPND ',I3,D13.4)"};

using fourfifths::analysis_result;
using fourfifths::entry_kind;
using fourfifths::outcome;
using fourfifths::outcome_status;
using fourfifths::problem;
using fourfifths::problem_spec;
using fourfifths::ratio_mode;
using recordio::write;

// The echo's label of a flag.
std::string_view yes_no(bool flag) { return flag ? "Yes" : "No "; }

void write_specification(std::string& out, const problem& p) {
  const problem_spec& spec = p.spec();
  const bool overall = spec.mode == ratio_mode::overall;
  write(out, banner);
  write(out, echo, spec.predictors, spec.criteria, yes_no(overall), yes_no(spec.regression_weights),
        yes_no(spec.quality == fourfifths::quality_basis::criterion));
  if (overall) {
    const double ratio = spec.majority_per_minority ? *spec.majority_per_minority
                                                    : p.mix()->majority / p.mix()->minority;
    write(out, echo_ratio, ratio);
  }
}

void write_problem_sections(std::string& out, const problem& p, const analysis_result& a) {
  const problem_spec& spec = p.spec();
  write(out, predictor_weights, std::span<const double>(a.weighting.weights));
  if (a.weighting.regression) {
    write(out, regression_note);
    if (a.weighting.factorisation_info != 0) write(out, not_positive_definite);
  }
  if (spec.criteria != 0) {
    write(out, criterion_weights, std::span<const double>(spec.criterion_weights));
  }
  write(out, predictor_effects, std::span<const double>(spec.predictor_effects));
  if (spec.criteria != 0) {
    write(out, criterion_effects, std::span<const double>(spec.criterion_effects));
  }
  write(out, matrix_heading, spec.predictors, spec.criteria);
  for (int i = 0; i < p.variables(); ++i) {
    write(out, matrix_row, i + 1,
          std::span<const double>(spec.correlations[static_cast<std::size_t>(i)]));
  }
}

void write_composites(std::string& out, const analysis_result& a) {
  const fourfifths::composite_statistics& c = a.composites;
  if (c.has_criteria) write(out, composite_correlation, c.validity, c.validity * c.validity);
  write(out, predictor_composite_effect, c.predictor_effect);
  if (c.has_criteria) write(out, criterion_composite_effect, c.criterion_effect);
}

void write_minimum(std::string& out, bool overall, const fourfifths::four_fifths_minimum& m) {
  if (!m.found) {
    write(out, srmax_failed);
  } else if (overall) {
    write(out, srmax_overall, m.ratio, m.sr_majority, m.sr_minority);
  } else {
    write(out, srmax_majority, m.sr_majority, m.sr_minority);
  }
}

void write_entry(std::string& out, bool overall, const outcome& o) {
  switch (o.status) {
    case outcome_status::no_cut_score:
      write(out, error_zero, o.code, o.search_low, o.search_high, o.sr_majority, o.sr_minority);
      return;
    case outcome_status::quantile_fault:
      write(out, error_ppnd, o.code, o.target);
      return;
    case outcome_status::invalid_argument:
    case outcome_status::not_positive_definite:
      // Not an outcome of the report's analysis, which takes the deck as
      // it is: an analysis of a model with faults has no row to print.
      return;
    case outcome_status::solved:
      break;
  }
  if (overall) {
    write(out, overall_row, o.target, o.sr_majority, o.sr_minority, o.ai_ratio, *o.mean,
          o.mean_majority, o.mean_minority, o.mean_difference);
    write(out, overall_standardized_row, *o.std_mean, *o.std_mean_majority, *o.std_mean_minority,
          *o.std_mean_difference);
  } else {
    write(out, majority_row, o.sr_majority, o.sr_minority, o.ai_ratio, o.mean_majority,
          o.mean_minority, o.mean_difference);
  }
}

void write_table(std::string& out, bool overall, const analysis_result& a) {
  if (overall) {
    write(out, overall_explanation);
    write(out, overall_titles);
  } else {
    write(out, majority_explanation);
    write(out, majority_titles);
  }
  bool requested_heading = false;
  for (const fourfifths::table_entry& e : a.entries) {
    if (e.kind == entry_kind::minimum) {
      write(out, overall ? recordio::layout_view(overall_minimum_heading)
                         : recordio::layout_view(majority_minimum_heading));
    } else if (e.kind == entry_kind::requested && !requested_heading) {
      write(out, overall ? recordio::layout_view(overall_requested_heading)
                         : recordio::layout_view(majority_requested_heading));
      requested_heading = true;
    }
    write_entry(out, overall, e.result);
  }
}

}  // namespace

std::string check_messages(const check_result& checked) {
  std::string out;
  const recordio::layout_view messages[check_test_count] = {
      too_many,   no_criteria_for_regression, no_criteria_for_quality,
      bad_counts, bad_regression_flag,        bad_ratio};
  for (std::size_t t = 0; t < check_test_count; ++t) {
    if (checked.failed[t]) write(out, messages[t]);
  }
  return out;
}

}  // namespace analysis

namespace fourfifths {

std::string classic_report(const problem& p, const analysis_result& a) {
  std::string out;
  out.reserve(8192);
  const bool overall = p.spec().mode == ratio_mode::overall;
  analysis::write_specification(out, p);
  analysis::write_problem_sections(out, p, a);
  analysis::write_composites(out, a);
  analysis::write_minimum(out, overall, a.minimum);
  analysis::write_table(out, overall, a);
  return out;
}

std::string classic_report(const problem& p) {
  return classic_report(p, analysis::classic_analysis(p));
}

}  // namespace fourfifths
