// Frames of typed columns and their one CSV writer.
#include "present/frame.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

namespace present {
namespace {

frame sample() {
  frame f;
  f.rows = 3;
  f.columns.reserve(3);
  frame_column& name = f.add("name", column_type::text, "a name");
  frame_column& value = f.add("value", column_type::number, "a number");
  frame_column& ok = f.add("ok", column_type::boolean, "a verdict");
  for (const char* n : {"plain", "with, comma", "say \"hi\"\nthere"}) push_text(name, n);
  push_number(value, 0.1);
  push_missing(value);
  push_number(value, std::numeric_limits<double>::quiet_NaN());
  push_flag(ok, true);
  push_flag(ok, false);
  push_missing(ok);
  return f;
}

TEST(Frame, OneCsvWriterForEveryColumnType) {
  // RFC 4180: a field with a comma, a quote or a line break is quoted and
  // its quotes doubled; a missing field is empty; a number that is not one
  // is NaN, which CSV readers take for a missing number too.
  EXPECT_EQ(frame_csv(sample()),
            "name,value,ok\n"
            "plain,0.1,true\n"
            "\"with, comma\",,false\n"
            "\"say \"\"hi\"\"\nthere\",NaN,\n");
}

TEST(Frame, AMissingFieldIsKnownFromANumberThatIsNot) {
  const frame f = sample();
  const frame_column& value = f.columns[1];
  EXPECT_FALSE(value.is_missing(0));
  EXPECT_TRUE(value.is_missing(1));
  EXPECT_FALSE(value.is_missing(2));
  EXPECT_TRUE(std::isnan(value.numbers[2]));
  // A column with nothing missing keeps no mask.
  EXPECT_TRUE(f.columns[0].missing.empty());
  EXPECT_EQ(f.columns[2].missing, (std::vector<std::uint8_t>{0, 0, 1}));
}

TEST(Frame, NumbersAreWrittenToReadBackExactly) {
  frame f;
  f.rows = 4;
  frame_column& c = f.add("x", column_type::number, "");
  for (const double v : {1.0 / 3, 1e-300, -0.0, std::numeric_limits<double>::infinity()}) {
    push_number(c, v);
  }
  EXPECT_EQ(frame_csv(f), "x\n0.3333333333333333\n1e-300\n-0\ninf\n");
}

TEST(Frame, JsonHoldsEachColumnTypedWithNullWhereNoValueIs) {
  frame f = sample();
  f.columns.reserve(4);
  frame_column& point = f.add("selected", column_type::integer, "a count");
  for (const double k : {1.0, 2.0, 3.0}) push_number(point, k);
  const nlohmann::json want = nlohmann::json::parse(R"({
    "names": ["name", "value", "ok", "selected"],
    "types": ["text", "number", "boolean", "integer"],
    "units": ["", "", "", "count"],
    "descriptions": ["a name", "a number", "a verdict", "a count"],
    "columns": [["plain", "with, comma", "say \"hi\"\nthere"],
                [0.1, null, null],
                [true, false, null],
                [1, 2, 3]]})");
  const nlohmann::json got = frame_document(f);
  EXPECT_EQ(got, want);
  // A whole number is written as one, not as 1.0.
  EXPECT_TRUE(got["columns"][3][0].is_number_integer());
  // Infinity has no JSON form either.
  frame g;
  g.rows = 1;
  push_number(g.add("x", column_type::number, ""), std::numeric_limits<double>::infinity());
  EXPECT_EQ(frame_document(g)["columns"], nlohmann::json::parse("[[null]]"));
}

// A name may be missing (the unit of a table of one unit): CSV writes an
// empty field, JSON null, and the rows around it keep their names.
TEST(Frame, ANameMayBeMissing) {
  frame f;
  f.rows = 3;
  frame_column& unit = f.add("unit", column_type::text, "a unit");
  push_text(unit, "north");
  push_missing(unit);
  push_text(unit, "south");
  EXPECT_FALSE(unit.is_missing(0));
  EXPECT_TRUE(unit.is_missing(1));
  EXPECT_FALSE(unit.is_missing(2));
  EXPECT_EQ(frame_csv(f), "unit\nnorth\n\nsouth\n");
  EXPECT_EQ(frame_document(f)["columns"][0], nlohmann::json::parse(R"(["north", null, "south"])"));
}

// Frames one after another: each row under its own part's id, the values
// and missing fields as they were.
TEST(Frame, StackedFramesKeepEachRowsId) {
  const auto part = [](std::initializer_list<std::optional<double>> values) {
    frame f;
    f.rows = values.size();
    frame_column& c = f.add("value", column_type::number, "a number");
    for (const std::optional<double>& v : values) push_optional(c, v);
    return f;
  };
  const std::vector<frame> parts = {part({1, std::nullopt}), part({3})};
  const std::vector<std::string> ids = {"first", "second"};
  const frame all = stack_frames(parts, ids);
  EXPECT_EQ(frame_csv(all), "id,value\nfirst,1\nfirst,\nsecond,3\n");
}

}  // namespace
}  // namespace present
