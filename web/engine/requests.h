// What the page asks of the engine, one call per page action: a JSON
// request in, a JSON response out (the embind glue is bindings.cc). Every
// response lists the faults of its input as {"path", "message"} pairs, the
// path being the scenario key the message concerns, so that the page can put
// each beside its field; nothing is computed from a scenario with faults.
#ifndef FOURFIFTHS_WEB_ENGINE_REQUESTS_H_
#define FOURFIFTHS_WEB_ENGINE_REQUESTS_H_

#include <string>
#include <string_view>

namespace fourfifths::web {

/// The library's version, so that what the page prints is the program's
/// own (fourfifths-explore --version gives the same number):
///   {"version": "MAJOR.MINOR.PATCH"}.
std::string version();

/// A run of the classic program on a deck:
///   {"report": text, "diagnostics": text, "status": exit status}.
std::string classic_run(std::string_view deck);

/// A file the page was given, a JSON scenario or a deck (told apart as the
/// explorer does, by the first character):
///   {"form": "json" | "deck", "scenario": object | null, "errors": [...]}.
/// A JSON scenario with a key the schema does not have is refused, each such
/// key a fault with its path. Any other JSON scenario comes back as its
/// document, unchecked otherwise, so that the page
/// shows it with its faults beside the fields; a deck as its scenario in the
/// explorer's JSON form, named P1.., C1... Errors are the explorer's: JSON
/// syntax with line and column, or the classic program's lines for a deck
/// that it refuses.
std::string load(std::string_view text);

/// The page's main answer:
///   request  {"scenario": object, "ratio": number | null, "narrow": bool,
///             "width": number | null, "downloads": bool (true; false
///             leaves out the explorer's own charts when "width" is given)}
///   response {"errors": [...], "warnings": [...]} and, without errors,
///            "json": the scenario in the explorer's JSON form,
///            "several_groups": whether it gives its minority groups as
///            "groups" (then the tables are the groups' tables),
///            "weights": [...], "regression": bool, "composites": {...}
///            (of the first minority group), "group_effects" (with groups:
///            each group's composite effect size),
///            "four_fifths_minimum": {...} | null (the explorer's table JSON),
///            "rows": [the explorer's table rows at the ratio],
///            "csv": the explorer's CSV of those rows, "columns": the same
///            rows as typed columns (present::frame_document),
///            "ai_chart": the explorer's plot as SVG (precise method), and
///            "ai_chart_screen", the same laid out at "width" pixels (440
///            when only "narrow" is true) and, when the request gives
///            "height" (pixels, for the printed report) and the panels stand
///            side by side, that tall, "across", "across_csv" and
///            "across_columns": the explorer's table without --ratios (the
///            built-in ratios, the minimum, the requested ones).
std::string evaluate(std::string_view request);

/// The Pareto front at the ratio (fourfifths-explore pareto):
///   request  {"scenario": object, "ratio": number, "min_ai": number | null,
///             "objective": "validity" | "mean", "signs": "nonnegative" |
///             "any", "points": number, "narrow": bool}
///   response the errors and warnings as for evaluate; without errors,
///            "several_groups" as for evaluate, "front_errors": why there
///            is no front or answer ({"path": "front" | "min_ai",
///            "message"}), else "front": the explorer's front JSON (each point's
///            "ai_ratio" being, with groups, its lowest ratio to the highest
///            rate), "csv": its CSV, "columns": its typed columns,
///            "min_ai": the explorer's answer JSON, "front_chart" (and
///            "front_chart_screen", at "width" and "height" as for
///            evaluate, without its title when "height" is given): its
///            chart, the answer marked.
///   With "calibration_n" (and "replications", "seed"), as the explorer's
///   --calibration-n: the front's document gains "calibration", its columns
///   the calibration's, and its chart each point's mean and 5-95 % range in
///   new applicants; the calibration's faults are front_errors with the
///   path "calibration".
std::string front(std::string_view request);

/// Finite applicant pools at the ratio (fourfifths-explore table
/// --applicants):
///   request  {"scenario": object, "ratio": number, "applicants": number,
///             "replications", "seed", "alpha": as the explorer's options}
///   response the errors and warnings as for evaluate; "pool_errors": the
///            pool options' faults (path "applicants", "replications",
///            "seed", "alpha" or "scenario"); without them "pool": the
///            options used, "rows", "csv" and "columns": the table at the
///            ratio with the pool columns.
std::string pool(std::string_view request);

/// Observed hiring data (fourfifths-explore observed):
///   request  {"data": the CSV or JSON text, "reference": name | null,
///             "alpha": number | null, "width": number | null}
///   response {"errors": [...]} and, without errors, "warnings": the
///            explorer's warnings ({"path": "", "message"}: names differing
///            only in case, groups for which pooling the units reverses
///            what every unit says, present::pooling_warning), "analysis":
///            the explorer's JSON document, "csv": its table, "chart" (and
///            "chart_screen" at the width asked for): the groups' rates.
std::string observed(std::string_view request);

/// The explorer's table of a scenario (JSON text or a deck, as bytes), of
/// one minority group or of several:
///   options  {"method": "precise" | "classic", "ratios": [...] (optional),
///             "format": "json" | "csv" | "text"}
///   response the explorer's table in that format, or {"errors": [...]}
///            (the classic method is refused for a scenario with groups).
std::string table(std::string_view scenario, std::string_view options);

}  // namespace fourfifths::web

#endif  // FOURFIFTHS_WEB_ENGINE_REQUESTS_H_
