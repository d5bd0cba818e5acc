// Batches: each line handled on its own (good lines, every kind of bad
// line, ids that CSV must quote, the numbers against the normal model in
// 40-digit arithmetic), the cutting of the input into chunks, and whole
// runs through descriptors (input order kept by several threads, failed
// reads and writes, the progress line).
#include "explore/batch.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "fourfifths/analysis.h"
#include "present/scenario.h"
#include "present/table.h"

namespace explore {

using present::csv_header;
using present::loaded_scenario;
using present::read_json_scenario;
namespace {

// --- Helpers ----------------------------------------------------------------

// The typical scenario (three predictors, one criterion, two requested
// ratios) on one line, with `id` as the raw JSON of its id (nothing for
// none) and `d` as the first predictor's effect size.
std::string typical(const std::string& id, double d = -1) {
  char effect[32];
  std::snprintf(effect, sizeof effect, "%.17g", d);
  std::string line = "{";
  if (!id.empty()) line += "\"id\": " + id + ", ";
  line += R"("mode": "overall", "quality": "criterion", "predictors": [{"name": "P1", "d": )";
  line += effect;
  line +=
      R"(, "weight": 0.5}, {"name": "P2", "d": -0.4, "weight": 0.3}, {"name": "P3", "d": -0.1, "weight": 0.2}], "criteria": [{"name": "C1", "d": -0.3, "weight": 1}], "correlations": [[1, 0.3, 0.2, 0.5], [0.3, 1, 0.25, 0.4], [0.2, 0.25, 1, 0.3], [0.5, 0.4, 0.3, 1]], "majority_per_minority": 2, "requested_ratios": [0.15, 0.4]})";
  return line;
}

// The records of a CSV text (RFC 4180: quoted fields may hold commas,
// doubled quotes and newlines).
std::vector<std::vector<std::string>> parse_csv(std::string_view text) {
  std::vector<std::vector<std::string>> records;
  std::vector<std::string> record;
  std::string field;
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        field += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        field += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      record.push_back(std::move(field));
      field.clear();
    } else if (c == '\n') {
      record.push_back(std::move(field));
      field.clear();
      records.push_back(std::move(record));
      record.clear();
    } else {
      field += c;
    }
  }
  EXPECT_TRUE(field.empty() && record.empty()) << "the text does not end with a newline";
  return records;
}

// The columns of the CSV header, by name.
std::size_t column(const std::string& name) {
  const std::vector<std::string> header = parse_csv(csv_header(true)).front();
  for (std::size_t i = 0; i < header.size(); ++i) {
    if (header[i] == name) return i;
  }
  ADD_FAILURE() << "no column " << name;
  return 0;
}

double number(const std::string& field) {
  char* end = nullptr;
  const double v = std::strtod(field.c_str(), &end);
  EXPECT_TRUE(!field.empty() && *end == '\0') << "not a number: '" << field << "'";
  return v;
}

struct line_rows {
  line_outcome outcome;
  std::vector<std::vector<std::string>> rows;
};

line_rows rows_of(std::string_view line, const batch_options& o = {}, std::uint64_t number = 7) {
  std::string out;
  line_rows r;
  r.outcome = batch_line(line, number, o, out);
  r.rows = parse_csv(out);
  return r;
}

// A file holding `text`, open for reading at its start; closed by the test.
int file_with(std::string_view text) {
  std::FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  const int fd = ::dup(::fileno(f));
  std::fclose(f);
  EXPECT_EQ(::write(fd, text.data(), text.size()), static_cast<ssize_t>(text.size()));
  ::lseek(fd, 0, SEEK_SET);
  return fd;
}

std::string contents(int fd) {
  ::lseek(fd, 0, SEEK_SET);
  std::string text;
  char buffer[1 << 16];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  return text;
}

// --- One line ---------------------------------------------------------------

TEST(BatchLine, TypicalScenarioGivesItsTableAfterItsId) {
  const line_rows r = rows_of(typical(R"("t1")"));
  EXPECT_EQ(r.outcome, line_outcome::analysed);
  // 21 built-in ratios, the four-fifths minimum, two requested ratios.
  ASSERT_EQ(r.rows.size(), 24U);
  const std::size_t columns = parse_csv(csv_header(true)).front().size();
  for (std::size_t i = 0; i < r.rows.size(); ++i) {
    const std::vector<std::string>& row = r.rows[i];
    ASSERT_EQ(row.size(), columns);
    EXPECT_EQ(row[0], "t1");
    EXPECT_EQ(row[1], i < 21 ? "builtin" : i == 21 ? "minimum" : "requested");
    EXPECT_EQ(row.back(), "solved");
  }
  EXPECT_EQ(r.rows[0][column("target")], "0.01");
  EXPECT_EQ(r.rows[23][column("target")], "0.4");
}

// Majority mode, one predictor with d = -1, quality on the predictor: at a
// majority ratio p the cut is x = Q^-1(p), SRI = Q(x + 1), MA = phi(x) / p,
// MI = -1 + phi(x + 1) / SRI. The expected values are mpmath's, to 40 digits.
TEST(BatchLine, NumbersAreTheNormalModelsInMajorityMode) {
  batch_options o;
  o.ratios = std::vector<double>{0.5, 0.1};
  const line_rows r = rows_of(
      R"({"id": 1, "mode": "majority", "quality": "predictor", "predictors": [{"d": -1, "weight": 1}], "correlations": [[1]]})",
      o);
  ASSERT_EQ(r.rows.size(), 2U);
  struct expected {
    double cut, sr_minority, ai, mean_majority, mean_minority, difference;
  };
  const expected want[] = {
      {0.0, 0.1586552539314570514147674543679620775221, 0.3173105078629141028295349087359241550442,
       0.7978845608028653558798921198687637369517, 0.5251352761609812090890905363905787133071,
       0.2727492846418841467908015834781850236446},
      {1.28155156554460046696510332944874281862, 0.011257914512604765375592154640801095582,
       0.11257914512604765375592154640801095582, 1.754983319324868066293369192098447629966,
       1.624804925336737687380465484142055423992, 0.1301783939881303789129037079563922059744},
  };
  for (std::size_t i = 0; i < 2; ++i) {
    const std::vector<std::string>& row = r.rows[i];
    const expected& w = want[i];
    const auto near = [](double got, double want) {
      EXPECT_NEAR(got, want, 1e-14 * std::max(1.0, std::fabs(want)));
    };
    EXPECT_EQ(row[0], "1");
    near(number(row[column("cut_score")]), w.cut);
    near(number(row[column("sr_minority")]), w.sr_minority);
    near(number(row[column("ai_ratio")]), w.ai);
    near(number(row[column("mean_majority")]), w.mean_majority);
    near(number(row[column("mean_minority")]), w.mean_minority);
    near(number(row[column("mean_difference")]), w.difference);
    EXPECT_EQ(row[column("passes_four_fifths")], "false");
    // No applicant mix in majority mode: no overall values.
    EXPECT_EQ(row[column("sr")], "");
    EXPECT_EQ(row[column("mean")], "");
    EXPECT_EQ(row[column("std_mean")], "");
  }
}

// Overall mode, a quarter of the applicants from the minority group: the
// cut x solves 0.75 Q(x) + 0.25 Q(x + 1) = 0.3; the standardized values are
// measured from 0.25 d in sqrt(1 + 0.75 * 0.25 d^2) (mpmath, 40 digits).
TEST(BatchLine, NumbersAreTheNormalModelsInOverallMode) {
  batch_options o;
  o.ratios = std::vector<double>{0.3};
  const line_rows r = rows_of(
      R"({"id": "o", "quality": "predictor", "predictors": [{"d": -1, "weight": 2}], "correlations": [[1]], "minority_share": 0.25})",
      o);
  ASSERT_EQ(r.rows.size(), 1U);
  const std::vector<std::string>& row = r.rows[0];
  const std::pair<const char*, double> want[] = {
      {"target", 0.3},
      {"sr", 0.3},
      {"cut_score", 0.3329747961845184976483178570704916883935},
      {"sr_majority", 0.3695766541710198240811300895457867916733},
      {"sr_minority", 0.09127003748694052775660973136263962498017},
      {"ai_ratio", 0.2469583412720267651887449187071557738926},
      {"mean", 1.004252812183013497230658114246383461499},
      {"mean_majority", 1.02124499434262573580424861954260530477},
      {"mean_minority", 0.797835218769209322435165833275245799121},
      {"mean_difference", 0.2234097755734164133690827862673595056494},
      {"std_mean", 1.150981317464727658736771196355201821724},
      {"std_mean_majority", 1.166574413225566493999251807357534613954},
      {"std_mean_minority", 0.9615595427574351718735482269868671893604},
      {"std_mean_difference", 0.2050148704681313221257035803706674245941},
  };
  for (const auto& [name, value] : want) {
    EXPECT_NEAR(number(row[column(name)]), value, 1e-14 * std::max(1.0, std::fabs(value))) << name;
  }
}

TEST(BatchLine, BlankLinesGiveNothing) {
  for (const char* line : {"", " ", "\t", "\r", " \t \r"}) {
    std::string out;
    EXPECT_EQ(batch_line(line, 1, {}, out), line_outcome::blank) << '"' << line << '"';
    EXPECT_EQ(out, "");
  }
}

TEST(BatchLine, CarriageReturnBeforeTheNewlineIsIgnored) {
  std::string plain;
  std::string crlf;
  EXPECT_EQ(batch_line(typical("5"), 1, {}, plain), line_outcome::analysed);
  EXPECT_EQ(batch_line(typical("5") + "\r", 1, {}, crlf), line_outcome::analysed);
  EXPECT_EQ(plain, crlf);
}

TEST(BatchLine, EveryKindOfBadLineGivesOneErrorRow) {
  struct bad_line {
    std::string line;
    std::string id;       // the id of the row
    std::string message;  // a part of its status
  };
  const bad_line cases[] = {
      {"garbage", "line 7", "not a JSON scenario"},
      {"3 1 1 0 1 2     a deck's header", "line 7", "not a JSON scenario"},
      {"[1, 2]", "line 7", "not a JSON scenario"},
      {R"({"id": "cut", "mode": )", "line 7", "JSON parse error"},
      {typical(R"("a")") + " trailing", "line 7", "JSON parse error"},
      {R"({"id": "big", "predictors": [{"d": 1e999, "weight": 1}], "correlations": [[1]]})",
       "line 7", ""},
      {typical(""), "line 7", "id: required"},
      {typical("null"), "line 7", "id: must be a string or a number"},
      {typical("[1]"), "line 7", "id: must be a string or a number"},
      {typical("{}"), "line 7", "id: must be a string or a number"},
      {typical("true"), "line 7", "id: must be a string or a number"},
      {typical(R"("")"), "line 7", "id: must not be empty"},
      // Faults of the scenario name the scenario by its id.
      {R"({"id": "s1", "predictors": [{"d": "x", "weight": 1}], "correlations": [[1]], "minority_share": 0.5})",
       "s1", "predictors[0].d: must be a finite number"},
      {R"({"id": "s2", "colour": 1, "predictors": [{"d": 1, "weight": 1}], "correlations": [[1]], "minority_share": 0.5})",
       "s2", "colour: unknown key"},
      {R"({"id": "s3", "predictors": [{"d": 1, "weight": 1}, {"d": 0, "weight": 1}], "correlations": [[1, 0.5], [0.4, 1]], "minority_share": 0.5})",
       "s3", "correlations"},
      {R"({"id": "s4", "predictors": [{"d": 1, "weight": 1}], "correlations": [[1]]})", "s4",
       "minority_share"},
      {R"({"id": 12, "predictors": [{"d": 1, "weight": 1}], "correlations": [[1]], "minority_share": 1.5})",
       "12", "minority_share"},
  };
  const std::size_t columns = parse_csv(csv_header(true)).front().size();
  for (const bad_line& c : cases) {
    SCOPED_TRACE(c.line);
    const line_rows r = rows_of(c.line);
    EXPECT_EQ(r.outcome, line_outcome::failed);
    ASSERT_EQ(r.rows.size(), 1U);
    const std::vector<std::string>& row = r.rows[0];
    ASSERT_EQ(row.size(), columns);
    EXPECT_EQ(row[0], c.id);
    for (std::size_t i = 1; i + 1 < columns; ++i) EXPECT_EQ(row[i], "") << "column " << i;
    EXPECT_EQ(row.back().rfind("error: ", 0), 0U) << row.back();
    EXPECT_NE(row.back().find(c.message), std::string::npos) << row.back();
  }
}

TEST(BatchLine, AllTheFaultsOfALineAreInItsStatus) {
  const line_rows r = rows_of(
      R"({"id": "two", "colour": 1, "predictors": [{"d": "x", "weight": 1}], "correlations": [[1]], "minority_share": 0.5})");
  ASSERT_EQ(r.rows.size(), 1U);
  EXPECT_NE(r.rows[0].back().find("colour: unknown key"), std::string::npos);
  EXPECT_NE(r.rows[0].back().find("; predictors[0].d: must be a finite number"), std::string::npos);
}

TEST(BatchLine, IdsThatNeedQuotingComeBackWhole) {
  const std::pair<std::string, std::string> ids[] = {
      {R"("a,b")", "a,b"},   {R"("say \"hi\"")", "say \"hi\""}, {R"("two\nlines")", "two\nlines"},
      {R"("cr\r")", "cr\r"}, {R"(" spaced ")", " spaced "},     {R"("caf\u00e9")", "caf\xc3\xa9"},
  };
  for (const auto& [json_id, id] : ids) {
    SCOPED_TRACE(json_id);
    for (const std::string& line :
         {typical(json_id), R"({"id": )" + json_id + R"(, "predictors": 1})"}) {
      const line_rows r = rows_of(line);
      ASSERT_FALSE(r.rows.empty());
      for (const std::vector<std::string>& row : r.rows) {
        EXPECT_EQ(row[0], id);
        EXPECT_EQ(row.size(), parse_csv(csv_header(true)).front().size());
      }
    }
  }
}

// An id names a scenario: a number id is written as it is given, digit for
// digit, even beyond what 64 bits or a double hold.
TEST(BatchLine, NumberIdsAreWrittenAsGiven) {
  for (const char* id : {"17", "-3", "2.5", "1e3", "0.1", "-0", "1.50", "2E-3",
                         "123456789012345678901234567890", "18446744073709551617"}) {
    const line_rows r = rows_of(typical(id));
    ASSERT_EQ(r.rows.size(), 24U) << id;
    EXPECT_EQ(r.rows[0][0], id);
    const line_rows failed = rows_of(std::string(R"({"id": )") + id + R"(, "predictors": 1})");
    ASSERT_EQ(failed.rows.size(), 1U) << id;
    EXPECT_EQ(failed.rows[0][0], id);
  }
}

TEST(BatchLine, JsonLinesGiveOneObjectPerScenario) {
  batch_options o;
  o.format = batch_format::jsonl;
  std::string out;
  EXPECT_EQ(batch_line(typical(R"("j1")"), 1, o, out), line_outcome::analysed);
  EXPECT_EQ(batch_line("not json", 2, o, out), line_outcome::failed);
  EXPECT_EQ(batch_line(typical("3"), 3, o, out), line_outcome::analysed);
  // The reader's message quotes the bytes of a line that is not UTF-8.
  EXPECT_EQ(batch_line("{\"id\": \"x\xff\"}", 4, o, out), line_outcome::failed);
  std::vector<nlohmann::json> lines;
  std::size_t start = 0;
  for (std::size_t end; (end = out.find('\n', start)) != std::string::npos; start = end + 1) {
    lines.push_back(nlohmann::json::parse(out.substr(start, end - start)));
  }
  EXPECT_EQ(start, out.size());
  ASSERT_EQ(lines.size(), 4U);
  EXPECT_EQ(lines[0]["id"], "j1");
  EXPECT_EQ(lines[0]["method"], "precise");
  EXPECT_EQ(lines[0]["rows"].size(), 24U);
  EXPECT_TRUE(lines[0]["four_fifths_minimum"].is_object());
  EXPECT_EQ(lines[1]["id"], "line 2");
  EXPECT_NE(lines[1]["error"].get<std::string>().find("not a JSON scenario"), std::string::npos);
  EXPECT_EQ(lines[2]["id"], "3");
  EXPECT_EQ(lines[3]["id"], "line 4");
  EXPECT_NE(lines[3]["error"].get<std::string>().find("UTF-8"), std::string::npos);
}

// The classic method's numbers are the library's classic analysis, exactly
// (shortest round-trip form reads back as the same double).
TEST(BatchLine, ClassicMethodGivesTheClassicAnalysis) {
  batch_options o;
  o.method = fourfifths::method::classic;
  const line_rows r = rows_of(typical(R"("c")", -0.8), o);
  const loaded_scenario s = read_json_scenario(typical("", -0.8));
  ASSERT_TRUE(s.problem.has_value());
  const fourfifths::analysis_result a =
      fourfifths::analyse(*s.problem, fourfifths::method::classic);
  ASSERT_EQ(r.rows.size(), a.entries.size());
  for (std::size_t i = 0; i < r.rows.size(); ++i) {
    const fourfifths::outcome& want = a.entries[i].result;
    EXPECT_EQ(number(r.rows[i][column("cut_score")]), want.cut_score) << i;
    EXPECT_EQ(number(r.rows[i][column("sr_minority")]), want.sr_minority) << i;
    EXPECT_EQ(number(r.rows[i][column("std_mean_difference")]), *want.std_mean_difference) << i;
  }
  // And the precise method does not give them.
  const line_rows precise = rows_of(typical(R"("c")", -0.8));
  EXPECT_NE(precise.rows[0][column("cut_score")], r.rows[0][column("cut_score")]);
}

// --- Cutting the input ------------------------------------------------------

struct numbered_line {
  std::uint64_t number;
  std::string text;
  bool overlong;
  bool operator==(const numbered_line&) const = default;
};

std::vector<numbered_line> lines_of(const std::vector<batch_chunk>& chunks) {
  std::vector<numbered_line> lines;
  for (const batch_chunk& c : chunks) {
    std::size_t start = 0;
    std::uint32_t index = 0;
    for (std::size_t end; (end = c.text.find('\n', start)) != std::string::npos;
         start = end + 1, ++index) {
      bool overlong = false;
      for (const std::uint32_t i : c.overlong) overlong = overlong || i == index;
      lines.push_back({c.first_line + index, c.text.substr(start, end - start), overlong});
    }
    EXPECT_EQ(start, c.text.size()) << "a chunk ends inside a line";
  }
  return lines;
}

std::vector<batch_chunk> split(std::string_view input, const batch_limits& limits,
                               std::size_t block) {
  line_splitter splitter(limits);
  std::vector<batch_chunk> chunks;
  for (std::size_t at = 0; at < input.size(); at += block) {
    splitter.feed(input.substr(at, block), false, chunks);
  }
  if (std::optional<batch_chunk> last = splitter.finish()) chunks.push_back(std::move(*last));
  return chunks;
}

std::uint64_t bytes_of(const std::vector<batch_chunk>& chunks) {
  std::uint64_t total = 0;
  for (const batch_chunk& c : chunks) total += c.input_bytes;
  return total;
}

TEST(LineSplitter, CutsWholeLinesWhateverTheBlocks) {
  const std::string input = "first\n\nthird line\r\n  {\"id\": 4}\nfifth\n\n\nlast, no newline";
  const std::vector<numbered_line> want = {{1, "first", false},
                                           {2, "", false},
                                           {3, "third line\r", false},
                                           {4, "  {\"id\": 4}", false},
                                           {5, "fifth", false},
                                           {6, "", false},
                                           {7, "", false},
                                           {8, "last, no newline", false}};
  for (std::size_t block = 1; block <= input.size(); ++block) {
    for (const std::size_t lines : {1, 2, 3, 100}) {
      batch_limits limits;
      limits.chunk_lines = lines;
      const std::vector<batch_chunk> chunks = split(input, limits, block);
      EXPECT_EQ(lines_of(chunks), want) << "blocks of " << block << ", chunks of " << lines;
      EXPECT_EQ(bytes_of(chunks), input.size());
    }
  }
}

TEST(LineSplitter, ClosesAChunkAtItsLineAndByteLimits) {
  std::string input;
  for (int i = 1; i <= 10; ++i) input += "line " + std::to_string(i) + "\n";
  batch_limits limits;
  limits.chunk_lines = 3;
  std::vector<std::uint64_t> firsts;
  for (const batch_chunk& c : split(input, limits, 1000)) firsts.push_back(c.first_line);
  EXPECT_EQ(firsts, (std::vector<std::uint64_t>{1, 4, 7, 10}));

  limits.chunk_lines = 100;
  limits.chunk_bytes = 14;  // two lines of seven bytes
  firsts.clear();
  for (const batch_chunk& c : split(input, limits, 1000)) firsts.push_back(c.first_line);
  EXPECT_EQ(firsts, (std::vector<std::uint64_t>{1, 3, 5, 7, 9}));
}

TEST(LineSplitter, AShortReadHandsOnTheWholeLinesSoFar) {
  line_splitter splitter(batch_limits{});
  std::vector<batch_chunk> chunks;
  splitter.feed("one\ntw", true, chunks);
  ASSERT_EQ(chunks.size(), 1U);
  EXPECT_EQ(chunks[0].text, "one\n");
  EXPECT_EQ(chunks[0].first_line, 1U);
  splitter.feed("o\nthree", false, chunks);
  EXPECT_EQ(chunks.size(), 1U);  // a full read waits for more lines
  const std::optional<batch_chunk> last = splitter.finish();
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->text, "two\nthree\n");
  EXPECT_EQ(last->first_line, 2U);
  EXPECT_FALSE(splitter.finish().has_value());
}

TEST(LineSplitter, OverlongLinesKeepTheirPlaceButNotTheirText) {
  const std::string input = "short\n0123456789abc\n12345678\n123456789\nok\nand the last too long";
  const std::vector<numbered_line> want = {{1, "short", false},    {2, "", true},
                                           {3, "12345678", false}, {4, "", true},
                                           {5, "ok", false},       {6, "", true}};
  for (std::size_t block = 1; block <= input.size(); ++block) {
    batch_limits limits;
    limits.max_line_bytes = 8;
    limits.chunk_lines = 2;
    const std::vector<batch_chunk> chunks = split(input, limits, block);
    EXPECT_EQ(lines_of(chunks), want) << "blocks of " << block;
    EXPECT_EQ(bytes_of(chunks), input.size());
  }
}

TEST(LineSplitter, EmptyInputGivesNoChunk) {
  EXPECT_TRUE(split("", batch_limits{}, 10).empty());
  EXPECT_EQ(lines_of(split("\n\n", batch_limits{}, 10)).size(), 2U);
}

// --- Chunks -----------------------------------------------------------------

TEST(BatchChunk, LinesAreNumberedFromTheChunksFirstLine) {
  batch_chunk chunk;
  chunk.first_line = 41;
  chunk.text = typical(R"("a")") + "\n\n" + "bad\n" + "\n" + typical("7") + "\n";
  chunk.overlong = {3};
  chunk.input_bytes = 5000;
  std::string out;
  const batch_counts counts = batch_chunk_rows(chunk, {}, out);
  EXPECT_EQ(counts.analysed, 2U);
  EXPECT_EQ(counts.failed, 2U);
  EXPECT_EQ(counts.faults, 0U);
  EXPECT_EQ(counts.input_bytes, 5000U);
  const std::vector<std::vector<std::string>> rows = parse_csv(out);
  ASSERT_EQ(rows.size(), 24U + 1 + 1 + 24);
  EXPECT_EQ(rows[0][0], "a");
  EXPECT_EQ(rows[24][0], "line 43");
  EXPECT_NE(rows[24].back().find("not a JSON scenario"), std::string::npos);
  EXPECT_EQ(rows[25][0], "line 44");
  EXPECT_EQ(rows[25].back(), "error: line longer than 1048576 bytes");
  EXPECT_EQ(rows[26][0], "7");
}

// --- Whole runs -------------------------------------------------------------
// The runs with several threads are the BatchConcurrency cases, which CI
// runs under ThreadSanitizer too (the tsan preset).

// Lines of every kind: good ones with varied effect sizes, bad ones, blank
// ones.
std::vector<std::string> mixed_lines(int count) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) {
    if (i % 37 == 5) {
      lines.emplace_back(i % 2 == 0 ? "" : "   ");
    } else if (i % 29 == 3) {
      lines.push_back("{\"id\": \"bad" + std::to_string(i) + "\", \"predictors\": 2}");
    } else if (i % 31 == 7) {
      lines.emplace_back("not json");
    } else {
      lines.push_back(typical("\"s" + std::to_string(i) + "\"", -1.5 + 0.001 * i));
    }
  }
  return lines;
}

// What a run must write: the header, then each line's rows in input order.
std::string expected_output(const std::vector<std::string>& lines, const batch_options& o,
                            batch_counts& counts) {
  std::string out = o.header && o.format == batch_format::csv ? csv_header(true) : "";
  for (std::size_t i = 0; i < lines.size(); ++i) {
    switch (batch_line(lines[i], i + 1, o, out)) {
      case line_outcome::analysed:
        ++counts.analysed;
        break;
      case line_outcome::failed:
        ++counts.failed;
        break;
      case line_outcome::blank:
        break;
    }
  }
  return out;
}

std::string joined_lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return text;
}

TEST(BatchConcurrency, RowsComeInInputOrderWithSeveralThreads) {
  const std::vector<std::string> lines = mixed_lines(200);
  const std::string input = joined_lines(lines);
  for (const batch_format format : {batch_format::csv, batch_format::jsonl}) {
    batch_options o;
    o.format = format;
    o.limits.chunk_lines = 3;  // many chunks, finished out of order
    o.limits.window_per_thread = 2;
    batch_counts want;
    const std::string expected = expected_output(lines, o, want);
    for (const unsigned threads :
         format == batch_format::csv ? std::vector<unsigned>{1, 2, 5} : std::vector<unsigned>{5}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      o.threads = threads;
      const int in = file_with(input);
      const int out = file_with("");
      const batch_result r = run_batch(in, out, o);
      EXPECT_EQ(r.read_error, 0);
      EXPECT_EQ(r.write_error, 0);
      EXPECT_EQ(r.counts.analysed, want.analysed);
      EXPECT_EQ(r.counts.failed, want.failed);
      EXPECT_EQ(r.counts.faults, 0U);
      EXPECT_EQ(r.counts.input_bytes, input.size());
      EXPECT_TRUE(contents(out) == expected) << "the output is not the lines' rows in order";
      ::close(in);
      ::close(out);
    }
  }
}

// A chunk whose rows grow past their limit hands them to the writer line by
// line, once its turn has come: the output is the same, in order.
TEST(BatchConcurrency, RowsHandedOverInPiecesKeepTheirOrder) {
  const std::vector<std::string> lines = mixed_lines(150);
  const std::string input = joined_lines(lines);
  for (const batch_format format : {batch_format::csv, batch_format::jsonl}) {
    batch_options o;
    o.format = format;
    o.limits.chunk_lines = 7;
    o.limits.window_per_thread = 2;
    o.limits.rows_bytes = format == batch_format::csv ? 1 : 20000;
    batch_counts want;
    const std::string expected = expected_output(lines, o, want);
    for (const unsigned threads : {1U, 2U, 5U}) {
      SCOPED_TRACE(std::to_string(threads) + " threads");
      o.threads = threads;
      const int in = file_with(input);
      const int out = file_with("");
      const batch_result r = run_batch(in, out, o);
      EXPECT_EQ(r.write_error, 0);
      EXPECT_EQ(r.counts.analysed, want.analysed);
      EXPECT_EQ(r.counts.failed, want.failed);
      EXPECT_TRUE(contents(out) == expected) << "the output is not the lines' rows in order";
      ::close(in);
      ::close(out);
    }
  }
}

// From a pipe that a slow producer fills a piece at a time, the lines come
// in short reads that do not end at line ends.
TEST(BatchConcurrency, RowsComeInInputOrderFromAPipe) {
  const std::vector<std::string> lines = mixed_lines(120);
  const std::string input = joined_lines(lines);
  batch_options o;
  o.threads = 3;
  o.header = false;
  batch_counts want;
  const std::string expected = expected_output(lines, o, want);
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  std::thread producer([&] {
    for (std::size_t at = 0, piece = 1; at < input.size(); at += piece, piece = piece * 7 % 997) {
      const std::string_view part = std::string_view(input).substr(at, piece);
      EXPECT_EQ(::write(fds[1], part.data(), part.size()), static_cast<ssize_t>(part.size()));
      if (piece % 5 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ::close(fds[1]);
  });
  const int out = file_with("");
  const batch_result r = run_batch(fds[0], out, o);
  producer.join();
  ::close(fds[0]);
  EXPECT_EQ(r.counts.analysed, want.analysed);
  EXPECT_EQ(r.counts.failed, want.failed);
  EXPECT_TRUE(contents(out) == expected);
  ::close(out);
}

TEST(RunBatch, HeaderOnlyForCsvAndOnlyWhenAsked) {
  const std::string input = typical("1") + "\n";
  for (const auto& [format, header, starts] :
       {std::tuple{batch_format::csv, true, std::string("id,kind,target,")},
        std::tuple{batch_format::csv, false, std::string("1,builtin,")},
        std::tuple{batch_format::jsonl, true, std::string("{")}}) {
    batch_options o;
    o.format = format;
    o.header = header;
    const int in = file_with(input);
    const int out = file_with("");
    (void)run_batch(in, out, o);
    EXPECT_EQ(contents(out).rfind(starts, 0), 0U) << starts;
    ::close(in);
    ::close(out);
  }
  // No input: the header alone.
  const int in = file_with("");
  const int out = file_with("");
  const batch_result r = run_batch(in, out, batch_options{});
  EXPECT_EQ(contents(out), csv_header(true));
  EXPECT_EQ(r.counts.analysed + r.counts.failed, 0U);
  ::close(in);
  ::close(out);
}

TEST(BatchConcurrency, AFailedWriteStopsTheRun) {
  const int full = ::open("/dev/full", O_WRONLY);
  ASSERT_GE(full, 0);
  const int in = file_with(joined_lines(mixed_lines(200)));
  for (const bool header : {true, false}) {
    ::lseek(in, 0, SEEK_SET);
    batch_options o;
    o.threads = 2;
    o.header = header;
    o.limits.chunk_lines = 2;
    const batch_result r = run_batch(in, full, o);
    EXPECT_EQ(r.write_error, ENOSPC);
    EXPECT_EQ(r.counts.analysed, 0U);
  }
  ::close(in);
  ::close(full);
}

TEST(RunBatch, AFailedReadIsReported) {
  const int directory = ::open(FOURFIFTHS_SOURCE_DIR, O_RDONLY | O_DIRECTORY);
  ASSERT_GE(directory, 0);
  const int out = file_with("");
  const batch_result r = run_batch(directory, out, batch_options{});
  EXPECT_EQ(r.read_error, EISDIR);
  EXPECT_EQ(r.write_error, 0);
  EXPECT_EQ(contents(out), csv_header(true));
  ::close(directory);
  ::close(out);
}

TEST(RunBatch, ProgressSaysScenariosRateAndTimeLeftThenClears) {
  std::vector<std::string> lines;
  lines.reserve(20);
  for (int i = 0; i < 20; ++i) lines.push_back(typical(std::to_string(i)));
  const int in = file_with(joined_lines(lines));
  const int out = file_with("");
  const int progress = file_with("");
  batch_options o;
  o.limits.chunk_lines = 4;
  o.progress_every = std::chrono::milliseconds(0);
  (void)run_batch(in, out, o, progress);
  const std::string shown = contents(progress);
  EXPECT_EQ(shown.rfind("\rbatch: 4 scenarios, ", 0), 0U) << shown;
  EXPECT_NE(shown.find("\rbatch: 20 scenarios, "), std::string::npos) << shown;
  EXPECT_NE(shown.find("/s, 0:00:00 left"), std::string::npos) << shown;
  EXPECT_EQ(shown.substr(shown.size() - 4), "\r\033[K");
  ::close(in);
  ::close(out);
  ::close(progress);
}

}  // namespace
}  // namespace explore
