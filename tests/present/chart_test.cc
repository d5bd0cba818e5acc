// Tests of the chart writer: tick choice and tick labels, XML escaping, and
// the SVG document itself (well-formed, deterministic, gaps for non-finite
// values, clipping, legend placement). Where the picture lands on screen is
// checked by check_chart_render.py, through a real renderer.
#include "present/chart.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

using present::axis_kind;
using present::figure;
using present::panel;
using present::reference_line;
using present::series;

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

// --- Helpers ----------------------------------------------------------------

// A structural check of an XML document: an optional declaration, one root
// element, tags balanced and nested, attribute values quoted, and '&' only
// at the start of an entity. Enough to catch a broken writer; the render
// test parses the samples with a full XML parser as well.
testing::AssertionResult well_formed(std::string_view doc) {
  const auto fail = [&](std::size_t at, std::string_view why) {
    return testing::AssertionFailure() << why << " at byte " << at << ": " << doc.substr(at, 60);
  };
  const auto entity_ok = [&](std::size_t at) {
    for (std::string_view e : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"}) {
      if (doc.substr(at, e.size()) == e) return true;
    }
    return false;
  };
  const auto is_name = [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == ':' || c == '_';
  };
  std::size_t i = 0;
  if (doc.substr(0, 5) == "<?xml") {
    i = doc.find("?>");
    if (i == std::string_view::npos) return fail(0, "unterminated declaration");
    i += 2;
  }
  std::vector<std::string_view> open;
  bool root_seen = false;
  while (i < doc.size()) {
    if (doc[i] != '<') {
      if (doc[i] == '&' && !entity_ok(i)) return fail(i, "bare ampersand");
      if (doc[i] == '>') return fail(i, "stray '>'");
      if (open.empty() && !std::isspace(static_cast<unsigned char>(doc[i]))) {
        return fail(i, "text outside the root element");
      }
      ++i;
      continue;
    }
    if (doc.substr(i, 2) == "</") {
      std::size_t j = i + 2;
      while (j < doc.size() && is_name(doc[j])) ++j;
      const std::string_view name = doc.substr(i + 2, j - i - 2);
      if (j >= doc.size() || doc[j] != '>') return fail(i, "malformed end tag");
      if (open.empty() || open.back() != name) return fail(i, "end tag does not match");
      open.pop_back();
      i = j + 1;
      continue;
    }
    if (open.empty() && root_seen) return fail(i, "second root element");
    std::size_t j = i + 1;
    while (j < doc.size() && is_name(doc[j])) ++j;
    const std::string_view name = doc.substr(i + 1, j - i - 1);
    if (name.empty()) return fail(i, "tag without a name");
    for (;;) {
      while (j < doc.size() && doc[j] == ' ') ++j;
      if (j >= doc.size()) return fail(i, "unterminated tag");
      if (doc.substr(j, 2) == "/>") {
        j += 2;
        break;
      }
      if (doc[j] == '>') {
        open.push_back(name);
        ++j;
        break;
      }
      const std::size_t k = j;
      while (j < doc.size() && is_name(doc[j])) ++j;
      if (j == k || doc.substr(j, 2) != "=\"") return fail(j, "malformed attribute");
      j += 2;
      for (; j < doc.size() && doc[j] != '"'; ++j) {
        if (doc[j] == '<') return fail(j, "'<' in an attribute value");
        if (doc[j] == '&' && !entity_ok(j)) return fail(j, "bare ampersand in an attribute");
      }
      if (j >= doc.size()) return fail(k, "unterminated attribute value");
      ++j;
    }
    root_seen = true;
    i = j;
  }
  if (!open.empty()) return fail(doc.size(), "unclosed element");
  if (!root_seen) return fail(0, "no root element");
  return testing::AssertionSuccess();
}

std::size_t count(std::string_view text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string_view::npos;
       at = text.find(what, at + what.size())) {
    ++n;
  }
  return n;
}

// The values of every `attribute="..."` in the document, in order.
std::vector<std::string> attributes(std::string_view doc, std::string_view attribute) {
  std::vector<std::string> out;
  const std::string key = " " + std::string(attribute) + "=\"";
  for (std::size_t at = doc.find(key); at != std::string_view::npos; at = doc.find(key, at + 1)) {
    const std::size_t start = at + key.size();
    out.emplace_back(doc.substr(start, doc.find('"', start) - start));
  }
  return out;
}

struct xy {
  double x, y;
};

// The points of every polyline in the document.
std::vector<std::vector<xy>> polylines(std::string_view doc) {
  std::vector<std::vector<xy>> out;
  for (std::size_t at = doc.find("<polyline"); at != std::string_view::npos;
       at = doc.find("<polyline", at + 1)) {
    const std::string points = attributes(doc.substr(at, doc.find("/>", at) - at), "points")[0];
    std::vector<xy> line;
    std::size_t pos = 0;
    while (pos < points.size()) {
      std::size_t used = 0;
      const double x = std::stod(points.substr(pos), &used);
      pos += used + 1;  // the comma
      const double y = std::stod(points.substr(pos), &used);
      pos += used + 1;  // the space
      line.push_back({x, y});
    }
    out.push_back(line);
  }
  return out;
}

// One panel of one series, on axes fixed or free.
figure one_series(series s, present::axis x = {}, present::axis y = {}) {
  figure f;
  f.panels.push_back(
      {.title = "panel", .x = std::move(x), .y = std::move(y), .lines = {std::move(s)}});
  return f;
}

// The figures of the two known uses, in small: three panels side by side,
// and one panel with a front and labelled points.
figure three_panels() {
  figure f;
  f.title = "Outcomes by selection ratio";
  f.columns = 3;
  std::vector<double> sr, a, b, c;
  for (int k = 0; k <= 20; ++k) {
    sr.push_back(k / 20.0);
    a.push_back(k / 20.0 * 1.1);
    b.push_back(1 - k / 20.0);
    c.push_back(std::sqrt(k / 20.0));
  }
  panel p1{.title = "Impact",
           .x = {"Selection ratio", 0.0, 1.0},
           .y = {"Impact ratio", 0.0, 1.2},
           .lines = {{.label = "Impact ratio", .x = sr, .y = a}},
           .references = {{reference_line::orientation::horizontal, 0.8, "four-fifths"}},
           .markers = {{.x = 0.73, .y = 0.8, .label = "minimum 0.730"}}};
  panel p2{
      .title = "Rates",
      .x = {"Selection ratio", 0.0, 1.0},
      .y = {"Selection rate", {}, {}},
      .lines = {{.label = "Majority", .x = sr, .y = c}, {.label = "Minority", .x = sr, .y = a}}};
  panel p3{.title = "Means",
           .x = {"Selection ratio", 0.0, 1.0},
           .y = {"Mean criterion", {}, {}},
           .lines = {{.label = "Overall", .x = sr, .y = b},
                     {.label = "Majority", .x = sr, .y = c},
                     {.label = "Minority", .x = sr, .y = a}}};
  f.panels = {p1, p2, p3};
  return f;
}

figure front() {
  figure f;
  f.title = "Validity <and> impact & \"weights\"";
  f.panels.push_back(
      {.x = {"Impact ratio", {}, {}},
       .y = {"Validity", {}, {}},
       .lines = {{.label = "front", .x = {0.3, 0.5, 0.7, 0.9}, .y = {0.5, 0.45, 0.38, 0.3}}},
       .references = {{reference_line::orientation::vertical, 0.8, "four-fifths"}},
       .markers = {{.x = 0.3, .y = 0.5, .label = "regression weights"},
                   {.x = 0.5, .y = 0.45, .label = "unit weights"},
                   {.x = 0.7, .y = 0.38, .label = "given weights"}}});
  return f;
}

// --- Ticks ------------------------------------------------------------------

TEST(ChartTicks, UnitIntervalInFifths) {
  const auto s = present::choose_scale(0, 1, {}, {}, 300, 12, axis_kind::x);
  EXPECT_EQ(s.min, 0);
  EXPECT_EQ(s.max, 1);
  EXPECT_EQ(s.ticks, (std::vector<double>{0, 0.2, 0.4, 0.6, 0.8, 1}));
  EXPECT_EQ(s.decimals, 1);
}

TEST(ChartTicks, ImpactAxisEndsOnItsOwnLabel) {
  // Six steps of 0.2 accumulate to 1.2000000000000002; the tick must be the
  // double nearest 1.2 and its label "1.2".
  const auto s = present::choose_scale(0, 0.97, 0.0, 1.2, 350, 12, axis_kind::y);
  EXPECT_EQ(s.ticks, (std::vector<double>{0, 0.2, 0.4, 0.6, 0.8, 1.0, 1.2}));
  std::vector<std::string> labels;
  for (double t : s.ticks) labels.push_back(present::tick_label(t, s.decimals));
  EXPECT_EQ(labels, (std::vector<std::string>{"0.0", "0.2", "0.4", "0.6", "0.8", "1.0", "1.2"}));
}

TEST(ChartTicks, FreeEndsMoveOutToTheNextTick) {
  const auto s = present::choose_scale(-0.37, 2.41, {}, {}, 300, 12, axis_kind::y);
  EXPECT_EQ(s.min, -0.5);
  EXPECT_EQ(s.max, 2.5);
  EXPECT_EQ(s.ticks, (std::vector<double>{-0.5, 0, 0.5, 1, 1.5, 2, 2.5}));
  EXPECT_EQ(present::tick_label(s.ticks[0], s.decimals), "\u22120.5");
}

TEST(ChartTicks, FixedEndsStayWhereTheyAre) {
  const auto s = present::choose_scale(0.2, 0.6, 0.05, 0.95, 300, 12, axis_kind::x);
  EXPECT_EQ(s.min, 0.05);
  EXPECT_EQ(s.max, 0.95);
  ASSERT_GE(s.ticks.size(), 3u);
  EXPECT_GE(s.ticks.front(), 0.05);
  EXPECT_LE(s.ticks.back(), 0.95);
  // One fixed end: the other follows the data.
  const auto half = present::choose_scale(0.13, 0.71, 0.0, {}, 300, 12, axis_kind::x);
  EXPECT_EQ(half.min, 0);
  EXPECT_EQ(half.max, half.ticks.back());
  EXPECT_GE(half.max, 0.71);
}

TEST(ChartTicks, FreeEndsHoldDataJustInsideATick) {
  // 0.599999999999 / 0.1 rounds up to the tick at 0.6 within the
  // tolerance that keeps ticks on their multiples; the free end must still
  // move out past it, and likewise at the top.
  for (const double length : {120.0, 300.0, 600.0}) {
    for (const axis_kind kind : {axis_kind::x, axis_kind::y}) {
      SCOPED_TRACE(length);
      const auto low = present::choose_scale(0.599999999999, 1.0, {}, {}, length, 12, kind);
      EXPECT_LE(low.min, 0.599999999999);
      EXPECT_GE(low.max, 1.0);
      const auto high = present::choose_scale(0.2, 1.000000000001, {}, {}, length, 12, kind);
      EXPECT_LE(high.min, 0.2);
      EXPECT_GE(high.max, 1.000000000001);
      const auto negative = present::choose_scale(-1.000000000001, -0.4, {}, {}, length, 12, kind);
      EXPECT_LE(negative.min, -1.000000000001);
      EXPECT_GE(negative.max, -0.4);
    }
  }
}

TEST(ChartTicks, NoDataAndDegenerateRanges) {
  const auto empty = present::choose_scale(inf, -inf, {}, {}, 300, 12, axis_kind::x);
  EXPECT_EQ(empty.min, 0);
  EXPECT_EQ(empty.max, 1);
  const auto nans = present::choose_scale(nan, nan, {}, {}, 300, 12, axis_kind::y);
  EXPECT_EQ(nans.min, 0);
  EXPECT_EQ(nans.max, 1);
  for (double v : {0.0, 3.0, -250.0, 1e-9}) {
    SCOPED_TRACE(v);
    const auto s = present::choose_scale(v, v, {}, {}, 300, 12, axis_kind::y);
    EXPECT_LT(s.min, v);
    EXPECT_GT(s.max, v);
    EXPECT_GE(s.ticks.size(), 2u);
  }
  // Fixed ends in the wrong order, or not finite, are ignored.
  const auto free = present::choose_scale(0.13, 0.91, {}, {}, 300, 12, axis_kind::x);
  const auto swapped = present::choose_scale(0.13, 0.91, 1.0, 0.0, 300, 12, axis_kind::x);
  EXPECT_EQ(swapped.ticks, free.ticks);
  EXPECT_EQ(swapped.min, free.min);
  EXPECT_EQ(swapped.max, free.max);
  const auto unbounded = present::choose_scale(0.13, 0.91, -inf, nan, 300, 12, axis_kind::x);
  EXPECT_EQ(unbounded.ticks, free.ticks);
}

TEST(ChartTicks, LargeAndSmallMagnitudes) {
  const auto big = present::choose_scale(0, 1e6, {}, {}, 300, 12, axis_kind::x);
  EXPECT_EQ(big.decimals, 0);
  EXPECT_EQ(big.ticks.back(), 1e6);
  EXPECT_EQ(present::tick_label(big.ticks.back(), big.decimals), "1000000");
  const auto small = present::choose_scale(0, 0.003, {}, {}, 300, 12, axis_kind::y);
  EXPECT_EQ(small.ticks.back(), 0.003);
  EXPECT_EQ(present::tick_label(small.ticks[1], small.decimals),
            small.decimals == 4 ? "0.0005" : "0.001");
}

// Over a grid of ranges and lengths: the ticks are the multiples of one
// 1-2-5 step inside the range, their labels are short, distinct and read
// back as the tick values, and labels along x do not touch.
TEST(ChartTicks, InvariantsOverManyRanges) {
  for (double lo : {-1234.5, -3.0, -0.07, 0.0, 0.001, 0.8, 17.0, 1e5}) {
    for (double span : {1e-4, 0.013, 0.5, 1.0, 2.7, 40.0, 999.0, 3e6}) {
      for (double length : {90.0, 200.0, 450.0, 780.0}) {
        for (axis_kind kind : {axis_kind::x, axis_kind::y}) {
          SCOPED_TRACE(testing::Message() << "lo " << lo << " span " << span << " length " << length
                                          << (kind == axis_kind::x ? " x" : " y"));
          const auto s = present::choose_scale(lo, lo + span, {}, {}, length, 12, kind);
          ASSERT_GE(s.ticks.size(), 2u);
          EXPECT_LE(s.ticks.size(), 12u);
          EXPECT_LE(s.min, lo);
          EXPECT_GE(s.max, lo + span);
          EXPECT_EQ(s.ticks.front(), s.min);
          EXPECT_EQ(s.ticks.back(), s.max);
          // Steps of 1, 2 or 5 times a power of ten; on an axis too short
          // for any of them, only the two ends are labelled.
          const double step = s.ticks[1] - s.ticks[0];
          const double mantissa = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
          EXPECT_TRUE(s.ticks.size() == 2 || std::abs(mantissa - 1) < 1e-6 ||
                      std::abs(mantissa - 2) < 1e-6 || std::abs(mantissa - 5) < 1e-6)
              << "step " << step;
          std::vector<std::string> labels;
          for (std::size_t i = 0; i < s.ticks.size(); ++i) {
            if (i > 0) {
              // Each tick is the double nearest its decimal: off by an ulp.
              EXPECT_NEAR(s.ticks[i] - s.ticks[i - 1], step,
                          4e-16 * std::abs(s.ticks[i]) + 1e-12 * step);
            }
            std::string label = present::tick_label(s.ticks[i], s.decimals);
            if (label.rfind("\u2212", 0) == 0) label.replace(0, 3, "-");
            EXPECT_NEAR(std::stod(label), s.ticks[i], 1e-12 * std::abs(s.ticks[i]) + 1e-15);
            EXPECT_LE(label.size(), 12u) << label;
            if (!labels.empty()) {
              EXPECT_NE(label, labels.back());
            }
            labels.push_back(label);
          }
          if (kind == axis_kind::x) {
            double widest = 0;
            for (const auto& l : labels) widest = std::max(widest, present::text_width(l, 12));
            EXPECT_GE(step / (s.max - s.min) * length, widest);
          }
        }
      }
    }
  }
}

TEST(ChartTicks, Labels) {
  EXPECT_EQ(present::tick_label(0.30000000000000004, 1), "0.3");
  EXPECT_EQ(present::tick_label(-0.0, 1), "0.0");
  EXPECT_EQ(present::tick_label(-1e-17, 2), "0.00");  // rounds to zero: no sign
  EXPECT_EQ(present::tick_label(-0.25, 2), "\u22120.25");
  EXPECT_EQ(present::tick_label(1500, 0), "1500");
  EXPECT_EQ(present::tick_label(0.05, 2), "0.05");
}

// --- Text -------------------------------------------------------------------

TEST(ChartText, EscapesMarkup) {
  EXPECT_EQ(present::escape_xml("a<b & \"c\" 'd'>"),
            "a&lt;b &amp; &quot;c&quot; &apos;d&apos;&gt;");
  EXPECT_EQ(present::escape_xml("&amp;"), "&amp;amp;");
  EXPECT_EQ(present::escape_xml(""), "");
}

TEST(ChartText, DropsControlsAndRepairsUtf8) {
  EXPECT_EQ(present::escape_xml(std::string("a\x01\x1f\0b\tc\n", 8)), "ab\tc\n");
  // Well-formed UTF-8 passes: Greek letters, the minus sign, an emoji.
  const std::string good = "\xce\xb1 \xe2\x88\x92 \xce\xb2 \xf0\x9f\x98\x80";
  EXPECT_EQ(present::escape_xml(good), good);
  // Each byte that starts no well-formed sequence becomes U+FFFD.
  const std::string bad = "\xef\xbf\xbd";
  EXPECT_EQ(present::escape_xml("\xff"), bad);
  EXPECT_EQ(present::escape_xml("x\xe2\x88"), "x" + bad + bad);               // cut short
  EXPECT_EQ(present::escape_xml("\xc0\xaf"), bad + bad);                      // overlong '/'
  EXPECT_EQ(present::escape_xml("\xed\xa0\x80"), bad + bad + bad);            // a surrogate
  EXPECT_EQ(present::escape_xml("\xf4\x90\x80\x80"), bad + bad + bad + bad);  // beyond U+10FFFF
  EXPECT_EQ(present::escape_xml("\xef\xbf\xbe"), bad);  // U+FFFE, not a character
}

TEST(ChartText, WidthCountsCharactersNotBytes) {
  // The minus sign is three bytes but one glyph, as wide as '='.
  EXPECT_EQ(present::text_width("\u2212", 12), present::text_width("=", 12));
  EXPECT_GT(present::text_width("mmm", 12), present::text_width("iii", 12));
  EXPECT_EQ(present::text_width("ab", 24), 2 * present::text_width("ab", 12));
}

// --- The document -----------------------------------------------------------

TEST(ChartSvg, WellFormedWithTheBasics) {
  for (const figure& f : {three_panels(), front(), figure{}}) {
    const std::string svg = present::render_svg(f);
    EXPECT_TRUE(well_formed(svg));
    EXPECT_EQ(svg.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg ", 0), 0u);
    EXPECT_NE(svg.find(" viewBox=\"0 0 800 500\""), std::string::npos);
    EXPECT_NE(svg.find("<rect width=\"800\" height=\"500\" fill=\"#ffffff\"/>"), std::string::npos);
    EXPECT_EQ(attributes(svg, "font-family"), std::vector<std::string>{"sans-serif"});
  }
}

TEST(ChartSvg, TextIsEscaped) {
  const std::string svg = present::render_svg(front());
  EXPECT_TRUE(well_formed(svg));
  EXPECT_NE(svg.find("Validity &lt;and&gt; impact &amp; &quot;weights&quot;"), std::string::npos);
  EXPECT_EQ(svg.find("<and>"), std::string::npos);
  figure f = front();
  f.panels[0].title = "bad \xff byte";
  f.panels[0].lines[0].label = "\x01<script>";
  EXPECT_TRUE(well_formed(present::render_svg(f)));
}

TEST(ChartSvg, SameFigureSameBytes) {
  const std::string first = present::render_svg(three_panels());
  const std::string other = present::render_svg(front());
  const figure copy = three_panels();
  EXPECT_EQ(present::render_svg(copy), first);
  EXPECT_EQ(present::render_svg(three_panels()), first);
  EXPECT_EQ(present::render_svg(front()), other);
  // Coordinates in at most two decimals.
  for (const auto& v : attributes(first, "x1")) {
    const auto dot = v.find('.');
    EXPECT_TRUE(dot == std::string::npos || v.size() - dot - 1 <= 2) << v;
  }
}

TEST(ChartSvg, NonFiniteValuesLeaveGaps) {
  const figure f = one_series(
      {.label = "gaps", .x = {0, 1, 2, 3, 4, 5, 6, 7, nan}, .y = {1, 2, nan, 3, 4, inf, 5, 6, 7}});
  const std::string svg = present::render_svg(f);
  EXPECT_TRUE(well_formed(svg));
  for (std::string_view word : {"nan", "inf", "NaN"}) EXPECT_EQ(svg.find(word), std::string::npos);
  const auto lines = polylines(svg);
  ASSERT_EQ(lines.size(), 3u);  // 0-1, 3-4 and 6-7
  for (const auto& line : lines) EXPECT_EQ(line.size(), 2u);
  // The axes follow the finite values only.
  const auto frame = present::layout(f)[0];
  EXPECT_EQ(frame.x.max, 7);
  EXPECT_LE(frame.y.max, 8);
  // A finite point between two gaps is drawn as a dot.
  const std::string dot = present::render_svg(one_series({.x = {0, 1, 2}, .y = {nan, 1, nan}}));
  EXPECT_TRUE(polylines(dot).empty());
  EXPECT_EQ(count(dot, "<circle"), 1u);
}

TEST(ChartSvg, AnAxisOfCategoriesNamesItsTicks) {
  figure f = one_series(
      {.label = "rates", .x = {1, 2, 3}, .y = {0.3, 0.25, 0.1}, .style = present::mark::points});
  f.panels[0].x = {
      .title = "Group", .min = 0.0, .max = 4.0, .categories = {"men", "women", "a & b"}};
  const auto frame = present::layout(f)[0];
  EXPECT_EQ(frame.x.min, 0);
  EXPECT_EQ(frame.x.max, 4);
  EXPECT_EQ(frame.x.ticks, (std::vector<double>{1, 2, 3}));
  EXPECT_EQ(frame.x.labels, (std::vector<std::string>{"men", "women", "a & b"}));
  const std::string svg = present::render_svg(f);
  EXPECT_TRUE(well_formed(svg));
  for (std::string_view word : {">men<", ">women<", ">a &amp; b<"}) {
    EXPECT_NE(svg.find(word), std::string::npos) << word;
  }
  // No numbers along x: the y axis has its own, but none of 1.0, 2.0, 3.0.
  EXPECT_EQ(svg.find(">2.0<"), std::string::npos);
  // Without min and max, half a unit beyond the first and last.
  f.panels[0].x = {.categories = {"men", "women", "a & b"}};
  const auto free = present::layout(f)[0];
  EXPECT_EQ(free.x.min, 0.5);
  EXPECT_EQ(free.x.max, 3.5);
}

TEST(ChartSvg, EmptyThingsStillDraw) {
  figure f;
  f.title = "empty";
  f.columns = 5;  // more columns than panels
  f.panels.push_back({.title = "no series"});
  f.panels.push_back(
      {.lines = {{.label = "empty series"}, {.label = "all NaN", .x = {nan}, .y = {nan}}}});
  f.panels.push_back({.lines = {{.label = "mismatched", .x = {0, 1, 2, 3}, .y = {0, 1}}}});
  const std::string svg = present::render_svg(f);
  EXPECT_TRUE(well_formed(svg));
  EXPECT_EQ(count(svg, "<g class=\"panel\">"), 3u);
  const auto frames = present::layout(f);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].x.min, 0);
  EXPECT_EQ(frames[0].x.max, 1);
  EXPECT_EQ(frames[2].x.max, 1);  // only the points with both coordinates
  EXPECT_LT(frames[0].plot.x + frames[0].plot.width, frames[1].plot.x);
  EXPECT_EQ(polylines(svg).size(), 1u);
  EXPECT_TRUE(well_formed(present::render_svg(figure{.width = -5, .height = 0, .columns = -1})));
}

TEST(ChartSvg, LinesAreClippedToThePlotArea) {
  const figure f = one_series({.label = "beyond",
                               .x = {-0.2, 0.2, 0.5, 0.8, 1.2, 1e300},
                               .y = {0.5, 0.9, 1.3, 0.4, 0.1, -1e300}},
                              {"x", 0.0, 1.0}, {"y", 0.0, 1.0});
  const std::string svg = present::render_svg(f);
  const auto plot = present::layout(f)[0].plot;
  const auto lines = polylines(svg);
  ASSERT_EQ(lines.size(), 2u);  // it leaves through the top and comes back
  for (const auto& line : lines) {
    for (const auto& p : line) {
      EXPECT_GE(p.x, plot.x - 0.01);
      EXPECT_LE(p.x, plot.x + plot.width + 0.01);
      EXPECT_GE(p.y, plot.y - 0.01);
      EXPECT_LE(p.y, plot.y + plot.height + 0.01);
    }
  }
  EXPECT_NEAR(lines[0].front().x, plot.x, 0.01);  // enters at x = 0
  EXPECT_NEAR(lines[0].back().y, plot.y, 0.01);   // leaves through y = 1
  EXPECT_NEAR(lines[1].front().y, plot.y, 0.01);
  EXPECT_NEAR(lines[1].back().x, plot.x + plot.width, 0.01);
}

TEST(ChartSvg, ReferencesAreLighterAndThinnerThanData) {
  const std::string svg = present::render_svg(three_panels());
  const auto start = svg.find("<g class=\"reference\">");
  ASSERT_NE(start, std::string::npos);
  const std::string_view ref = std::string_view(svg).substr(start, svg.find("</g>", start) - start);
  const double ref_width = std::stod(attributes(ref, "stroke-width")[0]);
  for (std::size_t at = svg.find("<polyline"); at != std::string::npos;
       at = svg.find("<polyline", at + 1)) {
    const std::string line = svg.substr(at, svg.find("/>", at) - at);
    EXPECT_LT(ref_width, std::stod(attributes(line, "stroke-width")[0]));
  }
  const auto grey = attributes(ref, "stroke")[0];
  const auto luminance = [](std::string_view hex) {
    const auto c = [&](int i) {
      return std::stoi(std::string(hex.substr(1 + 2 * i, 2)), nullptr, 16);
    };
    return 0.2126 * c(0) + 0.7152 * c(1) + 0.0722 * c(2);
  };
  for (int i = 0; i < 3; ++i) EXPECT_GT(luminance(grey), luminance(present::palette[i]));
  // Off the axes, a reference is not drawn at all.
  figure f = one_series({.x = {0, 1}, .y = {0, 1}}, {}, {"", 0.0, 1.0});
  f.panels[0].references.push_back({reference_line::orientation::horizontal, 2.0, "off"});
  EXPECT_EQ(present::render_svg(f).find("class=\"reference"), std::string::npos);
}

TEST(ChartSvg, SeriesDifferInColourAndDash) {
  figure f;
  f.panels.push_back({});
  for (int i = 0; i < 4; ++i) {
    f.panels[0].lines.push_back(
        {.label = "s" + std::to_string(i), .x = {0, 1}, .y = {0.0 + i, 1.0 + i}});
  }
  const std::string svg = present::render_svg(f);
  std::vector<std::string> looks;
  for (std::size_t at = svg.find("<polyline"); at != std::string::npos;
       at = svg.find("<polyline", at + 1)) {
    const std::string line = svg.substr(at, svg.find("/>", at) - at);
    const auto dash = attributes(line, "stroke-dasharray");
    looks.push_back(dash.empty() ? "solid" : dash[0]);
    EXPECT_EQ(attributes(line, "stroke")[0], present::palette[looks.size() - 1]);
  }
  ASSERT_EQ(looks.size(), 4u);
  for (std::size_t i = 0; i < looks.size(); ++i) {
    for (std::size_t j = i + 1; j < looks.size(); ++j) EXPECT_NE(looks[i], looks[j]);
  }
}

TEST(ChartSvg, TickLabelsAreTheTicks) {
  const figure f = three_panels();
  const std::string svg = present::render_svg(f);
  std::size_t ticks = 0;
  for (const auto& frame : present::layout(f)) ticks += frame.x.ticks.size() + frame.y.ticks.size();
  EXPECT_EQ(count(svg, "class=\"tick\""), ticks);
  EXPECT_NE(svg.find(">1.2</text>"), std::string::npos);
  EXPECT_EQ(svg.find("0000000"), std::string::npos);
}

// --- Legend -----------------------------------------------------------------

// Whether any point of the series, sampled finely along its segments, falls
// inside the rectangle, by the frame's own mapping.
bool covers(const present::panel_frame& f, const series& s, const present::rect& r) {
  for (std::size_t i = 1; i < s.x.size(); ++i) {
    for (int k = 0; k <= 200; ++k) {
      const double t = k / 200.0;
      const double x = s.x[i - 1] + t * (s.x[i] - s.x[i - 1]);
      const double y = s.y[i - 1] + t * (s.y[i] - s.y[i - 1]);
      const double px = f.plot.x + (x - f.x.min) / (f.x.max - f.x.min) * f.plot.width;
      const double py =
          f.plot.y + f.plot.height - (y - f.y.min) / (f.y.max - f.y.min) * f.plot.height;
      if (px >= r.x && px <= r.x + r.width && py >= r.y && py <= r.y + r.height) return true;
    }
  }
  return false;
}

TEST(ChartLegend, TakesAnEmptyCorner) {
  // Rising from lower left to upper right: the upper-right corner is taken.
  const series rising{.label = "rising", .x = {0, 10}, .y = {0, 10}};
  const figure f = one_series(rising);
  const auto frame = present::layout(f)[0];
  EXPECT_FALSE(frame.legend_outside);
  EXPECT_GT(frame.legend.width, 0);
  EXPECT_FALSE(covers(frame, rising, frame.legend));
  EXPECT_LT(frame.legend.x, frame.plot.x + frame.plot.width / 2);  // the upper left
  EXPECT_LT(frame.legend.y, frame.plot.y + frame.plot.height / 2);
}

TEST(ChartLegend, GoesBelowWhenEveryCornerHasData) {
  series zigzag{.label = "zigzag"};
  for (int k = 0; k <= 20; ++k) {
    zigzag.x.push_back(k);
    zigzag.y.push_back(k % 2 ? 10 : 0);
  }
  const figure f = one_series(zigzag);
  const auto frame = present::layout(f)[0];
  EXPECT_TRUE(frame.legend_outside);
  EXPECT_GT(frame.legend.y, frame.plot.y + frame.plot.height);
  EXPECT_LE(frame.legend.y + frame.legend.height, 500);
  EXPECT_TRUE(well_formed(present::render_svg(f)));
}

TEST(ChartLegend, NoneWithoutLabelsOrWhenTurnedOff) {
  figure f = one_series({.x = {0, 1}, .y = {0, 1}});
  EXPECT_EQ(present::layout(f)[0].legend.width, 0);
  EXPECT_EQ(present::render_svg(f).find("class=\"legend\""), std::string::npos);
  f.panels[0].lines[0].label = "labelled";
  f.panels[0].legend = false;
  EXPECT_EQ(present::render_svg(f).find("class=\"legend\""), std::string::npos);
}

// --- Note -------------------------------------------------------------------

bool inside(const present::rect& inner, const present::rect& outer) {
  return inner.x >= outer.x && inner.y >= outer.y &&
         inner.x + inner.width <= outer.x + outer.width &&
         inner.y + inner.height <= outer.y + outer.height;
}

bool apart(const present::rect& a, const present::rect& b) {
  return a.x + a.width <= b.x || b.x + b.width <= a.x || a.y + a.height <= b.y ||
         b.y + b.height <= a.y;
}

TEST(ChartNote, SitsInsideThePlotClearOfDataAndLegend) {
  // Falling from upper left to lower right: the first choices of the
  // legend (upper right) and of the note (lower right) hold data, and the
  // corner the legend takes instead is the note's next choice but one.
  const series falling{.label = "falling", .x = {0, 10}, .y = {10, 0}};
  figure f = one_series(falling);
  f.panels[0].note = "no <minimum> & none";
  const auto frame = present::layout(f)[0];
  ASSERT_GT(frame.note.width, 0);
  EXPECT_TRUE(inside(frame.note, frame.plot));
  EXPECT_FALSE(covers(frame, falling, frame.note));
  EXPECT_FALSE(frame.legend_outside);
  EXPECT_TRUE(apart(frame.note, frame.legend));
  const std::string svg = present::render_svg(f);
  EXPECT_TRUE(well_formed(svg));
  EXPECT_EQ(count(svg, "class=\"note\""), 1u);
  EXPECT_NE(svg.find(">no &lt;minimum&gt; &amp; none</text>"), std::string::npos);
}

TEST(ChartNote, NoneWhenEmpty) {
  const figure f = three_panels();
  for (const auto& frame : present::layout(f)) EXPECT_EQ(frame.note.width, 0);
  EXPECT_EQ(present::render_svg(f).find("class=\"note\""), std::string::npos);
}


// --- Words that do not fit ------------------------------------------------------

TEST(ChartText, FitTextCutsWholeCharactersBeforeAnEllipsis) {
  // 'a' is 0.613 em of DejaVu Sans, the ellipsis 1 em: at 10 pixels six
  // a's take 36.78 pixels. In 30, three a's (18.39) and the ellipsis (10)
  // fit, four (24.52 + 10) do not; the whole of "aaaa" (24.52) fits.
  EXPECT_EQ(present::fit_text("aaaaaa", 10, 30), "aaa\u2026");
  EXPECT_EQ(present::fit_text("aaaa", 10, 30), "aaaa");
  EXPECT_EQ(present::fit_text("aaaaaa", 10, 36.78), "aaaaaa");
  // At least one character, however little the room.
  EXPECT_EQ(present::fit_text("aaaaaa", 10, 1), "a\u2026");
  EXPECT_EQ(present::fit_text("", 10, 0), "");
  // A character beyond ASCII (two bytes, 0.838 em) is kept or dropped
  // whole: 8.38 + 8.38 + 10 > 25 > 8.38 + 10.
  EXPECT_EQ(present::fit_text("\u00e9\u00e9\u00e9\u00e9", 10, 25), "\u00e9\u2026");
  EXPECT_EQ(present::fit_text("\u00e9\u00e9\u00e9\u00e9", 10, 26.76), "\u00e9\u00e9\u2026");
}

// A panel of points with `names` down its side, in a figure of `height`.
figure words_down(const std::vector<std::string>& names, int height) {
  figure f;
  f.width = 600;
  f.height = height;
  panel p;
  series s{.label = "", .style = present::mark::points};
  for (std::size_t i = 0; i < names.size(); ++i) {
    s.x.push_back(static_cast<double>(i));
    s.y.push_back(static_cast<double>(i + 1));
  }
  p.lines.push_back(s);
  p.y.categories = names;
  f.panels.push_back(p);
  return f;
}

std::vector<std::string> long_names(std::size_t n) {
  std::vector<std::string> names;
  for (std::size_t i = 0; i < n; ++i) {
    names.push_back("group " + std::to_string(i) + std::string(72, 'w') + " <b>&");
  }
  return names;
}

TEST(ChartSvg, WordsDownTheSideFirstAtTheTopCutAndWholeInATitle) {
  const std::vector<std::string> names = long_names(30);
  const figure f = words_down(names, 900);
  const auto frame = present::layout(f)[0];
  EXPECT_TRUE(frame.y.downward);
  EXPECT_EQ(frame.y.label_every, 1U);
  // A third of the 580-pixel cell (600 less two margins of 10).
  EXPECT_DOUBLE_EQ(frame.y.label_room, 580.0 / 3);
  const std::string svg = present::render_svg(f);
  EXPECT_TRUE(well_formed(svg));
  // Row 1 is above row 2: the first name's label comes before the second's
  // and sits higher.
  std::vector<double> ys;
  for (std::size_t at = 0; (at = svg.find("class=\"tick category\"", at)) != std::string::npos;
       ++at) {
    const std::size_t open = svg.rfind("<text", at);
    const std::size_t y = svg.find(" y=\"", open) + 4;
    ys.push_back(std::stod(svg.substr(y, svg.find('"', y) - y)));
  }
  ASSERT_EQ(ys.size(), names.size());
  for (std::size_t i = 1; i < ys.size(); ++i) EXPECT_LT(ys[i - 1], ys[i]);
  for (const std::string& name : names) {
    // Cut: 80 bytes of 'w' and the like are far wider than 193 pixels.
    const std::string cut = present::fit_text(name, 12, 580.0 / 3);
    ASSERT_LT(cut.size(), name.size());
    EXPECT_NE(svg.find(">" + present::escape_xml(cut) + "<title>" + present::escape_xml(name) +
                       "</title></text>"),
              std::string::npos)
        << name;
  }
  EXPECT_EQ(svg.find("<b>"), std::string::npos);
}

TEST(ChartSvg, WordsTooCloseForTheirHeightAreThinnedNeverOverlapped) {
  // 30 rows in a short figure: fewer than the 13.6 pixels a line of tick
  // labels needs (1.05 of 12, and one of air) between two rows.
  const figure f = words_down(long_names(30), 260);
  const auto frame = present::layout(f)[0];
  const double pitch = frame.plot.height / (frame.y.max - frame.y.min);
  ASSERT_LT(pitch, 13.6);
  EXPECT_GT(frame.y.label_every, 1U);
  EXPECT_GE(pitch * static_cast<double>(frame.y.label_every), 13.6);
  EXPECT_LT(pitch * static_cast<double>(frame.y.label_every - 1), 13.6);
  const std::string svg = present::render_svg(f);
  std::size_t words = 0;
  for (std::size_t at = 0; (at = svg.find("tick category", at)) != std::string::npos; ++at) ++words;
  EXPECT_EQ(words, (30 + frame.y.label_every - 1) / frame.y.label_every);
  // The first row, at the top, keeps its name.
  const std::size_t first = svg.find("tick category");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(svg.find("<title>", first), svg.find("<title>group 0w", first));
}

TEST(ChartSvg, LongTitlesAreCutAndGivenWhole) {
  figure f = words_down({"a", "b"}, 300);
  f.title = std::string(200, 'T') + " & end";
  f.panels[0].title = std::string(200, 'P');
  f.panels[0].x.title = std::string(200, 'X');
  const std::string svg = present::render_svg(f);
  EXPECT_NE(svg.find("<title>" + std::string(200, 'P') + "</title>"), std::string::npos);
  EXPECT_NE(svg.find("<title>" + std::string(200, 'X') + "</title>"), std::string::npos);
  EXPECT_NE(svg.find(std::string(200, 'T') + " &amp; end</title>"), std::string::npos);
  // Shown cut: the text before the <title> ends in the ellipsis.
  EXPECT_NE(svg.find("P\u2026<title>" + std::string(200, 'P')), std::string::npos);
}

}  // namespace
