// Charts for papers, written as self-contained SVG: one or more panels of
// line and point series, each panel with a title, axis titles, 1-2-5 tick
// marks, a legend, light reference lines, labelled marker points and a note.
//
// The caller describes the figure with plain values and `render_svg` turns
// it into one SVG document: same figure, same bytes. Nothing is read from or
// written to any stream, and nothing depends on the installed fonts beyond
// the generic `sans-serif` family.
#ifndef FOURFIFTHS_PRESENT_CHART_H_
#define FOURFIFTHS_PRESENT_CHART_H_

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace present {

/// The Okabe-Ito palette (M. Okabe and K. Ito, "Color Universal Design",
/// 2008), told apart by readers with any common colour-vision deficiency.
/// Ordered so that the first colours differ most on white paper; yellow,
/// faint on white, comes last. Series and markers refer to it by index.
inline constexpr std::array<std::string_view, 8> palette = {
    "#0072B2",  // 0 blue
    "#D55E00",  // 1 vermillion
    "#009E73",  // 2 bluish green
    "#CC79A7",  // 3 reddish purple
    "#E69F00",  // 4 orange
    "#56B4E9",  // 5 sky blue
    "#000000",  // 6 black
    "#F0E442",  // 7 yellow
};

/// How a series is drawn.
enum class mark { line, points, line_and_points };
/// The stroke pattern of a line; with the colour it tells series apart in
/// greyscale too.
enum class dash { solid, dashed, dotted, dash_dot };
/// The shape of a point.
enum class shape { circle, square, triangle, diamond };

// Every member has an initializer, so that designated initializers may
// leave any of them out under -Wextra.

/// One data series. Points are joined in the order given; a point with a
/// non-finite coordinate is skipped and leaves a gap in the line. When `x`
/// and `y` differ in length the extra values are ignored.
struct series {
  std::string label{};  ///< legend text; an empty label keeps the series out of the legend
  std::vector<double> x{}, y{};
  mark style = mark::line;
  std::optional<int> colour{};    ///< palette index; by default the series' place in its panel
  std::optional<dash> pattern{};  ///< by default the series' place in its panel
  shape point = shape::circle;    ///< for `points` and `line_and_points`
};

/// A thin grey line across the plot area at a fixed value, e.g. the
/// four-fifths line at an impact ratio of 0.8.
struct reference_line {
  enum class orientation { horizontal, vertical };
  orientation dir = orientation::horizontal;
  double value = 0;     ///< y for a horizontal line, x for a vertical one
  std::string label{};  ///< written beside the line; may be empty
};

/// A single labelled point drawn above the data, e.g. a set of weights.
struct marker {
  double x = 0, y = 0;
  std::string label{};
  shape form = shape::circle;
  int colour = 6;  ///< palette index (black)
};

/// An axis: its title and, optionally, fixed ends. A missing end follows the
/// data, extended to the next tick mark.
struct axis {
  std::string title{};
  std::optional<double> min{}, max{};
  /// An axis of categories: ticks at 1, 2, ..., n labelled with these
  /// words instead of numbers (give min and max, 0 and n + 1 say; by
  /// default half a unit beyond the ends). Along y the first category is
  /// at the top, as a table lists rows. A word too long for its room is cut
  /// with an ellipsis; every word is also given whole in an SVG <title>,
  /// which a browser shows on hovering. Along y, words that would crowd
  /// each other are left out, every second or third, rather than overlap.
  std::vector<std::string> categories{};
  /// The widest a category's word may be, in pixels; 0: a third of the
  /// panel's width along y, the room between two ticks along x.
  double label_room = 0;
};

/// One plot area with its title, axes, data and legend.
struct panel {
  std::string title{};
  axis x{}, y{};
  std::vector<series> lines{};
  std::vector<reference_line> references{};
  std::vector<marker> markers{};
  /// A short remark set inside the plot area where it covers no data, for
  /// what the data cannot show (e.g. "no four-fifths minimum"); may be empty.
  std::string note{};
  bool legend = true;
};

/// A whole picture: panels laid out in a grid of `columns` columns, row by
/// row, under one overall title. Sizes are in pixels (SVG user units).
struct figure {
  int width = 800, height = 500;
  std::string title{};
  int columns = 1;
  std::vector<panel> panels{};
};

/// The SVG document of the figure, with a white background, a viewBox and
/// only the generic font family `sans-serif`.
std::string render_svg(const figure& fig);

// ---------------------------------------------------------------------------
// The pieces below are what the renderer decides; they are public so that
// tests and callers can see where data land.

/// The range shown on one axis and its tick marks.
struct scale {
  double min = 0, max = 1;
  std::vector<double> ticks{};  ///< increasing, all within [min, max]
  int decimals = 0;             ///< digits after the point in every tick label
  /// The ticks' labels when they are words (an axis of categories), one
  /// per tick; empty when the labels are the ticks' values.
  std::vector<std::string> labels{};
  /// Words wider than this are cut with an ellipsis (0: no limit).
  double label_room = 0;
  /// Draw only every `label_every`-th word (1: every one).
  std::size_t label_every = 1;
  /// Values grow downwards (an axis of categories along y).
  bool downward = false;
};

/// Which axis a scale is for: labels along x need room for their width,
/// labels along y only for their height.
enum class axis_kind { x, y };

/// The range and ticks of an axis `length` pixels long, for data spanning
/// [lo, hi], with tick labels of `label_size` pixels. The ticks are the
/// multiples of one step, 1, 2 or 5 times a power of ten, that fall in the
/// range. Of the steps whose labels do not crowd each other, the one wins
/// whose tick count is nearest (as a ratio) to one tick per 36 pixels along
/// x or 48 along y, 3 to 8 ticks, with a charge for axis beyond the data.
/// An end given in `fixed_min` or `fixed_max` is kept; a free end moves out
/// to the next multiple of the step. Non-finite `lo`/`hi` (no data) give 0
/// to 1; a single value is widened around it. On an axis too short for any
/// step only the first and last ticks are kept.
scale choose_scale(double lo, double hi, std::optional<double> fixed_min,
                   std::optional<double> fixed_max, double length, double label_size,
                   axis_kind kind);

/// The label of tick value `v` with `decimals` digits after the point, a
/// true minus sign (U+2212) for negative values and never a negative zero.
std::string tick_label(double v, int decimals);

/// An estimate of the width in pixels of `text` set in a sans-serif font of
/// `size` pixels, from the advance widths of DejaVu Sans (what Debian's
/// renderers pick for `sans-serif`; wider than Helvetica or Arial, so the
/// estimate errs on the wide side elsewhere). Within 1.5% of librsvg's
/// rendering for the labels of the sample figures.
double text_width(std::string_view text, double size);

/// `text` cut to at most `room` pixels at `size` (by `text_width`), whole
/// UTF-8 characters dropped from its end and an ellipsis (U+2026) put in
/// their place; `text` itself when it fits. Never empty when `text` is not:
/// at least one character and the ellipsis are kept.
std::string fit_text(std::string_view text, double size, double room);

/// `text` made safe for XML character data and attribute values: the five
/// markup characters become entities, control characters that XML 1.0
/// forbids are dropped and bytes that are not UTF-8 become U+FFFD.
std::string escape_xml(std::string_view text);

/// A rectangle in pixels, y downwards.
struct rect {
  double x = 0, y = 0, width = 0, height = 0;
};

/// Where one panel was put: its plot area, the data ranges on its axes and
/// its legend box (empty without a legend).
struct panel_frame {
  rect plot{};
  scale x{}, y{};
  rect legend{};
  bool legend_outside = false;  ///< below the plot area, for want of an empty corner
  rect note{};                  ///< the box of the panel's note (empty without one)
};

/// The frame of every panel of `fig`, in order, as `render_svg` draws them.
std::vector<panel_frame> layout(const figure& fig);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_CHART_H_
