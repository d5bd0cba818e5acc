// What the pareto subcommand writes of a front, apart from the files it
// writes to: the rows as CSV, the JSON document and the chart. The web page
// gives the same.
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

/// The front's rows (CSV): point, ai_ratio, validity, mean, mean_majority,
/// mean_minority, sr_majority, sr_minority, composite_d,
/// four_fifths_minimum, w1..wN; each point labelled by its label, or
/// numbered from 1.
std::string front_csv(const std::vector<fourfifths::weighting_outcome>& points, int predictors,
                      const std::vector<std::string>& labels);
std::string front_csv(const std::vector<fourfifths::weighting_outcome>& points, int predictors);
/// The same rows as a frame (no labels: numbered from 1, an integer column).
frame front_frame(const std::vector<fourfifths::weighting_outcome>& points, int predictors,
                  const std::vector<std::string>& labels);
/// The answer to --min-ai as a frame: one row, labelled "best" or "highest".
frame min_ai_frame(const scenario& s, const fourfifths::min_ai_result& answer);

/// The front as a JSON document (--format json): the ratio, mode,
/// objective, predictor names, the points and the unit, regression and
/// given weightings, each weighting with its weights by predictor name.
std::string front_json(const scenario& s, const fourfifths::pareto_front& front);

/// The same as JSON values.
nlohmann::json front_document(const scenario& s, const fourfifths::pareto_front& front);
nlohmann::json min_ai_document(const scenario& s, double min_ai,
                               const fourfifths::min_ai_result& answer);

/// The answer to --min-ai as a JSON document: the ratio asked for, whether
/// it was reached, and the weighting.
std::string min_ai_json(const scenario& s, double min_ai, const fourfifths::min_ai_result& answer);

/// The chart of the front: impact ratio across, quality up, the
/// four-fifths line, and the unit, regression and given weightings (and
/// the answer to --min-ai) marked.
figure front_figure(const scenario& s, const fourfifths::pareto_front& front,
                    const fourfifths::weighting_outcome* answer);

/// The front as text (--format text): one entry per point, from the
/// highest quality.
std::string front_text(const scenario& s, const fourfifths::pareto_front& front);
/// The front in a format.
std::string front_output(const scenario& s, const fourfifths::pareto_front& front,
                         table_format format);

/// The answer to --min-ai in a format: CSV (one row, labelled "best" or
/// "highest"), JSON or text.
std::string min_ai_output(const scenario& s, const fourfifths::pareto_options& o, double min_ai,
                          const fourfifths::min_ai_result& answer, table_format format);
/// What to say when no weighting reaches the impact ratio asked for.
std::string unreachable_message(const fourfifths::pareto_options& o, double min_ai,
                                const fourfifths::min_ai_result& answer);

/// The front of a scenario with several minority groups as CSV: the
/// one-group front's columns, where ai_ratio, mean_minority, sr_minority
/// and composite_d are those of the minority group with the lowest rate,
/// then lowest_ratio_to_highest and ratio_to_highest_<name> for every
/// group, the majority first.
std::string group_front_csv(const scenario& s,
                            const std::vector<fourfifths::group_weighting_outcome>& points,
                            const std::vector<std::string>& labels);
/// The same rows as frames: the front's (numbered from 1) and the answer
/// to --min-ai's (one row, labelled "best" or "highest").
frame group_front_frame(const scenario& s,
                        const std::vector<fourfifths::group_weighting_outcome>& points,
                        const std::vector<std::string>& labels);
frame group_front_frame(const scenario& s, const fourfifths::group_pareto_front& front);
frame group_min_ai_frame(const scenario& s, const fourfifths::group_min_ai_result& answer);

/// The same front as JSON values (each point with every group's numbers
/// and the bound) and in a format.
nlohmann::json group_front_document(const scenario& s, const fourfifths::group_pareto_front& front);
std::string group_front_output(const scenario& s, const fourfifths::group_pareto_front& front,
                               table_format format);

/// The chart of the front with several groups: the lowest ratio to the
/// highest rate across, quality up.
figure group_front_figure(const scenario& s, const fourfifths::group_pareto_front& front,
                          const fourfifths::group_weighting_outcome* answer);

/// The answer to --min-ai with several groups, in a format, and what to
/// say when no weighting is found that reaches the ratio.
std::string group_min_ai_output(const scenario& s, const fourfifths::pareto_options& o,
                                double min_ai, const fourfifths::group_min_ai_result& answer,
                                table_format format);
nlohmann::json group_min_ai_document(const scenario& s, double min_ai,
                                    const fourfifths::group_min_ai_result& answer);
std::string group_unreachable_message(const fourfifths::pareto_options& o, double min_ai,
                                      const fourfifths::group_min_ai_result& answer);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_PARETO_OUTPUT_H_
