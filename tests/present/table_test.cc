// Tables: every format carries the same values. Over the examples and the
// conformance decks, with both methods, whole tables and tables at given
// ratios: each JSON row holds the CSV row's numbers, the JSON four-fifths
// minimum holds the CSV minimum row's, and the text table shows each of them
// rounded to four decimals.
#include "present/table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "present/scenario.h"

namespace present {
namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;

std::vector<std::string> split(const std::string& line, char separator) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream in(line);
  while (std::getline(in, field, separator)) fields.push_back(field);
  if (!line.empty() && line.back() == separator) fields.emplace_back();
  return fields;
}

// The lines of a text that ends with a newline.
std::vector<std::string> lines(const std::string& text) {
  EXPECT_TRUE(!text.empty() && text.back() == '\n');
  return split(text.substr(0, text.size() - 1), '\n');
}

// A JSON value against a CSV field: null for an empty field (or a number
// JSON cannot hold), the shortest form of the number otherwise.
bool same(const json& value, const std::string& field) {
  if (value.is_null()) return field.empty() || field == "NaN" || field == "inf" || field == "-inf";
  if (value.is_boolean()) return field == (value.get<bool>() ? "true" : "false");
  if (value.is_string()) return field == value.get<std::string>();
  return value.is_number() && shortest(value.get<double>()) == field;
}

// A text table's cell against a CSV field.
std::string text_cell(const std::string& field) {
  if (field.empty()) return "-";
  if (field == "NaN") return field;
  if (field == "true" || field == "false") return field == "true" ? "yes" : "no";
  char cell[64];
  std::snprintf(cell, sizeof cell, "%.4f", std::strtod(field.c_str(), nullptr));
  return cell;
}

void check_formats(const table& t, const std::string& what) {
  SCOPED_TRACE(what);
  const std::vector<std::string> csv = lines(table_csv(t));
  const std::vector<std::string> header = split(csv.at(0), ',');
  const json doc = json::parse(table_json(t, nullptr, false));
  ASSERT_EQ(doc["rows"].size() + 1, csv.size());
  const std::vector<std::string> text = lines(table_text(t));
  ASSERT_EQ(text.size(), csv.size() + 1);  // and the minimum's line
  const std::vector<std::string> text_columns = {
      "kind",     "target",           "sr_majority",        "sr_minority",
      "ai_ratio", "ratio_to_highest", "passes_four_fifths", "cut_score",
      "mean",     "mean_majority",    "mean_minority",      "status"};
  for (std::size_t r = 1; r < csv.size(); ++r) {
    const std::vector<std::string> fields = split(csv[r], ',');
    ASSERT_EQ(fields.size(), header.size()) << csv[r];
    const json& row = doc["rows"][r - 1];
    ASSERT_EQ(row.size(), header.size());
    std::istringstream cells(text[r]);
    for (const std::string& column : text_columns) {
      std::string cell;
      cells >> cell;
      const std::size_t i = static_cast<std::size_t>(
          std::find(header.begin(), header.end(), column) - header.begin());
      ASSERT_LT(i, header.size()) << column;
      const std::string want = i < 1 || column == "status" ? fields[i] : text_cell(fields[i]);
      EXPECT_EQ(cell, want) << "text row " << r << ", " << column;
    }
    for (std::size_t i = 0; i < header.size(); ++i) {
      EXPECT_TRUE(same(row[header[i]], fields[i])) << "row " << r << ", " << header[i] << ": JSON "
                                                   << row[header[i]] << ", CSV " << fields[i];
    }
    if (fields[0] == "minimum") {
      const json& minimum = doc["four_fifths_minimum"];
      ASSERT_TRUE(minimum.is_object());
      for (const char* key : {"target", "sr", "sr_majority", "sr_minority", "cut_score"}) {
        EXPECT_EQ(minimum[key], row[key]) << "the minimum's " << key;
      }
      char line[80];
      std::snprintf(line, sizeof line, "four-fifths minimum selection ratio: %.4f",
                    minimum["target"].get<double>());
      EXPECT_EQ(text.back(), line);
    }
  }
  EXPECT_EQ(doc["four_fifths_minimum"].is_null(), !t.minimum.found);
  // A JSON line, made a row at a time, is the whole document's text.
  const std::string id = "id \"1\",\n\xff";
  EXPECT_EQ(table_json(t, &id, true),
            table_document(t, &id).dump(-1, ' ', false, json::error_handler_t::replace) + "\n");
}

std::vector<fs::path> scenario_files() {
  std::vector<fs::path> files;
  for (const auto& entry : fs::directory_iterator(fs::path(FOURFIFTHS_SOURCE_DIR) / "examples")) {
    const std::string ext = entry.path().extension().string();
    if (ext == ".json" || ext == ".deck") files.push_back(entry.path());
  }
  for (const char* folder : {"valid", "edge"}) {
    const fs::path root = fs::path(FOURFIFTHS_SOURCE_DIR) / "tests/golden/conformance" / folder;
    for (const auto& entry : fs::directory_iterator(root)) {
      if (entry.path().extension() == ".deck") files.push_back(entry.path());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(TableFormats, EveryFormatCarriesTheSameValues) {
  int tables = 0;
  for (const fs::path& file : scenario_files()) {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const loaded_scenario s = read_scenario(text);
    if (!s.problem) continue;
    for (const fourfifths::method m : {fourfifths::method::precise, fourfifths::method::classic}) {
      check_formats(make_table(*s.problem, m, std::nullopt), file.filename().string());
      check_formats(make_table(*s.problem, m, std::vector<double>{0.05, 0.5, 0.999, 1.5}),
                    file.filename().string() + " --ratios");
      tables += 2;
    }
  }
  EXPECT_GT(tables, 500);
}

// In majority mode the overall ratio needs an applicant mix the mode does
// not use: the minimum has none, in JSON as in CSV; its ratio is the target.
TEST(TableFormats, TheMinimumsRatioIsItsTargetInMajorityMode) {
  std::ifstream in(fs::path(FOURFIFTHS_SOURCE_DIR) / "examples/majority_criterion.json");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const loaded_scenario s = read_scenario(text);
  ASSERT_TRUE(s.problem.has_value());
  const table t = make_table(*s.problem, fourfifths::method::precise, std::nullopt);
  const json minimum = json::parse(table_json(t, nullptr, true))["four_fifths_minimum"];
  EXPECT_TRUE(minimum["sr"].is_null());
  EXPECT_EQ(minimum["target"], minimum["sr_majority"]);
  EXPECT_EQ(minimum["target"].get<double>(), t.minimum.ratio);
}

}  // namespace
}  // namespace present
