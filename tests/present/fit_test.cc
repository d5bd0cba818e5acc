// Fitting a scenario to a validation sample: the estimate against numpy's
// on a small file with missing cells, the rows left out, the reference
// group's rule, the forms of one and of several groups, the written
// scenario read back, and every fault of a file placed by line and column.
#include "present/fit.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

namespace {

using present::fit_csv;
using present::fit_request;
using present::loaded_scenario;

fit_request request(std::vector<std::string> predictors, std::vector<std::string> criteria,
                    std::string group = "team") {
  fit_request r;
  r.group = std::move(group);
  r.predictors = std::move(predictors);
  r.criteria = std::move(criteria);
  return r;
}

// Ten people, two with a missing value (a blank score, a blank group), and
// a column that no request names. numpy on the eight complete rows:
//
//   df = pd.read_csv(io.StringIO(sample)).dropna()
//   x = df[["p1", "p2", "crit"]].to_numpy(); g = (df.team == "B").to_numpy().astype(int)
//   dev = np.vstack([x[g == k] - x[g == k].mean(axis=0) for k in range(2)])
//   S = dev.T @ dev / (len(x) - 2); sd = np.sqrt(np.diag(S)); R = S / np.outer(sd, sd)
//   d = (x[g == 1].mean(axis=0) - x[g == 0].mean(axis=0)) / sd
const std::string sample =
    "id,team,p1,p2,crit\n"
    "1,A,1.0,2.0,0.5\n"
    "2,A,2.0,3.5,1.0\n"
    "3,B,0.5,1.0,1.5\n"
    "4,A,3.0,3.0,2.5\n"
    "5,A,4.0,6.0,2.0\n"
    "6,B,1.5,,0.0\n"
    "7,B,1.5,1.0,0.0\n"
    "8,B,2.5,3.0,1.0\n"
    "9,,3.0,4.0,3.0\n"
    "10,A,5.0,4.5,2.0\n";
const std::vector<std::vector<double>> numpy_r = {
    {1.0, 0.792768499721336, 0.5138176920753655},
    {0.792768499721336, 1.0, 0.43122750456738995},
    {0.5138176920753655, 0.43122750456738995, 1.0}};
const std::vector<double> numpy_d = {-1.0606601717798212, -1.5105939727199453,
                                     -0.9550230183180097};

std::vector<std::string> error_texts(const loaded_scenario& s) {
  std::vector<std::string> out;
  for (const fourfifths::fault& f : s.errors) out.push_back(f.text());
  return out;
}

std::string first_error(const loaded_scenario& s) {
  return s.errors.empty() ? "(no error)" : s.errors.front().text();
}

bool warned(const loaded_scenario& s, const std::string& part) {
  for (const fourfifths::fault& w : s.warnings) {
    if (w.text().find(part) != std::string::npos) return true;
  }
  return false;
}

TEST(FitCsv, EstimatesAsNumpyDoesFromTheCompleteRows) {
  const loaded_scenario s = fit_csv(sample, request({"p1", "p2"}, {"crit"}));
  ASSERT_TRUE(s.value) << first_error(s);
  ASSERT_TRUE(s.problem);
  const fourfifths::problem_spec& spec = s.value->spec;
  for (std::size_t j = 0; j < 3; ++j) {
    for (std::size_t k = 0; k < 3; ++k) {
      EXPECT_NEAR(spec.correlations[j][k], numpy_r[j][k], 1e-14) << j << "," << k;
    }
  }
  EXPECT_NEAR(spec.predictor_effects[0], numpy_d[0], 1e-14);
  EXPECT_NEAR(spec.predictor_effects[1], numpy_d[1], 1e-14);
  EXPECT_NEAR(spec.criterion_effects[0], numpy_d[2], 1e-14);
  // B has 3 of the 8 complete rows.
  ASSERT_TRUE(spec.minority_share);
  EXPECT_DOUBLE_EQ(*spec.minority_share, 0.375);
  EXPECT_TRUE(spec.regression_weights);
  EXPECT_EQ(spec.criterion_weights, std::vector<double>{1.0});
  EXPECT_EQ(s.value->predictor_names, (std::vector<std::string>{"p1", "p2"}));
  ASSERT_TRUE(s.value->calibration);
  const present::calibration_sample& c = *s.value->calibration;
  EXPECT_EQ(c.n, 8);
  EXPECT_EQ(c.dropped, 2);
  EXPECT_EQ(c.missing, "listwise");
  ASSERT_EQ(c.groups.size(), 2u);
  EXPECT_EQ(c.groups[0].name, "A");
  EXPECT_EQ(c.groups[0].n, 5);
  EXPECT_EQ(c.groups[1].name, "B");
  EXPECT_EQ(c.groups[1].n, 3);
  EXPECT_TRUE(warned(s, "2 rows with a missing value left out (listwise)"));
  EXPECT_TRUE(warned(s, "the reference group is \"A\", the largest (5 complete rows)"));
}

TEST(FitCsv, ANamedReferenceTurnsTheEffectsAround) {
  fit_request r = request({"p1", "p2"}, {"crit"});
  r.reference = "B";
  const loaded_scenario s = fit_csv(sample, r);
  ASSERT_TRUE(s.value) << first_error(s);
  EXPECT_NEAR(s.value->spec.predictor_effects[0], -numpy_d[0], 1e-14);
  EXPECT_NEAR(s.value->spec.criterion_effects[0], -numpy_d[2], 1e-14);
  EXPECT_DOUBLE_EQ(*s.value->spec.minority_share, 0.625);
  EXPECT_EQ(s.value->calibration->groups[0].name, "B");
  EXPECT_FALSE(warned(s, "the reference group is"));
}

TEST(FitCsv, TakesTheFirstOfEqualGroupsAsTheReference) {
  const std::string text = "g,x\nB,1\nA,2\nA,3\nB,4\nB,5\nA,7\n";
  const loaded_scenario s = fit_csv(text, request({"x"}, {}, "g"));
  ASSERT_TRUE(s.value) << first_error(s);
  EXPECT_EQ(s.value->calibration->groups[0].name, "B");
  // Means 10/3 (B) and 4 (A); scatter 26/3 and 14, pooled variance
  // (26/3 + 14) / 4 = 17/3.
  EXPECT_NEAR(s.value->spec.predictor_effects[0], (4.0 - 10.0 / 3) / std::sqrt(17.0 / 3), 1e-14);
  // Without criteria: each predictor weighted 1, quality on the predictors.
  EXPECT_FALSE(s.value->spec.regression_weights);
  EXPECT_EQ(s.value->spec.predictor_weights, std::vector<double>{1.0});
  EXPECT_EQ(s.value->spec.quality, fourfifths::quality_basis::predictor);
}

TEST(FitCsv, GivesSeveralGroupsTheirSharesAndSizes) {
  const std::string text =
      "g,x,y\nW,1,2\nW,2,1\nW,3,5\nW,4,3\nB,0,1\nB,1,0\nH,2,2\nH,3,4\nH,2,1\n";
  const loaded_scenario s = fit_csv(text, request({"x"}, {"y"}, "g"));
  ASSERT_TRUE(s.value) << first_error(s);
  ASSERT_TRUE(s.group_problem);
  ASSERT_EQ(s.value->groups.size(), 2u);
  EXPECT_EQ(s.value->groups[0].name, "B");
  EXPECT_DOUBLE_EQ(*s.value->groups[0].share, 2.0 / 9);
  EXPECT_EQ(s.value->groups[1].name, "H");
  EXPECT_DOUBLE_EQ(*s.value->groups[1].share, 3.0 / 9);
  EXPECT_TRUE(s.value->spec.predictor_effects.empty());
  // x: means W 2.5, B 0.5, H 7/3; pooled SD sqrt((5 + 0.5 + 2/3) / 6).
  const double sd = std::sqrt((5 + 0.5 + 2.0 / 3) / 6);
  EXPECT_NEAR(s.value->groups[0].d[0], (0.5 - 2.5) / sd, 1e-14);
  EXPECT_NEAR(s.value->groups[1].d[0], (7.0 / 3 - 2.5) / sd, 1e-14);
  const present::calibration_sample& c = *s.value->calibration;
  EXPECT_EQ(c.n, 9);
  EXPECT_EQ(c.dropped, 0);
  ASSERT_EQ(c.groups.size(), 3u);
  EXPECT_EQ(c.groups[2].name, "H");
  EXPECT_EQ(c.groups[2].n, 3);
}

TEST(FitCsv, ReadsQuotesLineEndsAndAByteOrderMark) {
  const std::string plain = "g,x,y\nA,1,2\nA,2,1\nA,3,5\nB,0,1\nB,1,0\nB,2,2\n";
  const std::string dressed =
      "\xEF\xBB\xBF\"g\",x,\"y\"\r\n\"A\",1,2\r\n A ,2, 1\rA,3,5\r\n\r\n\"B\",\"0\",1\nB,1,0\nB,2,2";
  const loaded_scenario a = fit_csv(plain, request({"x"}, {"y"}, "g"));
  const loaded_scenario b = fit_csv(dressed, request({"x"}, {"y"}, "g"));
  ASSERT_TRUE(a.value) << first_error(a);
  ASSERT_TRUE(b.value) << first_error(b);
  EXPECT_EQ(present::to_json(*a.value), present::to_json(*b.value));
  // A group's name may hold a comma, quotes and a spreadsheet's
  // formula sign: it is data, kept as written.
  const std::string named = "g,x\n\"=1+1, \"\"a\"\"\",1\n\"=1+1, \"\"a\"\"\",2\nB,4\nB,6\n";
  const loaded_scenario c = fit_csv(named, request({"x"}, {}, "g"));
  ASSERT_TRUE(c.value) << first_error(c);
  EXPECT_EQ(c.value->calibration->groups[0].name, "=1+1, \"a\"");
}

TEST(FitCsv, WritesAScenarioThatReadsBack) {
  for (const std::string& text :
       {sample, std::string("g,x,y\nW,1,2\nW,2,1\nW,3,5\nB,0,1\nB,1,0\nH,2,2\nH,3,4\n")}) {
    const bool grouped = text != sample;
    const loaded_scenario s = grouped ? fit_csv(text, request({"x"}, {"y"}, "g"))
                                      : fit_csv(text, request({"p1", "p2"}, {"crit"}));
    ASSERT_TRUE(s.value) << first_error(s);
    const std::string json = present::to_json(*s.value);
    const loaded_scenario back =
        present::read_json_scenario(json, present::id_rule::optional, present::group_rule::accepted);
    ASSERT_TRUE(back.value) << first_error(back) << "\n" << json;
    EXPECT_EQ(present::to_json(*back.value), json);
    ASSERT_TRUE(back.value->calibration);
    EXPECT_EQ(back.value->calibration->n, s.value->calibration->n);
    EXPECT_EQ(back.value->calibration->groups.size(), s.value->calibration->groups.size());
    // The JSON value form writes the same document.
    nlohmann::json value = *s.value;
    const loaded_scenario again = present::read_json_document(
        value, present::id_rule::optional, present::group_rule::accepted);
    ASSERT_TRUE(again.value) << first_error(again);
    EXPECT_EQ(present::to_json(*again.value), json);
  }
}

TEST(FitCsv, NamesEachFaultByLineAndColumn) {
  struct bad {
    std::string text;
    std::string error;
  };
  const std::string head = "g,x,y\n";
  const std::string rows = "A,1,2\nA,2,1\nB,0,1\nB,1,0\n";
  const std::vector<bad> cases = {
      {"", "no header line: the input is empty"},
      {head, "no rows after the header"},
      {"g,x\nA,1\n", "line 1: no column \"y\" in the header (it has g, x)"},
      {"g,x,y,x\n" + rows, "line 1, column 4: the column \"x\" appears twice"},
      {head + "A,1,2\nA,abc,1\n" + rows,
       "line 3, column 2 (x): must be a number, not \"abc\""},
      {head + rows + "B,1,inf\n", "line 6, column 3 (y): must be a number, not \"inf\""},
      {head + rows + "B,nan,1\n", "line 6, column 2 (x): must be a number, not \"nan\""},
      {head + rows + "B,1e999,1\n",
       "line 6, column 2 (x): is beyond the range of numbers: \"1e999\""},
      {head + rows + "B,0x10,1\n", "line 6, column 2 (x): must be a number, not \"0x10\""},
      {head + rows + "B,1\n", "line 6: 2 fields where the header has 3"},
      {head + rows + "B,\"1,2\n", "line 6: column 2: the quote opened on line 6 is not closed"},
      {head + rows + "B,\"1\"x,2\n", "line 6: column 2: text after the closing quote of a field"},
      {head + "A,1,2\nA,2,1\nB,0,1\n", "group \"B\": has 1 complete row: a group's mean and share need at least 2"},
      {head + "A,1,2\nA,2,1\nA,0,1\nB,,1\n", "g: the complete rows have one group only, \"A\": a scenario compares groups"},
      {head + "A,1,2\nA,1,1\nB,1,1\nB,1,0\n", "column \"x\": does not vary within the groups"},
      {head + "A,1,\nB,,1\n", "no complete rows: every row misses a value"},
      {head + "A\x01,1,2\n" + rows,
       "line 2, column 1 (g): a name must not hold a control character (U+0001) (byte 2)"},
  };
  for (const bad& c : cases) {
    const loaded_scenario s = fit_csv(c.text, request({"x"}, {"y"}, "g"));
    EXPECT_FALSE(s.value) << c.text;
    EXPECT_EQ(first_error(s), c.error) << c.text;
  }
}

TEST(FitCsv, NamesFaultsOfTheRequest) {
  fit_request r = request({"x"}, {"y"}, "g");
  r.reference = "C";
  EXPECT_EQ(first_error(fit_csv("g,x,y\nA,1,2\nA,2,1\nB,0,1\nB,1,0\n", r)),
            "reference: no row of the column \"g\" names the group \"C\"");
  EXPECT_EQ(first_error(fit_csv("g,x\n", request({"x"}, {"x"}, "g"))),
            "criteria: the column \"x\" is named twice");
  EXPECT_EQ(first_error(fit_csv("g,x\n", request({}, {"x"}, "g"))),
            "predictors: name at least one predictor column");
  EXPECT_EQ(first_error(fit_csv("g,x\n", request({"g"}, {}, "g"))),
            "predictors: the column \"g\" is named twice");
}

TEST(FitCsv, ListsAtMostTwentyFaults) {
  std::string text = "g,x\n";
  for (int i = 0; i < 100; ++i) text += "A,bad\n";
  const loaded_scenario s = fit_csv(text, request({"x"}, {}, "g"));
  const std::vector<std::string> errors = error_texts(s);
  ASSERT_EQ(errors.size(), 21u);
  EXPECT_EQ(errors.back(), "and more faults, not listed");
}

TEST(FitColumns, TakesNanAsMissingAndPlacesAnInfinityAsItsCsvWould) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<int> group = {0, 0, 0, 1, 1, 1, -1};
  const std::vector<double> x = {1, 2, 3, 0, 1, nan, 5};
  present::sample_columns columns;
  columns.labels = {"A", "B"};
  columns.group = group;
  columns.scores = {x};
  const loaded_scenario s = present::fit_columns(columns, request({"x"}, {}, "g"));
  ASSERT_TRUE(s.value) << first_error(s);
  EXPECT_EQ(s.value->calibration->n, 5);
  EXPECT_EQ(s.value->calibration->dropped, 2);
  // A's mean 2, B's 0.5; pooled variance (2 + 0.5) / 3.
  EXPECT_NEAR(s.value->spec.predictor_effects[0], -1.5 / std::sqrt(2.5 / 3), 1e-14);
  const std::vector<double> y = {1, 2, std::numeric_limits<double>::infinity(), 0, 1, 2, 5};
  columns.scores = {y};
  EXPECT_EQ(first_error(present::fit_columns(columns, request({"x"}, {}, "g"))),
            "line 4, column 2 (x): must be a number, not \"inf\"");
  columns.positions = {3, 7};
  EXPECT_EQ(first_error(present::fit_columns(columns, request({"x"}, {}, "g"))),
            "line 4, column 7 (x): must be a number, not \"inf\"");
}

TEST(ScenarioCalibration, IsCheckedWhenRead) {
  const std::string base =
      R"({"predictors": [{"name": "x", "d": -0.5, "weight": 1}], "correlations": [[1]],
          "minority_share": 0.25)";
  struct bad {
    std::string tail;
    std::string error;
  };
  const std::vector<bad> cases = {
      {R"(, "calibration": {"missing": "listwise"}})",
       "calibration: needs \"calibration_n\", the rows it was estimated from"},
      {R"(, "calibration_n": 0})", "calibration_n: must be a whole number of rows, at least 1"},
      {R"(, "calibration_n": 2.5})", "calibration_n: must be a whole number of rows, at least 1"},
      {R"(, "calibration_n": 10, "calibration": {"missing": "pairwise"}})",
       "calibration.missing: must be \"listwise\""},
      {R"(, "calibration_n": 10, "calibration": {"dropped": -1}})",
       "calibration.dropped: must be a whole number of rows, at least 0"},
      {R"(, "calibration_n": 10, "calibration": {"groups": [{"name": "A", "n": 6}, {"name": "B", "n": 3}]}})",
       "calibration.groups: the groups' rows add up to 9, not calibration_n (10)"},
      {R"(, "calibration_n": 10, "calibration": {"groups": [{"name": "A"}]}})",
       "calibration.groups[0].n: required: the group's complete rows"},
      {R"(, "calibration_n": 10, "calibration": {"size": 3}})",
       "calibration.size: unknown key (expected one of dropped, groups, missing)"},
  };
  for (const bad& c : cases) {
    const loaded_scenario s = present::read_json_scenario(base + c.tail);
    EXPECT_FALSE(s.value) << c.tail;
    EXPECT_EQ(first_error(s), c.error) << c.tail;
    EXPECT_EQ(present::unknown_keys(std::string_view(base + c.tail)).empty(),
              c.error.find("unknown key") == std::string::npos)
        << c.tail;
  }
  const loaded_scenario plain = present::read_json_scenario(base + R"(, "calibration_n": 40})");
  ASSERT_TRUE(plain.value) << first_error(plain);
  EXPECT_EQ(plain.value->calibration->n, 40);
  // The deck has no place for it, and says so.
  EXPECT_FALSE(present::to_deck(*plain.value).warnings.empty());
}

}  // namespace
