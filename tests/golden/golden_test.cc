// Every deck under tests/golden (the conformance suite) and examples/ (the
// annotated example decks), run in-process: the report, the diagnostics and the exit
// status must match the expectations beside the deck byte for byte.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "fourfifths/classic.h"

namespace {

namespace fs = std::filesystem;

const fs::path source = FOURFIFTHS_SOURCE_DIR;
const fs::path root = source / "tests" / "golden";
const fs::path examples = source / "examples";

std::string slurp(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The source line in the subscript report is the program's own business.
std::string mask_line_numbers(const std::string& text) {
  static const std::regex line_number("(Subscript out of range on file line )[0-9]+");
  return std::regex_replace(text, line_number, "$1N");
}

std::vector<fs::path> all_decks() {
  std::vector<fs::path> decks;
  for (const fs::path& folder : {root, examples}) {
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
      if (entry.path().extension() == ".deck") decks.push_back(entry.path());
    }
  }
  std::sort(decks.begin(), decks.end());
  return decks;
}

// The first line where two texts differ, for a readable failure.
std::string first_difference(const std::string& got, const std::string& want) {
  std::istringstream g(got), w(want);
  std::string a, b;
  for (int line = 1;; ++line) {
    const bool more_g = static_cast<bool>(std::getline(g, a));
    const bool more_w = static_cast<bool>(std::getline(w, b));
    if (!more_g && !more_w) return "differs only in line ends";
    if (!more_g) a = "<missing>";
    if (!more_w) b = "<missing>";
    if (a != b) {
      std::string where = "line " + std::to_string(line);
      where.append("\n  got:  '").append(a).append("'\n  want: '").append(b).append("'");
      return where;
    }
  }
}

class GoldenDeck : public testing::TestWithParam<fs::path> {};

TEST_P(GoldenDeck, MatchesExpectedOutputErrorsAndStatus) {
  const fs::path deck = GetParam();
  fs::path base = deck;
  base.replace_extension();
  const std::string input = slurp(deck);
  const fourfifths::classic_run got = fourfifths::run_classic(input);

  const std::string want_out = slurp(fs::path(base).concat(".out"));
  const std::string want_err = slurp(fs::path(base).concat(".err"));
  const int want_status = std::stoi(slurp(fs::path(base).concat(".status")));

  EXPECT_TRUE(got.report == want_out)
      << "standard output " << first_difference(got.report, want_out);
  EXPECT_EQ(mask_line_numbers(got.diagnostics), mask_line_numbers(want_err));
  EXPECT_EQ(static_cast<int>(got.status), want_status);
}

std::string case_name(const testing::TestParamInfo<fs::path>& info) {
  std::string name = fs::relative(info.param, source).replace_extension().string();
  std::replace_if(
      name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); },
      '_');
  return name;
}

INSTANTIATE_TEST_SUITE_P(Decks, GoldenDeck, testing::ValuesIn(all_decks()), case_name);

}  // namespace
