// The rules for names that every form meets: names a terminal would run
// or a line break would split are refused where scenarios are read (group
// names and ids), names that most likely mean one are warned of, and every
// CSV cell a spreadsheet would run as a formula is written as text.
#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "present/group_table.h"
#include "present/name_rules.h"
#include "present/scenario.h"
#include "present/table.h"

namespace present {
namespace {

std::string field(std::string_view text) {
  std::string out;
  append_csv_field(out, text);
  return out;
}

TEST(CsvCells, TextsASpreadsheetWouldRunAreWrittenAsText) {
  // Each of the six first characters OWASP names, with the quote before it.
  EXPECT_EQ(field("=HYPERLINK(\"http://x\")"), "\"'=HYPERLINK(\"\"http://x\"\")\"");
  EXPECT_EQ(field("+cmd"), "'+cmd");
  EXPECT_EQ(field("-cmd"), "'-cmd");
  EXPECT_EQ(field("@SUM(A1)"), "'@SUM(A1)");
  EXPECT_EQ(field("\tx"), "'\tx");
  // A carriage return also makes the field quoted: the quote mark goes
  // inside the quotes, so that a reader gets it back as part of the text.
  EXPECT_EQ(field("\rx"), "\"'\rx\"");
  EXPECT_EQ(field("=a,b"), "\"'=a,b\"");
  // Not a formula: a first character elsewhere in the text, an empty text.
  EXPECT_EQ(field("a=b"), "a=b");
  EXPECT_EQ(field(""), "");
}

TEST(CsvCells, NumbersWrittenAsTextStayNumbers) {
  for (const char* number : {"-3", "-0", "+1.5", "-.5", "-1e-3", "+2E+10"}) {
    EXPECT_EQ(field(number), number);
  }
  // Words and broken numbers are not numbers.
  for (const char* word : {"-inf", "-nan", "-1e", "--3", "-3x", "-0x10", "-", "+"}) {
    EXPECT_EQ(field(word), std::string("'") + word) << word;
  }
}

TEST(NameFaults, ControlCharactersAndBytesThatAreNotUtf8AreNamed) {
  EXPECT_EQ(name_fault("Men"), std::nullopt);
  EXPECT_EQ(name_fault("caf\xC3\xA9 \xF0\x9F\x98\x80"), std::nullopt);
  EXPECT_EQ(name_fault("a\x1B[31m"), "a name must not hold a control character (U+001B) (byte 2)");
  EXPECT_EQ(name_fault("ab\n"), "a name must not hold a line break (byte 3)");
  EXPECT_EQ(name_fault("\x7F"), "a name must not hold a control character (U+007F) (byte 1)");
  EXPECT_EQ(name_fault("x\xC2\x85"), "a name must not hold a control character (byte 2)");
  EXPECT_EQ(name_fault("x\xC3"), "is not UTF-8 text (byte 2)");
  EXPECT_EQ(name_fault("\xED\xA0\x80"), "is not UTF-8 text (byte 1)");  // a surrogate
}

TEST(LookAlikeNames, CaseAndSurroundingSpacesAreWarnedOfOncePerPair) {
  const std::vector<std::string_view> names = {"Men", "women", "men ", "Men", " MEN", "men ", ""};
  const std::vector<std::string> expected = {
      R"(groups "Men" and "men " differ only in case or surrounding spaces: they are analysed apart)",
      R"(groups "Men" and " MEN" differ only in case or surrounding spaces: they are analysed apart)"};
  EXPECT_EQ(look_alike_names(names, "groups"), expected);
  // Spaces inside a name, and letters other than ASCII's, make other names.
  const std::vector<std::string_view> apart = {"Black men", "Blackmen", "\xC3\x89t\xC3\xA9",
                                               "\xC3\xA9t\xC3\xA9"};
  EXPECT_TRUE(look_alike_names(apart, "groups").empty());
}

// Two groups, the text of the scenario with one piece replaced.
std::string scenario_text(const std::string& first_group, const std::string& id = "\"s1\"") {
  return R"({"id": )" + id + R"(, "predictors": [{"name": "test", "weight": 1}],
    "correlations": [[1]],
    "groups": [{"name": )" +
         first_group + R"(, "share": 0.2, "d": [-1]}, {"name": "B", "share": 0.1, "d": [-0.5]}]})";
}

std::vector<std::string> errors_of(const loaded_scenario& s) {
  std::vector<std::string> out;
  for (const fourfifths::fault& f : s.errors) out.push_back(f.text());
  return out;
}

TEST(ScenarioNames, GroupNamesAndIdsThatATerminalWouldRunAreRefused) {
  const loaded_scenario colour =
      read_json_scenario(scenario_text(R"("A\u001b[31m")"), id_rule::required, group_rule::accepted);
  EXPECT_EQ(errors_of(colour), std::vector<std::string>{"groups[0].name: a name must not hold a "
                                                        "control character (U+001B) (byte 2)"});
  const loaded_scenario id = read_json_scenario(scenario_text(R"("A")", R"("s\nt")"),
                                                id_rule::required, group_rule::accepted);
  EXPECT_EQ(errors_of(id),
            std::vector<std::string>{"id: a name must not hold a line break (byte 2)"});
}

TEST(ScenarioNames, GroupsThatDifferOnlyInCaseAreAWarning) {
  const loaded_scenario s =
      read_json_scenario(scenario_text(R"(" b")"), id_rule::required, group_rule::accepted);
  ASSERT_TRUE(s.errors.empty()) << testing::PrintToString(errors_of(s));
  ASSERT_EQ(s.warnings.size(), 1u);
  EXPECT_EQ(s.warnings[0].message,
            R"(groups " b" and "B" differ only in case or surrounding spaces: they are analysed apart)");
}

TEST(ScenarioNames, AGroupNamedAsAFormulaIsTextInTheTablesCsv) {
  const loaded_scenario s = read_json_scenario(scenario_text(R"("=1+1")"), id_rule::required,
                                               group_rule::accepted);
  ASSERT_TRUE(s.group_problem.has_value()) << testing::PrintToString(errors_of(s));
  const std::string csv = group_table_csv(make_group_table(*s.group_problem, std::vector{0.3}));
  EXPECT_NE(csv.find(",'=1+1,"), std::string::npos) << csv;
  EXPECT_EQ(csv.find(",=1+1,"), std::string::npos) << csv;
}

}  // namespace
}  // namespace present
