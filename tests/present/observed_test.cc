// Observed data as files give them, and what is written of their analysis:
// both CSV forms and JSON, every input fault with its place, the table's
// columns in each format (the chart's contents are in observed_chart_test.cc).
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "present/observed_input.h"
#include "present/observed_output.h"

namespace {

using present::loaded_observed;
using present::observed_data;
using present::observed_form;

observed_data read_ok(std::string_view text) {
  loaded_observed r = present::read_observed(text);
  for (const auto& f : r.errors) ADD_FAILURE() << f.text();
  EXPECT_TRUE(r.value.has_value());
  return r.value ? *r.value : observed_data{};
}

// The faults of reading and analysing a text, as "path: message" lines.
std::vector<std::string> faults_of(std::string_view text) {
  const loaded_observed r = present::read_observed(text);
  std::vector<std::string> out;
  for (const auto& f : r.errors) out.push_back(f.text());
  if (r.value) {
    for (const auto& f : present::analyse(*r.value, r.value->options).errors) {
      out.push_back(f.text());
    }
  }
  return out;
}

std::string fault_of(std::string_view text) {
  const std::vector<std::string> all = faults_of(text);
  EXPECT_EQ(all.size(), 1U) << text;
  return all.empty() ? "" : all[0];
}

fourfifths::observed_analysis analysis_of(std::string_view text) {
  const observed_data d = read_ok(text);
  fourfifths::observed_result r = present::analyse(d, d.options);
  EXPECT_TRUE(r.ok());
  return r.ok() ? *r.value : fourfifths::observed_analysis{};
}

TEST(ObservedCsv, Counts) {
  const observed_data d = read_ok("group,applicants,selected\nmen,80,48\nwomen,60,24\n");
  EXPECT_EQ(d.form, observed_form::counts);
  ASSERT_EQ(d.counts.size(), 2U);
  EXPECT_EQ(d.counts[1].group, "women");
  EXPECT_EQ(d.counts[1].applicants, 60);
  EXPECT_EQ(d.counts[1].selected, 24);
  EXPECT_EQ(d.lines, (std::vector<int>{2, 3}));
}

TEST(ObservedCsv, ColumnsInAnyOrderAndCaseWithQuotesSpacesAndLineEnds) {
  // A byte-order mark, CRLF, a blank line, spaces, a quoted name with a
  // comma and a quote in it.
  const observed_data d = read_ok(
      "\xEF\xBB\xBFSelected , Unit,GROUP,applicants\r\n\r\n 3 , 2024 , \"Smith, \"\"J\"\"\" , "
      "10\r\n");
  ASSERT_EQ(d.counts.size(), 1U);
  EXPECT_EQ(d.counts[0].group, "Smith, \"J\"");
  EXPECT_EQ(d.counts[0].unit, "2024");
  EXPECT_EQ(d.counts[0].applicants, 10);
  EXPECT_EQ(d.counts[0].selected, 3);
  EXPECT_EQ(d.lines, (std::vector<int>{3}));
  EXPECT_EQ(d.group_column, 3);
}

TEST(ObservedCsv, ApplicantsOnePerRowAreCounted) {
  const observed_data d =
      read_ok("unit,group,selected\nu,a,yes\nu,b,0\nu,a,No\nv,a,1\nu,a,YES\nu,b,1\n");
  EXPECT_EQ(d.form, observed_form::applicants);
  ASSERT_EQ(d.counts.size(), 3U);
  EXPECT_EQ(d.counts[0].unit, "u");
  EXPECT_EQ(d.counts[0].group, "a");
  EXPECT_EQ(d.counts[0].applicants, 3);
  EXPECT_EQ(d.counts[0].selected, 2);
  EXPECT_EQ(d.counts[1].group, "b");
  EXPECT_EQ(d.counts[1].applicants, 2);
  EXPECT_EQ(d.counts[1].selected, 1);
  EXPECT_EQ(d.counts[2].unit, "v");
  EXPECT_EQ(d.counts[2].applicants, 1);
  EXPECT_EQ(d.lines, (std::vector<int>{2, 3, 5}));
}

TEST(ObservedCsv, FaultsNameTheirLineAndColumn) {
  const char* head = "group,applicants,selected\n";
  auto with = [&](const std::string& rows) { return std::string(head) + rows; };
  EXPECT_EQ(fault_of(with("a,10,5\nb,x,1\n")),
            "line 3, column 2 (applicants): must be a whole number, not \"x\"");
  EXPECT_EQ(fault_of(with("a,10,5\nb,2.5,1\n")),
            "line 3, column 2 (applicants): must be a whole number, not \"2.5\"");
  EXPECT_EQ(fault_of(with("a,-10,0\n")), "line 2, column 2 (applicants): must not be negative");
  EXPECT_EQ(fault_of(with("a,10,5\nb,3,5\n")),
            "line 3, column 3 (selected): more selected (5) than applicants (3)");
  EXPECT_EQ(fault_of(with(",10,5\n")), "line 2, column 1 (group): is missing");
  EXPECT_EQ(fault_of(with("a,10,\n")), "line 2, column 3 (selected): is missing");
  EXPECT_EQ(fault_of(with("a,10,5\nb,4,1\na,3,1\n")),
            "line 4, column 1 (group): \"a\" is given twice (first as line 2)");
  EXPECT_EQ(fault_of(with("a,10,5\nb,4\n")), "line 3: 2 fields where the header has 3");
  EXPECT_EQ(fault_of(with("a,99999999999999999999,5\n")),
            "line 2, column 2 (applicants): must be at most 9007199254740991");
  EXPECT_EQ(fault_of(with("a,9007199254740992,5\n")),
            "line 2, column 2 (applicants): must be at most 9007199254740991");
  EXPECT_EQ(fault_of(with("\"a,10,5\n")), "line 2: column 1: the quote opened on line 2 is not closed");
  EXPECT_EQ(fault_of(with("\"a\"x,10,5\n")),
            "line 2: column 1: text after the closing quote of a field");
  EXPECT_EQ(fault_of(head), "no rows after the header");
  EXPECT_EQ(fault_of(" \n\n"), "no header line: the input is empty");
  EXPECT_EQ(fault_of("group,applicants,selected,colour\n"),
            "line 1, column 4: unknown column \"colour\"; the columns are group, applicants (for "
            "counts), selected, unit and step");
  EXPECT_EQ(fault_of("group,applicants\na,1\n"), "line 1: no \"selected\" column in the header");
  EXPECT_EQ(fault_of("group,selected,Group\n"),
            "line 1, column 3: the column \"group\" appears twice");
  EXPECT_EQ(fault_of("unit,group,selected\n,a,1\n"), "line 2, column 1 (unit): is missing");
  EXPECT_EQ(fault_of("group,selected\na,maybe\n"),
            "line 2, column 2 (selected): must be 0, 1, yes or no, not \"maybe\"");
}

TEST(ObservedCsv, ManyFaultsAreCutShort) {
  std::string text = "group,applicants,selected\n";
  for (int i = 0; i < 100; ++i) text += "a,x,1\n";
  const std::vector<std::string> faults = faults_of(text);
  ASSERT_EQ(faults.size(), 21U);
  EXPECT_EQ(faults[0], "line 2, column 2 (applicants): must be a whole number, not \"x\"");
  EXPECT_EQ(faults[20], "and more faults, not listed");
}

TEST(ObservedJson, CountsAndOptions) {
  const observed_data d = read_ok(R"({"reference": "b", "alpha": 0.01, "counts": [
      {"group": "a", "applicants": 10, "selected": 4, "unit": "u"},
      {"group": "b", "applicants": 1e1, "selected": 6, "unit": "u"}]})");
  EXPECT_EQ(d.form, observed_form::json);
  EXPECT_EQ(d.options.reference, "b");
  EXPECT_EQ(d.options.alpha, 0.01);
  ASSERT_EQ(d.counts.size(), 2U);
  EXPECT_EQ(d.counts[1].applicants, 10);
  EXPECT_EQ(d.counts[1].unit, "u");
}

TEST(ObservedJson, FaultsNameTheirPath) {
  EXPECT_EQ(fault_of("{\"counts\": [\n  {\"group\": \"a\",\n"),
            "JSON parse error at line 3, column 1: syntax error while parsing object key - "
            "unexpected end of input; expected string literal");
  EXPECT_EQ(fault_of(R"({"counts": [{"group": "a", "applicants": 2.5, "selected": 1}]})"),
            "counts[0].applicants: must be a whole number");
  EXPECT_EQ(fault_of(R"({"counts": [{"group": "a", "applicants": 5, "selected": 6}]})"),
            "counts[0].selected: more selected (6) than applicants (5)");
  EXPECT_EQ(fault_of(R"({"counts": [{"group": 3, "applicants": 5, "selected": 1}]})"),
            "counts[0].group: must be a string");
  EXPECT_EQ(fault_of(R"({"counts": [{"group": "a", "applicants": 5}]})"),
            "counts[0].selected: is missing");
  EXPECT_EQ(fault_of(R"({"counts": [{"group": "a", "applicants": 5, "selected": 1, "x": 1}]})"),
            "counts[0].x: unknown key");
  EXPECT_EQ(fault_of(R"({"counts": [{"group": "a", "applicants": 5, "selected": 1}], "ref": "a"})"),
            "ref: unknown key");
  EXPECT_EQ(fault_of(R"({"counts": []})"), "counts: no groups");
  EXPECT_EQ(fault_of(R"({"counts": {}})"), "counts: must be an array");
  EXPECT_EQ(
      fault_of(R"({"alpha": "5%", "counts": [{"group": "a", "applicants": 5, "selected": 1}]})"),
      "alpha: must be a number");
  EXPECT_EQ(
      fault_of(R"({"reference": "z", "counts": [{"group": "a", "applicants": 5, "selected": 1}]})"),
      "reference: no group \"z\" in the counts");
}

const char* const two_groups = "group,applicants,selected\nmen,80,48\nwomen,60,24\n";

TEST(ObservedOutput, CsvColumnsAndTheReferenceRow) {
  const std::string csv = present::observed_csv(analysis_of(two_groups));
  const std::string header = csv.substr(0, csv.find('\n'));
  EXPECT_EQ(header,
            "unit,group,applicants,selected,rate,reference,impact_ratio,passes_four_fifths,"
            "shortfall_four_fifths,shortfall_pool,one_person_flip,one_person_reversal,"
            "one_person_note,z,p_z,p_fisher,ci_low,ci_high,significant_z,significant_fisher,"
            "mh_units,mh_odds_ratio,mh_ci_low,mh_ci_high,mh_statistic,p_mh,significant_mh,"
            "mh_status,status");
  // The reference: ratio 1, empty tests; numbers in shortest round-trip form.
  EXPECT_NE(csv.find("\n,men,80,48,0.6,men,1,true,0,-6.857142857142857,,,,,,,,,,,,,,,,,,,reference\n"),
            std::string::npos)
      << csv;
  // 25 more of 60 women against 47 of 80 men: still below, no reversal.
  EXPECT_NE(csv.find("\n,women,60,24,0.4,men,0.6666666666666666,false,5,6.857142857142857,false,"
                     "false,,"),
            std::string::npos)
      << csv;
}

TEST(ObservedOutput, MissingOnePersonAnswersAndTestsSayWhy) {
  // 9 of 10 against 10 of 10: no one left for the reference to take.
  const std::string csv =
      present::observed_csv(analysis_of("group,applicants,selected\na,10,10\nb,10,9\n"));
  EXPECT_NE(csv.find(",0.9,true,0,0.5,,true,reference_selected_everyone,"), std::string::npos)
      << csv;
  // b never meets a: its Mantel-Haenszel line has neither p nor 1.
  const auto doc = nlohmann::json::parse(present::observed_json(
      analysis_of("unit,group,applicants,selected\nu,a,10,5\nu,c,10,5\nv,b,9,1\n")));
  const nlohmann::json& b = doc["rows"][5];
  EXPECT_EQ(b["group"], "b");
  EXPECT_EQ(b["status"], "no_shared_unit");
  EXPECT_EQ(b["mh_status"], "no_shared_unit");
  EXPECT_TRUE(b["p_mh"].is_null());
  EXPECT_TRUE(b["impact_ratio"].is_null());
}

TEST(ObservedOutput, NoOneSelectedIsNotJudgedByTheRule) {
  // 0 of 8 against 0 of 10: the ratio 0/0 does not exist, and neither does
  // a verdict: the rule is neither met nor failed, nothing is short of it,
  // no selection can move; the tests find nothing (p 1).
  const fourfifths::observed_analysis a =
      analysis_of("group,applicants,selected\nmen,10,0\nwomen,8,0\n");
  const std::string csv = present::observed_csv(a);
  EXPECT_NE(csv.find("\n,women,8,0,0,men,,,,0,,,group_selected_no_one,,1,1,,,false,false,,,,,,,,,"
                     "no_selections\n"),
            std::string::npos)
      << csv;
  const nlohmann::json women = nlohmann::json::parse(present::observed_json(a))["rows"][1];
  EXPECT_TRUE(women["passes_four_fifths"].is_null());
  EXPECT_TRUE(women["shortfall_four_fifths"].is_null());
  // The text table writes "-" under ratio, 4/5 and short.
  const std::string text = present::observed_text(a);
  const std::size_t line = text.find("\nwomen");
  ASSERT_NE(line, std::string::npos) << text;
  std::istringstream cells(text.substr(line + 1, text.find('\n', line + 1) - line - 1));
  std::vector<std::string> words;
  for (std::string w; cells >> w;) words.push_back(w);
  ASSERT_GE(words.size(), 7U) << text;
  EXPECT_EQ((std::vector<std::string>(words.begin() + 3, words.begin() + 7)),
            (std::vector<std::string>{"0.0000", "-", "-", "-"}))
      << text;
}

TEST(ObservedOutput, CsvQuotesNamesAndWritesInfinity) {
  const std::string csv =
      present::observed_csv(analysis_of("group,applicants,selected\n\"a, b\",10,0\nc,10,3\n"));
  EXPECT_NE(csv.find("\n,\"a, b\",10,0,0,c,0,false,3,1.5,"), std::string::npos) << csv;
  const observed_data d = read_ok("group,applicants,selected\na,10,0\nc,10,3\n");
  const auto r = present::analyse(d, {.reference = "a"});
  const std::string named = present::observed_csv(*r);
  EXPECT_NE(named.find(",a,inf,true,0,"), std::string::npos) << named;
  EXPECT_NE(named.find(",reference_rate_zero\n"), std::string::npos) << named;
}

TEST(ObservedOutput, JsonHasEveryColumn) {
  const nlohmann::json doc = nlohmann::json::parse(present::observed_json(
      analysis_of("unit,group,applicants,selected\nu,a,10,5\nu,b,10,2\nv,a,8,4\nv,b,9,1\n")));
  EXPECT_EQ(doc["alpha"], 0.05);
  EXPECT_EQ(doc["confidence"], 0.95);
  EXPECT_TRUE(doc["reference"].is_null());
  EXPECT_EQ(doc["units"], nlohmann::json({"u", "v"}));
  ASSERT_EQ(doc["rows"].size(), 6U);
  const nlohmann::json& pooled_b = doc["rows"][5];
  EXPECT_TRUE(pooled_b["unit"].is_null());
  EXPECT_EQ(pooled_b["group"], "b");
  EXPECT_EQ(pooled_b["applicants"], 19);
  EXPECT_EQ(pooled_b["mh_units"], 2);
  EXPECT_TRUE(pooled_b["p_mh"].is_number());
  EXPECT_EQ(pooled_b["mh_status"], "tested");
  // 2 of 10 against 5 of 10 and 1 of 9 against 4 of 8: the statistic is
  // (Σ (ad − bc)/n)² ÷ Σ (a+b)(c+d)(a+c)(b+d)/(n²(n−1)) = (−30/20 − 28/17)²
  // ÷ (10·10·7·13/7600 + 9·8·5·12/4624) = 4.6462 (exact fractions), and
  // p = erfc(√(4.6462/2)) = 0.0311 (mpmath) < 0.05.
  EXPECT_EQ(pooled_b["significant_mh"], true);
  EXPECT_EQ(pooled_b.size(), 29U);
  EXPECT_TRUE(doc["rows"][0]["mh_units"].is_null());
}

TEST(ObservedOutput, TextSaysWhatTheNumbersAre) {
  const std::string text = present::observed_text(
      analysis_of("unit,group,applicants,selected\nu,a,10,5\nu,b,10,2\nv,a,8,4\nv,b,9,1\n"));
  EXPECT_NE(text.find("Reference: the group with the highest selection rate in each unit."),
            std::string::npos);
  EXPECT_NE(text.find("95% intervals of the impact ratio by the log method"), std::string::npos);
  EXPECT_NE(text.find("(all)"), std::string::npos);
  EXPECT_NE(text.find("b against a: odds ratio"), std::string::npos) << text;
}

}  // namespace

namespace {

TEST(ObservedCsv, RecordsAsRfc4180HasThem) {
  // Lines ended by a lone CR (old Mac spreadsheets) read as lines.
  const observed_data cr = read_ok("group,applicants,selected\rmen,80,48\rwomen,60,24\r");
  ASSERT_EQ(cr.counts.size(), 2U);
  EXPECT_EQ(cr.counts[1].group, "women");
  EXPECT_EQ(cr.lines, (std::vector<int>{2, 3}));
  // A quoted field may run over lines; the records after it keep their
  // line numbers. A field that spans a line is still read whole: here an
  // applicants count written over two lines is refused as a number, not
  // as broken quoting.
  EXPECT_EQ(fault_of("group,applicants,selected\nmen,\"80\n\",48\nwomen,60,70\n"),
            "line 2, column 2 (applicants): must be a whole number, not \"80\n\"");
  EXPECT_EQ(fault_of("group,applicants,selected\n\"a\",\"1\r\n\",1\nb,5,9\n").substr(0, 7),
            "line 2,");
  const std::vector<std::string> after =
      faults_of("group,applicants,selected\nmen,\"8\r\n0\",48\nwomen,60,x\n");
  ASSERT_EQ(after.size(), 2U);
  EXPECT_EQ(after[1], "line 4, column 3 (selected): must be a whole number, not \"x\"");
  EXPECT_EQ(fault_of("group,applicants,selected\nmen,80,48\n\"women,60,24\n"),
            "line 3: column 1: the quote opened on line 3 is not closed");
}

TEST(ObservedNames, RefusedAlikeInEveryForm) {
  // Bytes that are not UTF-8, control characters and line breaks: the
  // same message for CSV and JSON, at the name's place.
  EXPECT_EQ(fault_of("group,applicants,selected\nm\xff,8,4\n"),
            "line 2, column 1 (group): is not UTF-8 text (byte 2)");
  EXPECT_EQ(fault_of(R"({"counts": [{"group": "m", "unit": "\u00ff\u001b", "applicants": 8,)"
                     R"( "selected": 4}]})"),
            "counts[0].unit: a name must not hold a control character (U+001B) (byte 3)");
  constexpr char with_nul[] = "group,applicants,selected\n\"a\0\",8,4\n";
  EXPECT_EQ(fault_of(std::string_view(with_nul, sizeof with_nul - 1)),
            "line 2, column 1 (group): a name must not hold a control character (U+0000) (byte 2)");
  EXPECT_EQ(fault_of("group,applicants,selected\n\"a\nb\",8,4\n"),
            "line 2, column 1 (group): a name must not hold a line break (byte 2)");
  EXPECT_EQ(fault_of(R"({"counts": [{"group": "a\nb", "applicants": 8, "selected": 4}]})"),
            "counts[0].group: a name must not hold a line break (byte 2)");
  // A C1 control (U+0085, the next line) is a control too; other
  // characters of any script are names.
  EXPECT_EQ(fault_of("group,applicants,selected\na\xc2\x85,8,4\n"),
            "line 2, column 1 (group): a name must not hold a control character (byte 2)");
  EXPECT_TRUE(faults_of("group,applicants,selected\nFrauen \xc3\xa4\xe2\x82\xac,8,4\n").empty());
}

TEST(ObservedNames, NamesDifferingOnlyInCaseAreNamedInAWarning) {
  const loaded_observed r = present::read_observed(
      "unit,group,applicants,selected\nA,Men,10,4\nA,men,10,3\na,Men,5,1\nA,MEN,1,1\n");
  ASSERT_TRUE(r.value);
  EXPECT_EQ(r.warnings,
            (std::vector<std::string>{
                "groups \"Men\" and \"men\" differ only in case or surrounding spaces: they are analysed apart",
                "groups \"Men\" and \"MEN\" differ only in case or surrounding spaces: they are analysed apart",
                "units \"A\" and \"a\" differ only in case or surrounding spaces: they are analysed apart"}));
  EXPECT_TRUE(present::read_observed("group,applicants,selected\nmen,1,1\nwomen,1,1\n")
                  .warnings.empty());
}

TEST(ObservedOutput, NamesASpreadsheetWouldRunAreQuotedInCsvOnly) {
  const auto a = analysis_of(
      "group,applicants,selected\n\"=1+1\",10,5\n\"-x\",10,4\n\"@sum\",10,4\n\"+y\",10,4\n"
      "\"a=b\",10,1\n");
  const std::string csv = present::observed_csv(a);
  EXPECT_NE(csv.find("\n,'=1+1,10,5,0.5,'=1+1,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n,'-x,10,4,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n,'@sum,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n,'+y,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n,a=b,"), std::string::npos) << csv;
  const auto doc = nlohmann::json::parse(present::observed_json(a));
  EXPECT_EQ(doc["rows"][0]["group"], "=1+1");
  EXPECT_EQ(doc["rows"][1]["reference"], "=1+1");
  EXPECT_NE(present::observed_text(a).find("\n=1+1 "), std::string::npos);
}

}  // namespace

namespace {

// Four applicants of a and two of b, by the last step each reached, the
// test met before the screen. By hand, in the order screen, test: a had 4
// screened and 3 passed (the one who passed and went no further, and the
// two who reached the test), then 2 tested and 1 passed; b 2 screened and
// 1 passed, 1 tested and passed. The bottom line: a 1 of 4, b 1 of 2.
constexpr std::string_view applicants_by_step =
    "group,step,selected\n"
    "a,test,no\n"
    "a,screen,no\n"
    "b,screen,0\n"
    "a,screen,yes\n"
    "a,test,yes\n"
    "b,test,1\n";

TEST(ObservedSteps, ApplicantsAreCountedAtEveryStepTheyReached) {
  const observed_data d = read_ok(applicants_by_step);
  EXPECT_EQ(d.form, observed_form::applicants);
  fourfifths::observed_options options;
  options.steps = {"screen", "test"};
  const fourfifths::observed_result r = present::analyse(d, options);
  ASSERT_TRUE(r.ok());
  EXPECT_EQ(r->steps, (std::vector<std::string>{"screen", "test"}));
  struct expected {
    const char* step;
    const char* group;
    std::int64_t applicants, selected;
  };
  const std::vector<expected> want = {{"screen", "a", 4, 3}, {"screen", "b", 2, 1},
                                      {"test", "a", 2, 1},   {"test", "b", 1, 1},
                                      {"", "a", 4, 1},       {"", "b", 2, 1}};
  ASSERT_EQ(r->rows.size(), want.size());
  for (std::size_t k = 0; k < want.size(); ++k) {
    EXPECT_EQ(r->rows[k].step, want[k].step) << k;
    EXPECT_EQ(r->rows[k].group, want[k].group) << k;
    EXPECT_EQ(r->rows[k].applicants, want[k].applicants) << k;
    EXPECT_EQ(r->rows[k].selected, want[k].selected) << k;
  }
  // In the data's order the test comes first: then the screen's people
  // reached only the first step, and b's one tested passed it.
  const fourfifths::observed_result first_met = present::analyse(d, d.options);
  ASSERT_TRUE(first_met.ok());
  EXPECT_EQ(first_met->steps, (std::vector<std::string>{"test", "screen"}));
  EXPECT_EQ(first_met->rows[0].applicants, 4);  // a: everyone reached the test
  EXPECT_EQ(first_met->rows[0].selected, 3);    // 2 passed it and went on, 1 passed it last
}

TEST(ObservedSteps, StepsDifferingOnlyInCaseAreNamedInAWarning) {
  const loaded_observed r =
      present::read_observed("group,step,selected\na,Screen,1\na,screen,0\n");
  ASSERT_TRUE(r.value);
  EXPECT_EQ(r.warnings, (std::vector<std::string>{
                            "steps \"Screen\" and \"screen\" differ only in case or surrounding "
                            "spaces: they are analysed apart"}));
}

TEST(ObservedSteps, FaultsArePlaced) {
  const observed_data d = read_ok(applicants_by_step);
  fourfifths::observed_options options;
  options.steps = {"screen"};
  const fourfifths::observed_result r = present::analyse(d, options);
  ASSERT_EQ(r.errors.size(), 1U);
  EXPECT_EQ(r.errors[0].text(),
            "line 2, column 2 (step): \"test\" is not among the steps given (screen)");
  // Applicants of 5000 groups, each at a step of its own: 25 million rows.
  std::string spread = "group,step,selected\n";
  for (int k = 0; k < 5000; ++k) {
    spread += "g" + std::to_string(k) + ",s" + std::to_string(k) + ",1\n";
  }
  EXPECT_EQ(fault_of(spread),
            "5000 steps of 5000 groups: more than the 16777216 rows of an analysis of steps, one "
            "for every group at every step");
  // Steps the order lacks are listed up to a point: 20, then a line.
  const observed_data thirty = read_ok(spread.substr(0, spread.find("g30,")));
  fourfifths::observed_options only_x;
  only_x.steps = {"x"};
  const fourfifths::observed_result unlisted = present::analyse(thirty, only_x);
  ASSERT_EQ(unlisted.errors.size(), 21U);
  EXPECT_EQ(unlisted.errors[19].text(),
            "line 21, column 2 (step): \"s19\" is not among the steps given (x)");
  EXPECT_EQ(unlisted.errors[20].text(), "and more steps not given, not listed");
  EXPECT_EQ(fault_of("group,applicants,selected,step\n"
                     "a,10,5,screen\n"
                     "a,6,2,test\n"),
            "line 3, column 2 (applicants): 6 of \"a\" reached step \"test\", more than the 5 "
            "selected at step \"screen\" (line 2)");
  EXPECT_EQ(fault_of("group,applicants,selected,step,unit\na,10,5,screen,u\n"),
            "units and steps are not analysed together: give the steps of one process, or "
            "analyse each unit's steps apart");
  EXPECT_EQ(fault_of(R"({"counts": [{"group": "a", "applicants": 2, "selected": 1, "step": "s"}],
                         "steps": "s"})"),
            "steps: must be an array of names");
  EXPECT_EQ(fault_of(R"({"counts": [{"group": "a", "applicants": 2, "selected": 1, "step": "s"}],
                         "steps": ["s", 3]})"),
            "steps[1]: must be a string");
  EXPECT_EQ(fault_of(R"({"counts": [{"group": "a", "applicants": 2, "selected": 1, "step": "t"}],
                         "steps": ["s"]})"),
            "counts[0].step: \"t\" is not among the steps given (s)");
}

TEST(ObservedSteps, EveryFormatNamesTheStepsAndTheBottomLine) {
  const fourfifths::observed_analysis a = analysis_of(
      R"({"counts": [{"group": "a", "applicants": 10, "selected": 5, "step": "one"},
                     {"group": "=b", "applicants": 10, "selected": 0, "step": "one"},
                     {"group": "a", "applicants": 5, "selected": 5, "step": "two"}],
          "steps": ["one", "two"]})");
  const std::string csv = present::observed_csv(a);
  EXPECT_EQ(csv.substr(0, csv.find('\n')).substr(0, 29), "unit,step,group,applicants,se");
  // Three lines of steps, two of the bottom line (the step empty), and
  // the name a spreadsheet would run quoted.
  EXPECT_NE(csv.find("\n,one,a,10,5,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n,two,'=b,0,0,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n,,a,10,5,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n,,'=b,10,0,"), std::string::npos) << csv;
  const nlohmann::json doc = present::observed_document(a);
  EXPECT_EQ(doc["steps"], nlohmann::json({"one", "two"}));
  EXPECT_EQ(doc["rows"][0]["step"], "one");
  EXPECT_TRUE(doc["rows"][4]["step"].is_null());
  const std::string text = present::observed_text(a);
  EXPECT_NE(text.find("Steps: one, two; each among those who reached it"), std::string::npos);
  EXPECT_NE(text.find("(bottom line)"), std::string::npos) << text;
  // Without steps, no step column and no "steps" key.
  const fourfifths::observed_analysis plain =
      analysis_of("group,applicants,selected\na,2,1\nb,2,2\n");
  EXPECT_EQ(present::observed_csv(plain).find("step"), std::string::npos);
  EXPECT_FALSE(present::observed_document(plain).contains("steps"));
}

TEST(ObservedPooling, UnitsThatPooledSayTheOppositeAreWarnedOf) {
  // B above A in both units (0.9 > 0.8, 0.12 > 0.1), below pooled.
  const fourfifths::observed_analysis a = analysis_of(
      "unit,group,applicants,selected\nu1,A,100,80\nu1,B,20,18\nu2,A,20,2\nu2,B,100,12\n");
  std::vector<std::string> warnings;
  for (const fourfifths::comparison& r : a.rows) {
    if (auto w = present::pooling_warning(r)) warnings.push_back(*w);
  }
  EXPECT_EQ(warnings, std::vector<std::string>{
                          "group \"B\": all units together put its rate below \"A\"'s, though in "
                          "none of the 2 units where both applied is it below: pooling the units "
                          "reverses them (Simpson's paradox); read the Mantel-Haenszel result, "
                          "which compares within units"});
  // The sink that watches a writer's rows finds the same and passes every
  // row on.
  struct counting : fourfifths::observed_sink {
    int rows = 0;
    bool start(const fourfifths::observed_options&, std::span<const std::string>,
               std::span<const std::string>) override {
      return true;
    }
    bool row(const fourfifths::comparison&) override { return ++rows > 0; }
  } next;
  present::warning_sink watched(next);
  present::replay(a, watched);
  EXPECT_EQ(next.rows, 6);
  EXPECT_EQ(watched.warnings(), warnings);
}

}  // namespace
