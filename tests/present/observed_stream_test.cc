// The observed table written as the analysis makes it: the same text as
// the table made whole in every format, a failed output that stops the
// analysis, a long text table whose columns stay aligned, and an output
// file put in place only when complete.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "present/observed_input.h"
#include "present/observed_output.h"
#include "present/output.h"

namespace {

using present::table_format;

present::observed_data data_of(const std::string& text) {
  present::loaded_observed r = present::read_observed(text);
  EXPECT_TRUE(r.value.has_value());
  return r.value ? std::move(*r.value) : present::observed_data{};
}

struct streamed {
  std::vector<std::string> pieces;
  std::vector<fourfifths::fault> faults;
  bool finished = false;
  std::string text() const {
    std::string all;
    for (const std::string& p : pieces) all += p;
    return all;
  }
};

// The table written through a writer, each piece kept apart; a failing
// output refuses every piece from the `fail_from`th on.
streamed stream(const present::observed_data& d, table_format format,
                std::size_t fail_from = SIZE_MAX) {
  streamed out;
  const auto writer = present::make_observed_writer(
      format,
      [&](std::string_view piece) {
        if (out.pieces.size() >= fail_from) return false;
        out.pieces.emplace_back(piece);
        return true;
      },
      &d.counts);
  out.faults = present::analyse(d, d.options, *writer);
  if (out.faults.empty()) out.finished = writer->finish();
  return out;
}

// Units with every status: a reference, a group selected no one, one
// with no applicants, a formula-like name, a name that needs quotes.
std::string many_units(int units) {
  std::string text = "unit,group,applicants,selected\n";
  for (int u = 0; u < units; ++u) {
    const std::string unit = "u" + std::to_string(u);
    text += unit + ",men," + std::to_string(40 + u % 97) + "," + std::to_string(20 + u % 13) + "\n";
    text += unit + ",women," + std::to_string(30 + u % 89) + "," + std::to_string(u % 7) + "\n";
    text += unit + ",=1+1," + std::to_string(u % 3) + ",0\n";
    text += unit + ",\"a, b\"," + std::to_string(5 + u % 50) + "," + std::to_string(u % 5) + "\n";
  }
  return text;
}

TEST(ObservedStream, WritesWhatTheWholeTableWouldInEveryFormat) {
  // 40,000 rows: many pieces, and more than the text table aligns whole.
  for (const int units : {1, 3, 10000}) {
    const present::observed_data d = data_of(many_units(units));
    const fourfifths::observed_result whole = present::analyse(d, d.options);
    ASSERT_TRUE(whole.ok());
    for (const table_format f : {table_format::csv, table_format::json}) {
      const streamed s = stream(d, f);
      EXPECT_TRUE(s.finished);
      EXPECT_EQ(s.text(), present::observed_output(*whole, f)) << units;
      if (units == 10000) {
        EXPECT_GT(s.pieces.size(), 10U);
      }
    }
    if (units < 10000) {
      EXPECT_EQ(stream(d, table_format::text).text(),
                present::observed_output(*whole, table_format::text));
    }
  }
}

TEST(ObservedStream, StepsTooInEveryFormat) {
  const present::observed_data d = data_of(
      "step,group,applicants,selected\nscreen,men,100,60\nscreen,women,80,40\n"
      "test,men,60,30\ntest,women,40,10\n");
  const fourfifths::observed_result whole = present::analyse(d, d.options);
  ASSERT_TRUE(whole.ok());
  for (const table_format f : {table_format::csv, table_format::json, table_format::text}) {
    EXPECT_EQ(stream(d, f).text(), present::observed_output(*whole, f));
  }
}

TEST(ObservedStream, AFailedOutputStopsTheWriter) {
  const present::observed_data d = data_of(many_units(10000));
  for (const table_format f : {table_format::csv, table_format::json, table_format::text}) {
    const streamed s = stream(d, f, 2);
    EXPECT_TRUE(s.faults.empty());
    EXPECT_FALSE(s.finished);
    EXPECT_EQ(s.pieces.size(), 2U);
  }
}

TEST(ObservedStream, AFaultOnTheLastLineWritesNothing) {
  const present::observed_data d = data_of(many_units(2000) + "u1999,older,3,4\n");
  for (const table_format f : {table_format::csv, table_format::json, table_format::text}) {
    const streamed s = stream(d, f);
    ASSERT_EQ(s.faults.size(), 1U);
    EXPECT_EQ(s.faults[0].path, "line 8002, column 4 (selected)");
    EXPECT_TRUE(s.pieces.empty());
  }
}

// The columns of a text table line: where each run of non-blanks begins
// and ends, up to the interval (which holds a blank itself).
std::vector<std::pair<std::size_t, std::size_t>> spans(const std::string& line, std::size_t n) {
  std::vector<std::pair<std::size_t, std::size_t>> out;
  static const std::regex word("\\S+");
  for (auto it = std::sregex_iterator(line.begin(), line.end(), word);
       it != std::sregex_iterator() && out.size() < n; ++it) {
    out.emplace_back(static_cast<std::size_t>(it->position()),
                     static_cast<std::size_t>(it->position() + it->length()));
  }
  return out;
}

TEST(ObservedStream, ALongTextTableStaysAligned) {
  // Names, counts and ratios that grow past the first rows: the widest
  // unit, group, count and impact ratio come last. There, against the
  // named reference's 1 of 123456789, men's 5 of 20 is a ratio of
  // 123456789 / 4 = 30864197.25.
  std::string text = "unit,group,applicants,selected\n";
  for (int u = 0; u < 3000; ++u) {
    const bool last = u == 2999;
    const std::string unit = last ? "the-last-unit-of-all" : "u" + std::to_string(u);
    text.append(unit).append(",men,20,5\n");
    text.append(unit).append(last ? ",women,123456789,1\n" : ",women,20,3\n");
    text.append(unit).append(last ? ",the-longest-group-name" : ",other").append(",30,9\n");
  }
  present::observed_data d = data_of(text);
  d.options.reference = "women";
  std::istringstream lines(stream(d, table_format::text).text());
  std::string line;
  std::vector<std::string> table;
  bool in_table = false;
  while (std::getline(lines, line)) {
    if (line.rfind("unit ", 0) == 0) in_table = true;
    if (in_table && line.empty()) break;
    if (in_table) table.push_back(line);
  }
  ASSERT_EQ(table.size(), 1U + 9000 + 4);  // the header, the rows, four groups pooled
  // unit and group to the left, applicants to p_fisher to the right
  // (4/5, flip and reverse to the left): 14 columns before the interval.
  const std::vector<bool> right = {false, false, true, true, true, true, false,
                                   true,  true,  false, false, true, true, true};
  const auto head = spans(table[1], right.size());
  ASSERT_EQ(head.size(), right.size());
  for (std::size_t i = 1; i < table.size(); ++i) {
    const auto s = spans(table[i], right.size());
    ASSERT_EQ(s.size(), right.size()) << table[i];
    for (std::size_t k = 0; k < right.size(); ++k) {
      if (right[k]) {
        EXPECT_EQ(s[k].second, head[k].second) << "line " << i << ", column " << k << ": " << table[i];
      } else {
        EXPECT_EQ(s[k].first, head[k].first) << "line " << i << ", column " << k << ": " << table[i];
      }
    }
  }
}

std::string contents(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(OutputStream, PutsAFileInPlaceOnlyWhenComplete) {
  const std::filesystem::path dir =
      std::filesystem::temp_directory_path() / ("observed_stream_" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::filesystem::path file = dir / "table.csv";
  {
    present::output_stream out(file.string());
    ASSERT_FALSE(out.failure());
    EXPECT_TRUE(out.write("a,b\n"));
    EXPECT_FALSE(std::filesystem::exists(file));
    EXPECT_TRUE(out.write("1,2\n"));
    EXPECT_FALSE(out.commit());
  }
  EXPECT_EQ(contents(file), "a,b\n1,2\n");
  {
    // Never committed: the old file stays, and nothing is left beside it.
    present::output_stream out(file.string());
    EXPECT_TRUE(out.write("half"));
  }
  EXPECT_EQ(contents(file), "a,b\n1,2\n");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
  {
    present::output_stream out((dir / "no" / "such" / "dir").string());
    ASSERT_TRUE(out.failure());
    EXPECT_FALSE(out.write("x"));
    EXPECT_TRUE(out.commit());
  }
  {
    present::output_stream out("/dev/full");  // a device: held, written by commit
    EXPECT_TRUE(out.write("x"));
    const auto failed = out.commit();
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->path, "/dev/full");
  }
  std::filesystem::remove_all(dir);
}

}  // namespace
