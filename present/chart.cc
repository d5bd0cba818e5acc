#include "present/chart.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace present {

namespace {

// Type sizes in pixels. An 800-pixel figure set across a page's text width
// (6.5 in) prints its tick labels at about 7 pt.
constexpr double title_size = 16;
constexpr double panel_title_size = 14;
constexpr double axis_title_size = 13;
constexpr double tick_size = 12;
constexpr double legend_size = 12;
constexpr double note_size = 11;  // labels of reference lines and markers

constexpr double margin = 10;  // around the figure and between panels
constexpr double tick_length = 5;
constexpr double tick_gap = 4;  // between a tick mark and its label
constexpr double data_width = 2;
constexpr double reference_width = 1;
constexpr double point_radius = 3;    // points of a series
constexpr double marker_radius = 5;   // labelled markers
constexpr double legend_sample = 26;  // length of the line drawn in a legend entry
constexpr double legend_pad = 6;
constexpr double legend_spacing = 18;  // between entries set side by side
constexpr double legend_row = legend_size * 1.4;

constexpr std::string_view ink = "#222222";  // text, axes and ticks
// References sit behind the data in a light grey, thinner than any series.
constexpr std::string_view reference_ink = "#8C8C8C";

// Ascent and descent of a sans-serif line, as fractions of the font size,
// for the boxes that keep labels apart.
constexpr double ascent = 0.8;
constexpr double descent = 0.25;

// ---------------------------------------------------------------------------
// Numbers and text.

// Powers of ten that are exact doubles, so that a tick n * 10^e comes out as
// the double nearest to the decimal it stands for.
constexpr std::array<double, 23> exact_powers = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                                 1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                                 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// n * 10^e, correctly rounded while |e| <= 22.
double scaled(double n, int e) {
  const int a = std::abs(e);
  const double p = a < static_cast<int>(exact_powers.size())
                       ? exact_powers[static_cast<std::size_t>(a)]
                       : std::pow(10.0, a);
  return e >= 0 ? n * p : n / p;
}

// A pixel coordinate in at most two decimals, trailing zeros dropped: short,
// and the same bytes on every build.
std::string num(double v) {
  if (!std::isfinite(v)) return "0";
  std::array<char, 64> buf{};
  const auto [end, ec] =
      std::to_chars(buf.data(), buf.data() + buf.size(), v, std::chars_format::fixed, 2);
  if (ec != std::errc{}) return "0";
  std::string s(buf.data(), end);
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

// Advance widths of DejaVu Sans for the printable ASCII characters, in
// thousandths of the font size (from its 2048-unit em, rounded).
// clang-format off
constexpr std::array<unsigned short, 95> ascii_widths = {
    318,  401, 460, 838, 636, 950, 780, 275, 390, 390, 500, 838, 318, 361, 318, 337,  //  !"#$%&'()*+,-./
    636,  636, 636, 636, 636, 636, 636, 636, 636, 636, 337, 337, 838, 838, 838, 531,  // 0-9 :;<=>?
    1000, 684, 686, 698, 770, 632, 575, 775, 752, 295, 295, 656, 557, 863, 748, 787,  // @ A-O
    603,  787, 695, 635, 611, 732, 684, 989, 685, 611, 685, 390, 337, 390, 838, 500,  // P-Z [\]^_
    500,  613, 635, 550, 635, 615, 352, 635, 634, 278, 278, 579, 278, 974, 634, 612,  // ` a-o
    635,  635, 411, 521, 392, 634, 592, 818, 592, 592, 525, 636, 337, 636, 838};      // p-z {|}~
// clang-format on

// The length in bytes of the UTF-8 sequence at the start of `s`, or 0 when
// it is not well-formed (overlong forms and surrogates included).
std::size_t utf8_length(std::string_view s) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(s[i]); };
  const unsigned char c = byte(0);
  std::size_t n = 0;
  unsigned char lo = 0x80, hi = 0xBF;  // bounds of the second byte
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) lo = 0xA0;
    if (c == 0xED) hi = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;
  } else {
    return 0;
  }
  if (s.size() < n || byte(1) < lo || byte(1) > hi) return 0;
  for (std::size_t i = 2; i < n; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return n;
}

// ---------------------------------------------------------------------------
// Geometry.

struct point {
  double x = 0, y = 0;
  bool operator==(const point&) const = default;
};

double right(const rect& r) { return r.x + r.width; }
double bottom(const rect& r) { return r.y + r.height; }

bool inside(point p, const rect& r) {
  return p.x >= r.x && p.x <= right(r) && p.y >= r.y && p.y <= bottom(r);
}

bool overlaps(const rect& a, const rect& b) {
  return a.x < right(b) && b.x < right(a) && a.y < bottom(b) && b.y < bottom(a);
}

rect box_around(point p, double half) { return {p.x - half, p.y - half, 2 * half, 2 * half}; }

// The part of segment a-b inside `r` (Liang and Barsky, "A new concept and
// method for line clipping", ACM TOG 3 (1984) 1-22). An end inside `r`
// comes back exactly as given, so that clipped pieces still join up.
std::optional<std::pair<point, point>> clip(point a, point b, const rect& r) {
  const double dx = b.x - a.x, dy = b.y - a.y;
  double t0 = 0, t1 = 1;
  const std::array<std::pair<double, double>, 4> edges = {{
      {-dx, a.x - r.x},
      {dx, right(r) - a.x},
      {-dy, a.y - r.y},
      {dy, bottom(r) - a.y},
  }};
  for (const auto& [p, q] : edges) {
    if (p == 0) {
      if (q < 0) return std::nullopt;
      continue;
    }
    const double t = q / p;
    if (p < 0) {
      if (t > t1) return std::nullopt;
      t0 = std::max(t0, t);
    } else {
      if (t < t0) return std::nullopt;
      t1 = std::min(t1, t);
    }
  }
  const point c = t0 == 0 ? a : point{a.x + t0 * dx, a.y + t0 * dy};
  const point d = t1 == 1 ? b : point{a.x + t1 * dx, a.y + t1 * dy};
  return std::pair{c, d};
}

// Maps data to pixels within a panel's plot area.
struct mapping {
  rect plot;
  scale x, y;
  point operator()(double dx, double dy) const {
    const double up = (dy - y.min) / (y.max - y.min) * plot.height;
    return {plot.x + (dx - x.min) / (x.max - x.min) * plot.width,
            y.downward ? plot.y + up : bottom(plot) - up};
  }
};

// ---------------------------------------------------------------------------
// What a panel's drawing consists of, in pixels, decided before any SVG is
// written.

struct series_style {
  std::string_view colour;
  dash pattern = dash::solid;
};

series_style style_of(const series& s, std::size_t index) {
  const std::size_t c = s.colour && *s.colour >= 0 ? static_cast<std::size_t>(*s.colour) : index;
  const auto d = s.pattern.value_or(static_cast<dash>(index % 4));  // the four patterns in turn
  return {palette[c % palette.size()], d};
}

struct series_plan {
  const series* source = nullptr;
  series_style style;
  std::vector<std::vector<point>> runs;  // pieces of line; a one-point run is a dot
  std::vector<point> points;             // points drawn as shapes
};

// Which point of the text its anchor is, as SVG's text-anchor says.
enum class align { start, middle, end };

std::string_view align_name(align a) {
  switch (a) {
    case align::start:
      return "start";
    case align::middle:
      return "middle";
    case align::end:
      return "end";
  }
  return "start";
}

struct text_plan {
  std::string_view text;
  point anchor;
  align how = align::start;
  rect box;
};

// A place a label may go: its anchor point on the baseline and alignment.
struct spot {
  point anchor;
  align how = align::start;
};

struct legend_entry {
  const series* source = nullptr;
  series_style style;
  point at;  // left end of the sample line, on the row's centre line
};

struct panel_plan {
  rect cell;  // the panel's share of the figure
  panel_frame frame;
  std::vector<series_plan> lines;
  std::vector<std::optional<point>> markers;  // one per marker; none when off the plot
  std::vector<std::optional<text_plan>> marker_labels;
  std::vector<std::optional<std::pair<point, point>>> references;
  std::vector<std::optional<text_plan>> reference_labels;
  std::optional<text_plan> note;
  std::vector<legend_entry> legend;
};

// The runs of line and the points of one series, clipped to the plot area.
series_plan plan_series(const series& s, const series_style& style, const mapping& m) {
  series_plan plan{&s, style, {}, {}};
  const std::size_t n = std::min(s.x.size(), s.y.size());
  std::vector<std::optional<point>> px(n);
  for (std::size_t i = 0; i < n; ++i) {
    if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
    const point p = m(s.x[i], s.y[i]);
    // Values far beyond the axis can overflow on the way to pixels.
    if (std::isfinite(p.x) && std::isfinite(p.y)) px[i] = p;
  }
  if (s.style != mark::points) {
    std::vector<point> run;
    const auto flush = [&] {
      if (!run.empty()) plan.runs.push_back(std::move(run));
      run.clear();
    };
    for (std::size_t i = 0; i < n; ++i) {
      const bool alone = px[i] && (i == 0 || !px[i - 1]) && (i + 1 == n || !px[i + 1]);
      if (alone && inside(*px[i], m.plot)) plan.runs.push_back({*px[i]});
      if (i == 0 || !px[i - 1] || !px[i]) {
        flush();
        continue;
      }
      const auto piece = clip(*px[i - 1], *px[i], m.plot);
      if (!piece) {
        flush();
        continue;
      }
      if (run.empty() || !(run.back() == piece->first)) {
        flush();
        run.push_back(piece->first);
      }
      run.push_back(piece->second);
      if (!(piece->second == *px[i])) flush();  // the line left the plot area
    }
    flush();
  }
  if (s.style != mark::line) {
    for (const auto& p : px) {
      if (p && inside(*p, m.plot)) plan.points.push_back(*p);
    }
  }
  return plan;
}

// Everything already drawn that a label or the legend should not cover.
struct obstacles {
  std::vector<std::pair<point, point>> segments;  // data lines
  std::vector<rect> boxes;                        // points, markers, placed labels
  std::vector<std::pair<point, point>> references;

  // How badly `r` covers them: data counts far more than reference lines.
  double cost(const rect& r) const {
    double c = 0;
    for (const auto& [a, b] : segments) c += clip(a, b, r) ? 1000 : 0;
    for (const auto& b : boxes) c += overlaps(b, r) ? 1000 : 0;
    for (const auto& [a, b] : references) c += clip(a, b, r) ? 1 : 0;
    return c;
  }
};

rect text_box(std::string_view text, double size, point anchor, align how) {
  const double w = text_width(text, size);
  const double shift = how == align::start ? 0 : how == align::middle ? w / 2 : w;
  return {anchor.x - shift, anchor.y - ascent * size, w, (ascent + descent) * size};
}

// Of the candidate anchors, the first that keeps the label inside the plot
// area and covers the least.
text_plan place_text(std::string_view text, std::span<const spot> candidates, const rect& plot,
                     const obstacles& avoid) {
  std::optional<text_plan> best;
  double best_cost = std::numeric_limits<double>::infinity();
  for (const auto& [anchor, how] : candidates) {
    const rect box = text_box(text, note_size, anchor, how);
    const bool fits = box.x >= plot.x && right(box) <= right(plot) && box.y >= plot.y &&
                      bottom(box) <= bottom(plot);
    // A little air around the text, so that it does not touch a line.
    const rect air{box.x - 2, box.y - 2, box.width + 4, box.height + 4};
    const double cost = avoid.cost(air) + (fits ? 0 : 1e9);
    if (cost < best_cost) {
      best_cost = cost;
      best = text_plan{text, anchor, how, box};
    }
  }
  return *best;
}

// ---------------------------------------------------------------------------
// Layout.

struct extent {
  double lo = std::numeric_limits<double>::infinity();
  double hi = -std::numeric_limits<double>::infinity();
  void add(double v) {
    if (!std::isfinite(v)) return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
  }
};

std::vector<const series*> legend_series(const panel& p) {
  std::vector<const series*> out;
  if (!p.legend) return out;
  for (const auto& s : p.lines) {
    if (!s.label.empty()) out.push_back(&s);
  }
  return out;
}

double legend_entry_width(const series& s) {
  return legend_sample + 6 + text_width(s.label, legend_size);
}

// Rows of a legend set below the plot area, flowed across `width`.
std::vector<std::vector<const series*>> legend_rows(const std::vector<const series*>& entries,
                                                    double width) {
  std::vector<std::vector<const series*>> rows;
  double used = 0;
  for (const series* s : entries) {
    const double w = legend_entry_width(*s);
    if (rows.empty() || used + legend_spacing + w > width) {
      rows.emplace_back();
      used = w;
    } else {
      used += legend_spacing + w;
    }
    rows.back().push_back(s);
  }
  return rows;
}

// The label of tick i of a scale: its word on an axis of categories, its
// value otherwise.
std::string label_of(const scale& s, std::size_t i) {
  if (i >= s.labels.size()) return tick_label(s.ticks[i], s.decimals);
  return s.label_room > 0 ? fit_text(s.labels[i], tick_size, s.label_room) : s.labels[i];
}

// Whether tick i's label is drawn: words too close for their height are
// thinned out.
bool labelled(const scale& s, std::size_t i) { return i % std::max<std::size_t>(s.label_every, 1) == 0; }

double max_label_width(const scale& s) {
  double w = 0;
  for (std::size_t i = 0; i < s.ticks.size(); ++i) {
    w = std::max(w, text_width(label_of(s, i), tick_size));
  }
  return w;
}

// An axis of categories: a tick at each whole number from 1, labelled with
// its word, over the range the axis gives (or half a unit beyond the ends).
// Along y the first word is at the top, and the words are set in at most
// `room` pixels.
scale category_scale(const axis& a, axis_kind kind, double room) {
  scale s;
  const double n = static_cast<double>(a.categories.size());
  s.min = a.min.value_or(0.5);
  s.max = a.max.value_or(n + 0.5);
  if (!(s.min < s.max)) s.min = 0.5, s.max = std::max(n, 1.0) + 0.5;
  s.downward = kind == axis_kind::y;
  s.label_room = a.label_room > 0 ? a.label_room : room;
  for (std::size_t i = 0; i < a.categories.size(); ++i) {
    s.ticks.push_back(static_cast<double>(i + 1));
    s.labels.push_back(a.categories[i]);
  }
  return s;
}

// The plot area and scales of a panel in `cell`, with `legend_height`
// pixels kept free below the axis title.
panel_frame frame_panel(const panel& p, const rect& cell, double legend_height) {
  extent ex, ey;
  for (const auto& s : p.lines) {
    const std::size_t n = std::min(s.x.size(), s.y.size());
    for (std::size_t i = 0; i < n; ++i) {
      if (!std::isfinite(s.x[i]) || !std::isfinite(s.y[i])) continue;
      ex.add(s.x[i]);
      ey.add(s.y[i]);
    }
  }
  for (const auto& m : p.markers) {
    if (!std::isfinite(m.x) || !std::isfinite(m.y)) continue;
    ex.add(m.x);
    ey.add(m.y);
  }
  for (const auto& r : p.references) {
    (r.dir == reference_line::orientation::horizontal ? ey : ex).add(r.value);
  }

  panel_frame f;
  const double top = cell.y + (p.title.empty() ? 4 : panel_title_size * 1.6) + tick_size / 2;
  const double foot = tick_length + tick_gap + tick_size +
                      (p.x.title.empty() ? 0 : axis_title_size * 1.8) + legend_height;
  const double height = std::max(20.0, bottom(cell) - foot - top);
  if (p.y.categories.empty()) {
    f.y = choose_scale(ey.lo, ey.hi, p.y.min, p.y.max, height, tick_size, axis_kind::y);
  } else {
    f.y = category_scale(p.y, axis_kind::y, cell.width / 3);
    // Rows closer than a line of tick labels: label every k-th row only.
    const double pitch = height / (f.y.max - f.y.min);
    const double line = (ascent + descent) * tick_size + 1;
    f.y.label_every = static_cast<std::size_t>(std::max(1.0, std::ceil(line / pitch)));
  }

  const double left = cell.x + (p.y.title.empty() ? 0 : axis_title_size * 1.6) +
                      max_label_width(f.y) + tick_gap + tick_length + 2;
  // The last x label hangs over the right end of the axis by half its width.
  double overhang = 8;
  for (int pass = 0; pass < 2; ++pass) {
    const double width = std::max(20.0, right(cell) - margin - overhang - left);
    if (p.x.categories.empty()) {
      f.x = choose_scale(ex.lo, ex.hi, p.x.min, p.x.max, width, tick_size, axis_kind::x);
    } else {
      // Words along x share the room between ticks, less a little air,
      // so that no two touch.
      f.x = category_scale(p.x, axis_kind::x, 0);
      const double between = width / (f.x.max - f.x.min) - 6;
      f.x.label_room =
          std::max(1.0, p.x.label_room > 0 ? std::min(p.x.label_room, between) : between);
    }
    f.plot = {left, top, width, height};
    const double last =
        f.x.ticks.empty() ? 0 : text_width(label_of(f.x, f.x.ticks.size() - 1), tick_size);
    if (last / 2 <= overhang) break;
    overhang = last / 2;
  }
  return f;
}

panel_plan plan_panel(const panel& p, const rect& cell) {
  const auto entries = legend_series(p);
  panel_plan plan;

  const auto arrange = [&](double legend_height) {
    plan = panel_plan{};
    plan.cell = cell;
    plan.frame = frame_panel(p, cell, legend_height);
    const mapping m{plan.frame.plot, plan.frame.x, plan.frame.y};
    const rect& plot = m.plot;
    obstacles avoid;
    for (std::size_t i = 0; i < p.lines.size(); ++i) {
      plan.lines.push_back(plan_series(p.lines[i], style_of(p.lines[i], i), m));
      for (const auto& run : plan.lines.back().runs) {
        for (std::size_t k = 1; k < run.size(); ++k)
          avoid.segments.emplace_back(run[k - 1], run[k]);
        if (run.size() == 1) avoid.boxes.push_back(box_around(run[0], data_width));
      }
      for (const auto& q : plan.lines.back().points)
        avoid.boxes.push_back(box_around(q, point_radius + 1));
    }
    for (const auto& r : p.references) {
      const bool horizontal = r.dir == reference_line::orientation::horizontal;
      const scale& s = horizontal ? m.y : m.x;
      if (!std::isfinite(r.value) || r.value < s.min || r.value > s.max) {
        plan.references.emplace_back();
        continue;
      }
      const point at = m(horizontal ? m.x.min : r.value, horizontal ? r.value : m.y.min);
      const auto line = horizontal ? std::pair{point{plot.x, at.y}, point{right(plot), at.y}}
                                   : std::pair{point{at.x, plot.y}, point{at.x, bottom(plot)}};
      plan.references.emplace_back(line);
      avoid.references.push_back(line);
    }
    for (const auto& mk : p.markers) {
      const point at = m(mk.x, mk.y);
      const bool shown = std::isfinite(at.x) && std::isfinite(at.y) && inside(at, plot);
      plan.markers.push_back(shown ? std::optional{at} : std::nullopt);
      if (shown) avoid.boxes.push_back(box_around(at, marker_radius + 1));
    }
    // Marker labels first: they belong to a point, while a reference label
    // may sit anywhere along its line.
    for (std::size_t i = 0; i < p.markers.size(); ++i) {
      const auto& at = plan.markers[i];
      if (!at || p.markers[i].label.empty()) {
        plan.marker_labels.emplace_back();
        continue;
      }
      // Beside the point first, then above or below it; failing those, the
      // same a line and two lines further off.
      constexpr double off = marker_radius + 3, cap = ascent * note_size;
      constexpr double line = note_size * 1.3;
      std::vector<spot> candidates;
      for (int k = 0; k < 3; ++k) {
        const double x = at->x, y = at->y, far = k * line;
        const std::array<spot, 8> ring = {{
            {{x + off, y - off - far}, align::start},
            {{x + off, y + off + cap + far}, align::start},
            {{x - off, y - off - far}, align::end},
            {{x - off, y + off + cap + far}, align::end},
            {{x + off + far, y + cap / 2}, align::start},
            {{x - off - far, y + cap / 2}, align::end},
            {{x, y - off - 2 - far}, align::middle},
            {{x, y + off + 2 + cap + far}, align::middle},
        }};
        candidates.insert(candidates.end(), ring.begin(), ring.end());
      }
      plan.marker_labels.emplace_back(place_text(p.markers[i].label, candidates, plot, avoid));
      avoid.boxes.push_back(plan.marker_labels.back()->box);
    }
    for (std::size_t i = 0; i < p.references.size(); ++i) {
      const auto& line = plan.references[i];
      if (!line || p.references[i].label.empty()) {
        plan.reference_labels.emplace_back();
        continue;
      }
      const auto [a, b] = *line;
      const bool horizontal = a.y == b.y;
      std::array<spot, 4> candidates;
      if (horizontal) {
        const double above = a.y - 4, below = a.y + 4 + ascent * note_size;
        candidates = {{{{b.x - 4, above}, align::end},
                       {{a.x + 4, above}, align::start},
                       {{b.x - 4, below}, align::end},
                       {{a.x + 4, below}, align::start}}};
      } else {
        const double high = a.y + 4 + ascent * note_size, low = b.y - 4 - descent * note_size;
        candidates = {{{{a.x + 4, high}, align::start},
                       {{a.x - 4, high}, align::end},
                       {{a.x + 4, low}, align::start},
                       {{a.x - 4, low}, align::end}}};
      }
      plan.reference_labels.emplace_back(
          place_text(p.references[i].label, candidates, plot, avoid));
      avoid.boxes.push_back(plan.reference_labels.back()->box);
    }
    return avoid;
  };

  // The note last, once the legend has its corner: the legend needs a
  // whole corner, the note less room. A corner first, the lower right before
  // the others (rising curves leave it free), then the middle of an edge;
  // failing all of those, the same spots a line further in, and so on.
  const auto place_note = [&](const obstacles& avoid) {
    if (p.note.empty()) return;
    const rect& plot = plan.frame.plot;
    constexpr double in = 6, line = note_size * 1.4;
    const double mid = plot.x + plot.width / 2;
    std::vector<spot> candidates;
    for (double k = 0; k * line < plot.height / 2; ++k) {
      const double top = plot.y + in + ascent * note_size + k * line;
      const double low = bottom(plot) - in - descent * note_size - k * line;
      const std::array<spot, 6> ring = {{{{right(plot) - in, low}, align::end},
                                         {{plot.x + in, top}, align::start},
                                         {{plot.x + in, low}, align::start},
                                         {{right(plot) - in, top}, align::end},
                                         {{mid, top}, align::middle},
                                         {{mid, low}, align::middle}}};
      candidates.insert(candidates.end(), ring.begin(), ring.end());
    }
    plan.note = place_text(p.note, candidates, plot, avoid);
    plan.frame.note = plan.note->box;
  };

  obstacles avoid = arrange(0);
  if (entries.empty()) {
    place_note(avoid);
    return plan;
  }

  // Inside: the corner that covers no data and the fewest reference lines.
  double width = 0;
  for (const series* s : entries) width = std::max(width, legend_entry_width(*s));
  const rect& plot = plan.frame.plot;
  const double w = width + 2 * legend_pad,
               h = static_cast<double>(entries.size()) * legend_row + 2 * legend_pad;
  constexpr double inset = 6;
  const std::array<point, 4> corners = {{
      {right(plot) - inset - w, plot.y + inset},            // upper right
      {plot.x + inset, plot.y + inset},                     // upper left
      {plot.x + inset, bottom(plot) - inset - h},           // lower left
      {right(plot) - inset - w, bottom(plot) - inset - h},  // lower right
  }};
  std::optional<rect> best;
  double best_cost = 1000;  // any data covered is too much
  if (w + 2 * inset <= plot.width && h + 2 * inset <= plot.height) {
    for (const point& c : corners) {
      const rect r{c.x, c.y, w, h};
      const double cost = avoid.cost(r);
      if (cost < best_cost) {
        best_cost = cost;
        best = r;
      }
    }
  }
  if (best) {
    plan.frame.legend = *best;
    for (std::size_t i = 0; i < entries.size(); ++i) {
      plan.legend.push_back(
          {entries[i],
           plan.lines[static_cast<std::size_t>(entries[i] - p.lines.data())].style,
           {best->x + legend_pad,
            best->y + legend_pad + (static_cast<double>(i) + 0.5) * legend_row}});
    }
    avoid.boxes.push_back(*best);
    place_note(avoid);
    return plan;
  }

  // Outside: rows below the axis title, centred under the plot area.
  const auto rows = legend_rows(entries, cell.width - 2 * margin);
  const double rows_height = static_cast<double>(rows.size()) * legend_row;
  avoid = arrange(rows_height + 6);
  place_note(avoid);
  const rect& inner = plan.frame.plot;
  const double row_top = bottom(inner) + tick_length + tick_gap + tick_size +
                         (p.x.title.empty() ? 0 : axis_title_size * 1.8) + 6;
  double lo = std::numeric_limits<double>::infinity(), hi = -lo;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    double row_width = -legend_spacing;
    for (const series* s : rows[r]) row_width += legend_spacing + legend_entry_width(*s);
    double x = inner.x + inner.width / 2 - row_width / 2;
    x = std::clamp(x, cell.x + margin, std::max(cell.x + margin, right(cell) - margin - row_width));
    lo = std::min(lo, x);
    hi = std::max(hi, x + row_width);
    for (const series* s : rows[r]) {
      const auto index = static_cast<std::size_t>(s - p.lines.data());
      plan.legend.push_back(
          {s, plan.lines[index].style, {x, row_top + (static_cast<double>(r) + 0.5) * legend_row}});
      x += legend_entry_width(*s) + legend_spacing;
    }
  }
  plan.frame.legend = {lo, row_top, hi - lo, rows_height};
  plan.frame.legend_outside = true;
  return plan;
}

struct figure_plan {
  double width = 800, height = 500;
  std::vector<panel_plan> panels;
};

figure_plan plan_figure(const figure& fig) {
  figure_plan plan;
  plan.width = std::max(fig.width, 100);
  plan.height = std::max(fig.height, 100);
  if (fig.panels.empty()) return plan;
  const std::size_t n = fig.panels.size();
  const std::size_t columns =
      std::clamp<std::size_t>(static_cast<std::size_t>(std::max(fig.columns, 1)), 1, n);
  const std::size_t rows = (n + columns - 1) / columns;
  const double top = margin + (fig.title.empty() ? 0 : title_size * 2);
  const double cell_w = (plan.width - 2 * margin) / static_cast<double>(columns);
  const double cell_h = (plan.height - top - margin) / static_cast<double>(rows);
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t row = i / columns, column = i % columns;
    const rect cell{margin + static_cast<double>(column) * cell_w,
                    top + static_cast<double>(row) * cell_h, cell_w, cell_h};
    plan.panels.push_back(plan_panel(fig.panels[i], cell));
  }
  return plan;
}

// ---------------------------------------------------------------------------
// SVG output.

std::string_view dash_array(dash d) {
  switch (d) {
    case dash::solid:
      return "";
    case dash::dashed:
      return " stroke-dasharray=\"7 4\"";
    case dash::dotted:
      return " stroke-dasharray=\"0.1 4\" stroke-linecap=\"round\"";
    case dash::dash_dot:
      return " stroke-dasharray=\"7 3 0.1 3\" stroke-linecap=\"round\"";
  }
  return "";
}

// "x,y x,y ...", the form of a points attribute.
std::string point_list(std::span<const point> pts) {
  std::string out;
  for (const point& q : pts) {
    if (!out.empty()) out += ' ';
    out += num(q.x);
    out += ',';
    out += num(q.y);
  }
  return out;
}

// A <text> element; with a `whole` text, that text in a <title> inside it
// (a browser shows it on hovering): the whole of a word cut to fit.
void append_text(std::string& out, point at, double size, std::string_view anchor,
                 std::string_view content, std::string_view extra = "",
                 std::optional<std::string_view> whole = std::nullopt) {
  out += "<text x=\"" + num(at.x) + "\" y=\"" + num(at.y) + "\" font-size=\"" + num(size) + '"';
  if (anchor != "start") out += " text-anchor=\"" + std::string(anchor) + '"';
  out += extra;
  out += '>' + escape_xml(content);
  if (whole) out += "<title>" + escape_xml(*whole) + "</title>";
  out += "</text>\n";
}

// A tick's label, with the whole word in a <title> on an axis of words.
void append_tick_label(std::string& out, const scale& s, std::size_t i, point at,
                       std::string_view anchor, std::string_view extra) {
  if (i < s.labels.size()) {
    append_text(out, at, tick_size, anchor, label_of(s, i),
                std::string(extra) + " class=\"tick category\"", s.labels[i]);
  } else {
    append_text(out, at, tick_size, anchor, label_of(s, i),
                std::string(extra) + " class=\"tick\"");
  }
}

// A title set in at most `room` pixels: cut with an ellipsis when longer,
// and then given whole in a <title>.
void append_title(std::string& out, point at, double size, double room, std::string_view title,
                  std::string_view extra) {
  const std::string shown = fit_text(title, size, room);
  append_text(out, at, size, "middle", shown, extra,
              shown.size() == title.size() ? std::nullopt : std::optional{title});
}

void append_line(std::string& out, point a, point b, std::string_view stroke, double width,
                 std::string_view extra = "") {
  out += "<line x1=\"" + num(a.x) + "\" y1=\"" + num(a.y) + "\" x2=\"" + num(b.x) + "\" y2=\"" +
         num(b.y) + "\" stroke=\"" + std::string(stroke) + "\" stroke-width=\"" + num(width) + '"' +
         std::string(extra) + "/>\n";
}

void append_shape(std::string& out, shape s, point c, double r, std::string_view fill,
                  std::string_view extra = "") {
  const std::string paint = " fill=\"" + std::string(fill) + '"' + std::string(extra) + "/>\n";
  const auto poly = [&](std::span<const point> pts) {
    std::vector<point> at;
    for (const point& q : pts) at.push_back({c.x + q.x, c.y + q.y});
    out += "<polygon points=\"" + point_list(at) + '"' + paint;
  };
  switch (s) {
    case shape::circle:
      out += "<circle cx=\"" + num(c.x) + "\" cy=\"" + num(c.y) + "\" r=\"" + num(r) + '"' + paint;
      break;
    case shape::square: {
      const double h = r * 0.9;  // the same visual weight as the circle
      out += "<rect x=\"" + num(c.x - h) + "\" y=\"" + num(c.y - h) + "\" width=\"" + num(2 * h) +
             "\" height=\"" + num(2 * h) + '"' + paint;
      break;
    }
    case shape::triangle: {
      const double h = r * 1.25;
      const std::array<point, 3> pts = {{{0, -h}, {h * 0.866, h * 0.5}, {-h * 0.866, h * 0.5}}};
      poly(pts);
      break;
    }
    case shape::diamond: {
      const double h = r * 1.25;
      const std::array<point, 4> pts = {{{0, -h}, {h, 0}, {0, h}, {-h, 0}}};
      poly(pts);
      break;
    }
  }
}

// Labels over lines stay readable on a white halo painted under the glyphs.
constexpr std::string_view halo =
    " stroke=\"#ffffff\" stroke-width=\"3\" stroke-linejoin=\"round\" paint-order=\"stroke\"";

void append_axes(std::string& out, const panel& p, const panel_frame& f, const rect& cell) {
  const rect& r = f.plot;
  const mapping m{r, f.x, f.y};
  const std::string crisp = " shape-rendering=\"crispEdges\"";
  out += "<g class=\"x-axis\">\n";
  append_line(out, {r.x, bottom(r)}, {right(r), bottom(r)}, ink, 1, crisp);
  for (std::size_t i = 0; i < f.x.ticks.size(); ++i) {
    const double x = m(f.x.ticks[i], f.y.min).x;
    append_line(out, {x, bottom(r)}, {x, bottom(r) + tick_length}, ink, 1, crisp);
    if (!labelled(f.x, i)) continue;
    append_tick_label(out, f.x, i, {x, bottom(r) + tick_length + tick_gap + ascent * tick_size},
                      "middle", "");
  }
  if (!p.x.title.empty()) {
    // Centred under the plot area, within the panel's share of the figure.
    const double room = r.width + 2 * std::max(0.0, std::min(r.x - cell.x, right(cell) - right(r)));
    append_title(
        out,
        {r.x + r.width / 2, bottom(r) + tick_length + tick_gap + tick_size + axis_title_size * 1.3},
        axis_title_size, room, p.x.title, "");
  }
  out += "</g>\n<g class=\"y-axis\">\n";
  append_line(out, {r.x, r.y}, {r.x, bottom(r)}, ink, 1, crisp);
  // The label's y is the tick's own row; dy drops the baseline by a little
  // more than a third of the size so that the digits centre on the tick.
  const std::string middle = " dy=\"" + num(0.35 * tick_size) + '"';
  double widest = 0;
  for (std::size_t i = 0; i < f.y.ticks.size(); ++i) {
    const double y = m(f.x.min, f.y.ticks[i]).y;
    append_line(out, {r.x - tick_length, y}, {r.x, y}, ink, 1, crisp);
    if (!labelled(f.y, i)) continue;
    widest = std::max(widest, text_width(label_of(f.y, i), tick_size));
    append_tick_label(out, f.y, i, {r.x - tick_length - tick_gap, y}, "end", middle);
  }
  if (!p.y.title.empty()) {
    const point at{r.x - tick_length - tick_gap - widest - axis_title_size * 0.6,
                   r.y + r.height / 2};
    append_text(out, at, axis_title_size, "middle", p.y.title,
                " transform=\"rotate(-90 " + num(at.x) + ' ' + num(at.y) + ")\"");
  }
  out += "</g>\n";
}

void append_series(std::string& out, const series_plan& s) {
  const std::string colour(s.style.colour);
  out += "<g class=\"series\">\n";
  for (const auto& run : s.runs) {
    if (run.size() == 1) {
      append_shape(out, shape::circle, run[0], data_width, colour);
      continue;
    }
    out += "<polyline points=\"" + point_list(run) + "\" fill=\"none\" stroke=\"" + colour +
           "\" stroke-width=\"" + num(data_width) + "\" stroke-linejoin=\"round\"" +
           std::string(dash_array(s.style.pattern)) + "/>\n";
  }
  for (const point& q : s.points) append_shape(out, s.source->point, q, point_radius, colour);
  out += "</g>\n";
}

void append_legend(std::string& out, const panel_plan& plan) {
  if (plan.legend.empty()) return;
  const rect& box = plan.frame.legend;
  out += "<g class=\"legend\">\n";
  if (!plan.frame.legend_outside) {
    out += "<rect x=\"" + num(box.x) + "\" y=\"" + num(box.y) + "\" width=\"" + num(box.width) +
           "\" height=\"" + num(box.height) + "\" fill=\"#ffffff\" fill-opacity=\"0.9\"/>\n";
  }
  for (const auto& e : plan.legend) {
    const std::string colour(e.style.colour);
    const point end{e.at.x + legend_sample, e.at.y};
    if (e.source->style != mark::points) {
      append_line(out, e.at, end, colour, data_width, dash_array(e.style.pattern));
    }
    if (e.source->style != mark::line) {
      append_shape(out, e.source->point, {e.at.x + legend_sample / 2, e.at.y}, point_radius,
                   colour);
    }
    append_text(out, {end.x + 6, e.at.y + 0.35 * legend_size}, legend_size, "start",
                e.source->label);
  }
  out += "</g>\n";
}

void append_panel(std::string& out, const panel& p, const panel_plan& plan) {
  const rect& r = plan.frame.plot;
  out += "<g class=\"panel\">\n";
  if (!p.title.empty()) {
    // As wide as the plot area and the tick labels to its left.
    append_title(out, {r.x + r.width / 2, r.y - tick_size / 2 - panel_title_size * 0.6},
                 panel_title_size, r.width + 2 * std::max(0.0, r.x - plan.cell.x - margin),
                 p.title, " font-weight=\"bold\"");
  }
  for (std::size_t i = 0; i < p.references.size(); ++i) {
    if (!plan.references[i]) continue;
    out += "<g class=\"reference\">\n";
    append_line(out, plan.references[i]->first, plan.references[i]->second, reference_ink,
                reference_width, " stroke-dasharray=\"5 3\" shape-rendering=\"crispEdges\"");
    out += "</g>\n";
  }
  append_axes(out, p, plan.frame, plan.cell);
  for (const auto& s : plan.lines) append_series(out, s);
  for (std::size_t i = 0; i < p.markers.size(); ++i) {
    if (!plan.markers[i]) continue;
    out += "<g class=\"marker\">\n";
    append_shape(
        out, p.markers[i].form, *plan.markers[i], marker_radius,
        palette[static_cast<std::size_t>(std::max(p.markers[i].colour, 0)) % palette.size()],
        " stroke=\"#ffffff\" stroke-width=\"1.5\"");
    if (const auto& t = plan.marker_labels[i]) {
      append_text(out, t->anchor, note_size, align_name(t->how), t->text,
                  std::string(halo) + " fill=\"" + std::string(ink) + '"');
    }
    out += "</g>\n";
  }
  for (std::size_t i = 0; i < p.references.size(); ++i) {
    if (const auto& t = plan.reference_labels[i]) {
      append_text(out, t->anchor, note_size, align_name(t->how), t->text,
                  std::string(halo) + " fill=\"#555555\" class=\"reference-label\"");
    }
  }
  if (plan.note) {
    append_text(out, plan.note->anchor, note_size, align_name(plan.note->how), plan.note->text,
                std::string(halo) + " fill=\"" + std::string(ink) + "\" class=\"note\"");
  }
  append_legend(out, plan);
  out += "</g>\n";
}

}  // namespace

// ---------------------------------------------------------------------------
// Public functions.

// Ticks after Heckbert ("Nice numbers for graph labels", Graphics Gems,
// 1990, 61-63): steps of 1, 2 or 5 times a power of ten, and free ends
// moved out to a multiple of the step. Heckbert rounds one target step;
// here every step from 10^(e-3) to 5 * 10^(e+1), where 10^e <= span <
// 10^(e+1), is tried and the one whose tick count is nearest the target
// wins, because rounding alone gives 0, 0.5, 1 on a 0-to-1.2 axis where
// 0, 0.2, ..., 1.2 reads better.
scale choose_scale(double lo, double hi, std::optional<double> fixed_min,
                   std::optional<double> fixed_max, double length, double label_size,
                   axis_kind kind) {
  if (fixed_min && !std::isfinite(*fixed_min)) fixed_min.reset();
  if (fixed_max && !std::isfinite(*fixed_max)) fixed_max.reset();
  if (fixed_min && fixed_max && !(*fixed_min < *fixed_max)) fixed_min.reset(), fixed_max.reset();
  if (!std::isfinite(lo) || !std::isfinite(hi) || lo > hi) lo = 0, hi = 1;
  double a = fixed_min.value_or(lo), b = fixed_max.value_or(hi);
  // One end fixed beyond all the data: keep the data's own span.
  if (!(a < b)) {
    const double span = hi > lo ? hi - lo : 1;
    if (fixed_min) b = a + span;
    if (fixed_max) a = b - span;
  }
  // No span, or one lost in rounding: widen around the value.
  if (!(b - a > 1e-9 * std::max(std::abs(a), std::abs(b)))) {
    const double c = a / 2 + b / 2;
    const double half = c == 0 ? 1 : std::abs(c) * 0.1;
    a = c - half;
    b = c + half;
    fixed_min.reset();
    fixed_max.reset();
  }
  const double span = b - a;
  if (!std::isfinite(span)) return {a, b, {}, 0};

  // About one tick per 36 pixels across and 48 up. The miss is a ratio: for
  // a target of 4.5, six ticks (a third too many) beat three (a third too few
  // of a smaller count).
  const double target = std::clamp(length / (kind == axis_kind::x ? 36 : 48), 3.0, 8.0);
  const int e0 = static_cast<int>(std::floor(std::log10(span)));
  std::optional<scale> best, fallback;
  double best_miss = std::numeric_limits<double>::infinity(), fallback_miss = best_miss;
  for (int e = e0 - 3; e <= e0 + 1; ++e) {
    for (const int m : {1, 2, 5}) {
      const double step = scaled(m, e);
      // A small tolerance keeps 0.6 / 0.2 = 2.9999999999999996 on tick 3,
      double n_lo = fixed_min ? std::ceil(a / step - 1e-9) : std::floor(a / step + 1e-9);
      double n_hi = fixed_max ? std::floor(b / step + 1e-9) : std::ceil(b / step - 1e-9);
      // but a free end must still hold all the data.
      if (!fixed_min && scaled(n_lo * m, e) > a) --n_lo;
      if (!fixed_max && scaled(n_hi * m, e) < b) ++n_hi;
      if (n_hi - n_lo > 100) continue;
      scale s;
      s.min = fixed_min ? a : scaled(n_lo * m, e);
      s.max = fixed_max ? b : scaled(n_hi * m, e);
      s.decimals = std::clamp(-e, 0, 20);
      for (double n = n_lo; n <= n_hi; ++n) {
        s.ticks.push_back(std::clamp(scaled(n * m, e), s.min, s.max));
      }
      const double gap = step / (s.max - s.min) * length;
      const double need = kind == axis_kind::x ? max_label_width(s) + 10 : label_size * 2.2;
      // Axis space beyond the data costs too, so that three ticks do not
      // win by stretching the axis to twice the data's span.
      const double miss = std::abs(std::log(static_cast<double>(s.ticks.size()) / target)) +
                          2 * std::log((s.max - s.min) / span);
      if (miss < fallback_miss) {
        fallback_miss = miss;
        fallback = s;
      }
      if (gap >= need && miss < best_miss) {
        best_miss = miss;
        best = std::move(s);
      }
    }
  }
  if (best) return *best;
  // An axis too short for any step: the best one, labelled at its ends only.
  if (!fallback) return {a, b, {}, 0};
  if (fallback->ticks.size() > 2)
    fallback->ticks = {fallback->ticks.front(), fallback->ticks.back()};
  return *fallback;
}

std::string tick_label(double v, int decimals) {
  std::string digits(420, '\0');
  const auto [end, ec] = std::to_chars(digits.data(), digits.data() + digits.size(), std::abs(v),
                                       std::chars_format::fixed, std::clamp(decimals, 0, 20));
  if (ec != std::errc{}) return "";
  digits.resize(static_cast<std::size_t>(end - digits.data()));
  const bool zero = digits.find_first_not_of("0.") == std::string::npos;
  return (v < 0 && !zero ? "\u2212" : "") + digits;
}

double text_width(std::string_view text, double size) {
  double em = 0;
  for (const char byte : text) {
    const auto c = static_cast<unsigned char>(byte);
    if (c >= 0x20 && c < 0x7F) {
      em += ascii_widths[c - 0x20] / 1000.0;
    } else if (c >= 0xC0) {
      em += 0.838;  // a code point beyond ASCII: as wide as the minus sign
    }               // continuation bytes and controls add nothing
  }
  return em * size;
}

std::string fit_text(std::string_view text, double size, double room) {
  if (text_width(text, size) <= room) return std::string(text);
  const double ellipsis = size;  // U+2026 is one em wide in DejaVu Sans
  std::size_t keep = 0;          // bytes of whole characters that fit
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = std::max<std::size_t>(utf8_length(text.substr(i)), 1);
    const std::size_t next = std::min(text.size(), i + n);
    if (keep > 0 && text_width(text.substr(0, next), size) + ellipsis > room) break;
    keep = next;
    i = next;
  }
  return std::string(text.substr(0, keep)) + "\u2026";
}

std::string escape_xml(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      switch (c) {
        case '&':
          out += "&amp;";
          break;
        case '<':
          out += "&lt;";
          break;
        case '>':
          out += "&gt;";
          break;
        case '"':
          out += "&quot;";
          break;
        case '\'':
          out += "&apos;";
          break;
        default:
          if (c >= 0x20 || c == '\t' || c == '\n' || c == '\r') out += static_cast<char>(c);
      }
      ++i;
      continue;
    }
    const std::size_t n = utf8_length(text.substr(i));
    // U+FFFE and U+FFFF are not XML characters either.
    const bool nonchar = n == 3 && c == 0xEF && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
                         static_cast<unsigned char>(text[i + 2]) >= 0xBE;
    if (n == 0 || nonchar) {
      out += "\uFFFD";
      i += std::max<std::size_t>(n, 1);
    } else {
      out.append(text.substr(i, n));
      i += n;
    }
  }
  return out;
}

std::vector<panel_frame> layout(const figure& fig) {
  std::vector<panel_frame> out;
  for (const auto& p : plan_figure(fig).panels) out.push_back(p.frame);
  return out;
}

std::string render_svg(const figure& fig) {
  const figure_plan plan = plan_figure(fig);
  const std::string w = num(plan.width), h = num(plan.height);
  std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + w + "\" height=\"" + h +
         "\" viewBox=\"0 0 " + w + ' ' + h + "\" font-family=\"sans-serif\" fill=\"" +
         std::string(ink) + "\">\n";
  if (!fig.title.empty()) out += "<title>" + escape_xml(fig.title) + "</title>\n";
  out += "<rect width=\"" + w + "\" height=\"" + h + "\" fill=\"#ffffff\"/>\n";
  if (!fig.title.empty()) {
    append_title(out, {plan.width / 2, margin + title_size}, title_size, plan.width - 2 * margin,
                 fig.title, " font-weight=\"bold\"");
  }
  for (std::size_t i = 0; i < plan.panels.size(); ++i) {
    append_panel(out, fig.panels[i], plan.panels[i]);
  }
  out += "</svg>\n";
  return out;
}

}  // namespace present
