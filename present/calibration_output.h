// What a front's points give in new applicants when their weights come
// from a calibration sample: the columns, the JSON part and the text that
// a front carries beside its own when a calibration size is given.
#ifndef FOURFIFTHS_PRESENT_CALIBRATION_OUTPUT_H_
#define FOURFIFTHS_PRESENT_CALIBRATION_OUTPUT_H_

#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <string>

#include "fourfifths/cross_validation.h"
#include "fourfifths/shrinkage.h"
#include "present/chart.h"
#include "present/frame.h"

namespace present {

/// A front's calibration as a face asks for it: the library's options.
using calibration_request = fourfifths::calibration_options;

/// Appends a column per quantity to a front's frame, one row per point:
/// cv_level (asked for in every sample), cv_validity with _se, _q05 and
/// _q95, cv_mean likewise (with every share), cv_lowest_ratio likewise,
/// p_below_level and cv_unreachable.
void append_calibration_columns(frame& f, const fourfifths::cross_validation& cv);

/// Appends the published formula's shrinkage of each point (one minority
/// group, validity): formula_validity, formula_composite_d and
/// formula_ratio_to_highest; empty where the formula does not apply (`s`
/// empty: several groups, the mean objective, no applicant mix).
void append_formula_columns(frame& f, const std::vector<fourfifths::shrunken_weighting>* s);

/// {"calibration_n", "counts", "replications", "failed", "seed", "points":
/// [{"level", "validity": {"mean", "standard_error", "q05", "q95"}, ...,
/// "formula": {"validity", "composite_d", "ratio_to_highest"}}]}, the
/// formula's part where it applies.
nlohmann::json calibration_document(const fourfifths::cross_validation& cv,
                                    const calibration_request& r,
                                    const std::vector<fourfifths::shrunken_weighting>* formula);

/// A paragraph per point, after the front's text.
std::string calibration_text(const fourfifths::cross_validation& cv, const calibration_request& r,
                             const std::vector<fourfifths::shrunken_weighting>* formula);

/// Draws a calibration into a front's chart (its first panel, whose x is
/// the lowest ratio to the highest rate and whose y is the objective's
/// quality): the points' means in new applicants, joined, and across each
/// the lowest ratio's 5 % to 95 % quantiles among new applicants.
void append_calibration_series(figure& chart, const fourfifths::cross_validation& cv,
                               const calibration_request& r, bool validity);

/// Every sample's values, one row per sample and point: replication (its
/// stream), point (from 1), cv_level, validity, mean, lowest_ratio,
/// reached. Samples that allowed no front have NaN values.
frame draws_frame(const fourfifths::cross_validation& cv);

/// Appends the robust choice to the answer's one row: robust_found, then
/// for the level chosen cv_level, cv_validity, cv_mean and cv_lowest_ratio
/// (each with _se, _q05, _q95) and p_below_min_ai; then for min_ai itself
/// asked of the samples as_asked_validity, as_asked_lowest_ratio_q05 and
/// p_as_asked_below_min_ai.
void append_robust_columns(frame& f, const fourfifths::robust_level& r);

/// {"min_ai", "found", "calibration_n", "counts", "replications", "failed",
/// "seed", "chosen": {...}, "as_asked": {...}}, the points as in
/// calibration_document.
nlohmann::json robust_document(const fourfifths::robust_level& r, const calibration_request& c);

/// A paragraph after the answer's text.
std::string robust_text(const fourfifths::robust_level& r, const calibration_request& c);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_CALIBRATION_OUTPUT_H_
