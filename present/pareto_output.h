// What the pareto subcommand writes of a front, apart from the files it
// writes to: the rows as columns and CSV, the JSON document, the text and
// the chart; and the same of the answer to a least impact ratio. Each is
// written once for a front of one minority group and of several: the two
// differ only in how a point is written and in the measure of adverse
// impact it is placed by (the impact ratio, or the lowest ratio to the
// highest rate over every group). A study (study.h) chooses between them.
#ifndef FOURFIFTHS_PRESENT_PARETO_OUTPUT_H_
#define FOURFIFTHS_PRESENT_PARETO_OUTPUT_H_

#include <nlohmann/json_fwd.hpp>
#include <string>
#include <vector>

#include "fourfifths/group_pareto.h"
#include "fourfifths/pareto.h"
#include "present/chart.h"
#include "present/frame.h"
#include "present/names.h"
#include "present/scenario.h"

namespace present {

/// "an overall selection ratio of 0.1" or "a majority group's selection
/// ratio of 0.1".
std::string ratio_description(const fourfifths::pareto_options& o);

/// The front's rows, numbered from 1 from the highest quality: point,
/// ai_ratio, validity, mean, mean_majority, mean_minority, sr_majority,
/// sr_minority, composite_d, four_fifths_minimum, w1..wN. With several
/// groups, ai_ratio, mean_minority, sr_minority and composite_d are those
/// of the minority group with the lowest rate, and lowest_ratio_to_highest
/// and ratio_to_highest_<name> for every group (the majority first) follow.
frame front_frame(const scenario& s, const fourfifths::pareto_front& front);
frame front_frame(const scenario& s, const fourfifths::group_pareto_front& front);

/// The front as a JSON value: the ratio, mode, objective, predictor names,
/// the points and the unit, regression and given weightings, each with its
/// weights by predictor name (and, with several groups, every group's
/// numbers and the bound); "stopped_at_parity" for one group,
/// "proved_optimal" for several.
nlohmann::json front_document(const scenario& s, const fourfifths::pareto_front& front);
nlohmann::json front_document(const scenario& s, const fourfifths::group_pareto_front& front);

/// The front in a format: CSV (the frame), JSON (the document laid out) or
/// text (one entry per point, from the highest quality).
std::string front_output(const scenario& s, const fourfifths::pareto_front& front,
                         table_format format);
std::string front_output(const scenario& s, const fourfifths::group_pareto_front& front,
                         table_format format);

/// The chart of the front: the measure of adverse impact across, quality
/// up, the four-fifths line, and the unit, regression and given weightings
/// (and the answer to a least ratio, when given) marked.
figure front_figure(const scenario& s, const fourfifths::pareto_front& front,
                    const fourfifths::weighting_outcome* answer);
figure front_figure(const scenario& s, const fourfifths::group_pareto_front& front,
                    const fourfifths::group_weighting_outcome* answer);

/// The answer to a least ratio: one row labelled "best" or "highest"; the
/// document {"min_ai", "reached", "weighting"}; either, or text, in a
/// format; and what to say when no weighting is found that reaches it.
frame min_ai_frame(const scenario& s, const fourfifths::min_ai_result& answer);
frame min_ai_frame(const scenario& s, const fourfifths::group_min_ai_result& answer);
nlohmann::json min_ai_document(const scenario& s, double min_ai,
                               const fourfifths::min_ai_result& answer);
nlohmann::json min_ai_document(const scenario& s, double min_ai,
                               const fourfifths::group_min_ai_result& answer);
std::string min_ai_output(const scenario& s, const fourfifths::pareto_options& o, double min_ai,
                          const fourfifths::min_ai_result& answer, table_format format);
std::string min_ai_output(const scenario& s, const fourfifths::pareto_options& o, double min_ai,
                          const fourfifths::group_min_ai_result& answer, table_format format);
std::string unreachable_message(const fourfifths::pareto_options& o, double min_ai,
                                const fourfifths::min_ai_result& answer);
std::string unreachable_message(const fourfifths::pareto_options& o, double min_ai,
                                const fourfifths::group_min_ai_result& answer);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_PARETO_OUTPUT_H_
