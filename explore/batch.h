// Batches: JSON Lines in, one table out. Each line of the input is one
// JSON scenario with an "id"; the output has one row per scenario and
// selection ratio (CSV), or one JSON line per scenario, in input order.
//
// The run is a pipeline over three kinds of thread: one reads the input in
// large blocks and cuts it into chunks of whole lines, the workers analyse
// the chunks, and one writes the chunks' rows in input order. At most a
// fixed number of chunks exist at once (the reorder window), so memory
// stays the same whatever the size of the input.
#ifndef FOURFIFTHS_EXPLORE_BATCH_H_
#define FOURFIFTHS_EXPLORE_BATCH_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fourfifths/problem.h"
#include "present/names.h"
#include "present/scenario.h"
#include "present/table.h"

namespace explore {

using present::batch_format;

/// How the input is cut up. The defaults suit any input; tests shrink them
/// to make many chunks out of a few lines.
struct batch_limits {
  /// The most lines in a chunk.
  std::size_t chunk_lines = 128;
  /// A chunk is closed once it holds this many bytes.
  std::size_t chunk_bytes = std::size_t{1} << 20;
  /// A longer line is not kept: it gives an error row.
  std::size_t max_line_bytes = std::size_t{1} << 20;
  /// Chunks that may exist at once, per worker thread: read, being
  /// analysed, or waiting for their turn to be written.
  std::size_t window_per_thread = 4;
  /// A chunk's rows beyond this many bytes are handed to the writer as they
  /// are made, once the chunk's turn to be written has come, so that the
  /// rows of many ratios do not pile up (--grid with 100,000 of them).
  std::size_t rows_bytes = std::size_t{1} << 20;
};

struct batch_options {
  unsigned threads = 1;  ///< worker threads, at least 1
  batch_format format = batch_format::csv;
  fourfifths::method method = fourfifths::method::precise;
  /// Every scenario's rows at these ratios instead of the report's table.
  std::optional<std::vector<double>> ratios;
  bool header = true;  ///< the CSV header line first
  /// Every scenario in the layout of several minority groups (a "group"
  /// column; a scenario of one group as the group "minority"). Without it
  /// a scenario with "groups" gives an error row in CSV and its own layout
  /// in JSON Lines.
  bool groups = false;
  batch_limits limits;
  /// The progress line is redrawn at most this often.
  std::chrono::milliseconds progress_every{250};
};

/// A piece of the input: whole lines, numbered from `first_line` (1-based,
/// blank lines counted).
struct batch_chunk {
  std::uint64_t first_line = 1;
  /// The lines, each ending in a newline (one is added to a last line that
  /// has none). A line too long to keep is left empty here.
  std::string text;
  /// The positions in the chunk (0-based) of the lines too long to keep.
  std::vector<std::uint32_t> overlong;
  /// The bytes of input the chunk stands for, dropped ones included.
  std::uint64_t input_bytes = 0;
};

/// Cuts a stream of blocks into chunks of whole lines.
class line_splitter {
 public:
  explicit line_splitter(const batch_limits& limits) : limits_(limits) {}

  /// Takes the next block of input and appends to `ready` the chunks that
  /// filled up. With `short_read`, the block was all the input there was
  /// for now, and the whole lines gathered so far are closed into a chunk
  /// too, so that a slow producer's lines are not held back.
  void feed(std::string_view block, bool short_read, std::vector<batch_chunk>& ready);
  /// At the end of the input: the lines still held, the last one given its
  /// newline; nothing when there are none.
  std::optional<batch_chunk> finish();

 private:
  void close_chunk(std::vector<batch_chunk>& ready);
  void end_line();

  batch_limits limits_;
  batch_chunk current_;
  std::size_t lines_ = 0;            // whole lines in current_
  std::size_t line_start_ = 0;       // where the line being read starts in current_.text
  std::uint64_t pending_bytes_ = 0;  // bytes of the line being read, so far
  bool dropping_ = false;            // the line being read is too long and is not kept
};

/// What became of one line.
enum class line_outcome { blank, analysed, failed };

/// What a worker keeps from one line to the next, so that a line costs no
/// new memory: its reader's document and its writer's texts of targets.
struct line_context {
  present::scenario_reader reader;
  present::csv_writer csv;
};

/// Handles one line (without its newline; a carriage return before it is
/// ignored): appends its rows to `out`, or one error row naming the line's
/// id when it could be read, else "line N". Blank lines give nothing.
line_outcome batch_line(std::string_view line, std::uint64_t number, const batch_options& o,
                        std::string& out, line_context& context);
/// The same with a context of its own.
line_outcome batch_line(std::string_view line, std::uint64_t number, const batch_options& o,
                        std::string& out);

/// Counts of lines.
struct batch_counts {
  std::uint64_t analysed = 0;  ///< lines that gave a table
  std::uint64_t failed = 0;    ///< lines that gave an error row
  /// Lines whose handling threw: a fault of this program, not of the line
  /// (counted in `failed` too).
  std::uint64_t faults = 0;
  std::uint64_t input_bytes = 0;  ///< bytes of input, newlines included
};

/// Handles every line of a chunk, appending the rows to `out`. When `out`
/// holds `o.limits.rows_bytes` or more after a line and `hand_over` is
/// given, `hand_over(out)` takes the rows so far (and leaves `out` empty).
batch_counts batch_chunk_rows(const batch_chunk& chunk, const batch_options& o, std::string& out,
                              line_context& context,
                              const std::function<void(std::string&)>& hand_over = {});
batch_counts batch_chunk_rows(const batch_chunk& chunk, const batch_options& o, std::string& out);

/// How a whole run ended.
struct batch_result {
  batch_counts counts;
  int read_error = 0;   ///< errno of a failed read of the input, or 0
  int write_error = 0;  ///< errno of a failed write of the output, or 0
};

/// Runs a batch from the descriptor `in` to the descriptor `out`, with
/// `o.threads` workers. With `progress` at or above 0, a line of progress is
/// redrawn there a few times a second and cleared at the end. A failed read
/// stops the reading, and the lines already read are still written; a
/// failed write stops the run.
batch_result run_batch(int in, int out, const batch_options& o, int progress = -1);

}  // namespace explore

#endif  // FOURFIFTHS_EXPLORE_BATCH_H_
