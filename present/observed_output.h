// What the observed subcommand writes of an analysis of observed counts:
// the tidy table as CSV, JSON or aligned text (the chart is in
// observed_chart.h). The web page gives the same.
#ifndef FOURFIFTHS_PRESENT_OBSERVED_OUTPUT_H_
#define FOURFIFTHS_PRESENT_OBSERVED_OUTPUT_H_

#include <functional>
#include <memory>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/observed.h"
#include "present/frame.h"
#include "present/names.h"

namespace present {

/// The table's columns, in order: unit, step (only when the data have
/// steps; empty in the rows of the bottom line), group, applicants, selected,
/// rate, reference, impact_ratio, passes_four_fifths,
/// shortfall_four_fifths, shortfall_pool, one_person_flip,
/// one_person_reversal, one_person_note, z, p_z, p_fisher, ci_low,
/// ci_high, significant_z, significant_fisher, and, in the rows of all
/// units together, mh_units, mh_odds_ratio, mh_ci_low, mh_ci_high,
/// mh_statistic, p_mh, significant_mh, mh_status; then status.
frame observed_frame(const fourfifths::observed_analysis& a);
/// The same as CSV.
std::string observed_csv(const fourfifths::observed_analysis& a);

/// The analysis as a JSON document: alpha, confidence (1 - alpha), the
/// named reference (or null), the units, the steps (only when the data
/// have steps), and the rows with the table's
/// columns as keys (null where the table is empty, and for an infinite
/// impact ratio).
std::string observed_json(const fourfifths::observed_analysis& a);
nlohmann::json observed_document(const fourfifths::observed_analysis& a);

/// The table aligned for reading, with what the reference, the level and
/// the intervals are, and the Mantel-Haenszel results in words.
std::string observed_text(const fourfifths::observed_analysis& a);

/// The table in a format.
std::string observed_output(const fourfifths::observed_analysis& a, table_format format);

/// Where a writer's text goes, piece by piece: false when it could not be
/// written, which stops the writer.
using text_sink = std::function<bool(std::string_view)>;

/// The table written as the analysis makes its rows: each format's text as
/// observed_output gives it, handed on in pieces of some tens of kilobytes,
/// so that a table of any length is never held whole.
class observed_writer : public fourfifths::observed_sink {
 public:
  /// After the last row, the rest: false when the text could not be written.
  virtual bool finish() = 0;
};

/// A writer of the table in a format. The text format aligns its columns
/// on their widest entries; given the counts, it keeps only the first
/// thousands of rows to do so, and a longer table is written as it comes,
/// its columns then as wide as the widest of those rows and of what the
/// counts bound (the names, the digits of the largest count).
std::unique_ptr<observed_writer> make_observed_writer(
    table_format format, text_sink out, const fourfifths::counts_table* counts = nullptr);

/// What a row of all units together warns of, in words: where pooling
/// the units reverses what every unit alone says (mantel_haenszel::
/// pooling_reverses), the Mantel-Haenszel result is the one to read.
std::optional<std::string> pooling_warning(const fourfifths::comparison& row);

/// Hands every row on to `next` and keeps the warnings of the rows of all
/// units together (pooling_warning), in their order.
class warning_sink : public fourfifths::observed_sink {
 public:
  explicit warning_sink(fourfifths::observed_sink& next) : next_(next) {}
  bool start(const fourfifths::observed_options& options, std::span<const std::string> units,
             std::span<const std::string> steps) override {
    return next_.start(options, units, steps);
  }
  bool row(const fourfifths::comparison& r) override;
  [[nodiscard]] const std::vector<std::string>& warnings() const { return warnings_; }

 private:
  fourfifths::observed_sink& next_;
  std::vector<std::string> warnings_;
};

/// An analysis made whole handed to a sink row by row, as the analysis
/// would have.
void replay(const fourfifths::observed_analysis& a, fourfifths::observed_sink& sink);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_OBSERVED_OUTPUT_H_
