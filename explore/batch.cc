#include "explore/batch.h"

#include <pthread.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "present/arguments.h"
#include "present/group_table.h"
#include "present/output.h"
#include "present/scenario.h"
#include "present/table.h"

namespace explore {

using present::append_csv_error;
using present::csv_header;
using present::error_json;
using present::form_of;
using present::id_rule;
using present::loaded_scenario;
using present::make_table;
using present::scenario_form;
using present::table;
using present::write_fully;

// --- Cutting the input into chunks ------------------------------------------

void line_splitter::feed(std::string_view block, bool short_read, std::vector<batch_chunk>& ready) {
  while (!block.empty()) {
    const void* newline = std::memchr(block.data(), '\n', block.size());
    const std::size_t length =
        newline == nullptr
            ? block.size()
            : static_cast<std::size_t>(static_cast<const char*>(newline) - block.data());
    pending_bytes_ += length;
    if (!dropping_) {
      if (current_.text.size() - line_start_ + length > limits_.max_line_bytes) {
        // Too long to keep: what was kept of it goes, the rest is skipped.
        current_.text.resize(line_start_);
        dropping_ = true;
      } else {
        current_.text.append(block.data(), length);
      }
    }
    if (newline == nullptr) break;
    block.remove_prefix(length + 1);
    ++pending_bytes_;
    end_line();
    if (lines_ >= limits_.chunk_lines || current_.text.size() >= limits_.chunk_bytes) {
      close_chunk(ready);
    }
  }
  if (short_read && lines_ > 0) close_chunk(ready);
}

std::optional<batch_chunk> line_splitter::finish() {
  if (pending_bytes_ > 0) end_line();  // a last line without its newline
  if (lines_ == 0) return std::nullopt;
  std::vector<batch_chunk> last;
  close_chunk(last);
  return std::move(last.front());
}

void line_splitter::end_line() {
  if (dropping_) current_.overlong.push_back(static_cast<std::uint32_t>(lines_));
  current_.text += '\n';
  current_.input_bytes += pending_bytes_;
  pending_bytes_ = 0;
  dropping_ = false;
  ++lines_;
  line_start_ = current_.text.size();
}

void line_splitter::close_chunk(std::vector<batch_chunk>& ready) {
  // The line being read, if any, starts the next chunk.
  batch_chunk next;
  next.first_line = current_.first_line + lines_;
  next.text.assign(current_.text, line_start_);
  current_.text.resize(line_start_);
  ready.push_back(std::move(current_));
  current_ = std::move(next);
  lines_ = 0;
  line_start_ = 0;
}

// --- One line ---------------------------------------------------------------

namespace {

void append_error(std::string& out, const std::string& id, const std::string& message,
                  const batch_options& o) {
  if (o.format == batch_format::csv) {
    if (o.groups) {
      present::append_group_csv_error(out, id, message);
    } else {
      append_csv_error(out, id, message);
    }
  } else {
    out += error_json(id, message);
  }
}

std::string line_name(std::uint64_t number) { return "line " + std::to_string(number); }

std::string joined(const std::vector<fourfifths::fault>& faults) {
  std::string out;
  for (const fourfifths::fault& f : faults) {
    if (!out.empty()) out += "; ";
    out += f.text();
  }
  return out;
}

// A scenario in the layout of several groups: one row per ratio and group.
line_outcome group_line(const loaded_scenario& s, const std::string& id, const batch_options& o,
                        std::string& out) {
  if (o.format == batch_format::csv && !o.groups) {
    append_error(out, id,
                 "several minority groups (\"groups\"): run the batch with --groups, which "
                 "gives every scenario a group column",
                 o);
    return line_outcome::failed;
  }
  if (const auto fault = present::method_fault(o.method, true)) {
    append_error(out, id, fault->message, o);
    return line_outcome::failed;
  }
  std::optional<fourfifths::group_problem> converted;
  if (!s.group_problem) {
    fourfifths::group_problem_result built = present::as_group_problem(*s.problem);
    if (!built.value) {
      append_error(out, id, joined(built.errors), o);
      return line_outcome::failed;
    }
    converted = std::move(built.value);
  }
  const present::group_table t =
      present::make_group_table(s.group_problem ? *s.group_problem : *converted, o.ratios);
  if (o.format == batch_format::csv) {
    present::append_group_csv(out, t, &id);
  } else {
    present::append_group_json_line(out, t, &id);
  }
  return line_outcome::analysed;
}

}  // namespace

line_outcome batch_line(std::string_view line, std::uint64_t number, const batch_options& o,
                        std::string& out) {
  line_context context;
  return batch_line(line, number, o, out, context);
}

line_outcome batch_line(std::string_view line, std::uint64_t number, const batch_options& o,
                        std::string& out, line_context& context) {
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  if (line.find_first_not_of(" \t\r") == std::string_view::npos) return line_outcome::blank;
  if (form_of(line) != scenario_form::json) {
    append_error(out, line_name(number), "not a JSON scenario: each line must be one JSON object",
                 o);
    return line_outcome::failed;
  }
  const loaded_scenario s =
      context.reader.read(line, id_rule::required, present::group_rule::accepted);
  const std::string id = s.id && !s.id->empty() ? *s.id : line_name(number);
  if (!s.errors.empty()) {
    append_error(out, id, joined(s.errors), o);
    return line_outcome::failed;
  }
  if (s.group_problem || o.groups) return group_line(s, id, o, out);
  const table t = make_table(*s.problem, o.method, o.ratios);
  if (o.format == batch_format::csv) {
    context.csv.append(out, t, &id);
  } else {
    present::append_json_line(out, t, &id);
  }
  return line_outcome::analysed;
}

batch_counts batch_chunk_rows(const batch_chunk& chunk, const batch_options& o, std::string& out) {
  line_context context;
  return batch_chunk_rows(chunk, o, out, context);
}

batch_counts batch_chunk_rows(const batch_chunk& chunk, const batch_options& o, std::string& out,
                              line_context& context,
                              const std::function<void(std::string&)>& hand_over) {
  batch_counts counts;
  counts.input_bytes = chunk.input_bytes;
  const std::string_view text = chunk.text;
  std::size_t position = 0;
  std::size_t next_overlong = 0;
  for (std::uint32_t index = 0; position < text.size(); ++index) {
    std::size_t end = text.find('\n', position);
    if (end == std::string_view::npos) end = text.size();
    const std::uint64_t number = chunk.first_line + index;
    if (next_overlong < chunk.overlong.size() && chunk.overlong[next_overlong] == index) {
      ++next_overlong;
      append_error(out, line_name(number),
                   "line longer than " + std::to_string(o.limits.max_line_bytes) + " bytes", o);
      ++counts.failed;
    } else {
      // A fault of ours in one line should not cost the rest of the run its
      // rows: the line gets an error row and the fault is counted.
      try {
        switch (batch_line(text.substr(position, end - position), number, o, out, context)) {
          case line_outcome::blank:
            break;
          case line_outcome::analysed:
            ++counts.analysed;
            break;
          case line_outcome::failed:
            ++counts.failed;
            break;
        }
      } catch (const std::exception& e) {
        append_error(out, line_name(number), std::string("internal fault: ") + e.what(), o);
        ++counts.failed;
        ++counts.faults;
      }
    }
    position = end + 1;
    if (hand_over && out.size() >= o.limits.rows_bytes) hand_over(out);
  }
  return counts;
}

// --- The whole run ----------------------------------------------------------

namespace {

using clock_type = std::chrono::steady_clock;

std::size_t worker_count(const batch_options& o) { return std::max(1U, o.threads); }

// The progress line: scenarios done, their rate, and the time left when the
// size of the input is known.
class progress_meter {
 public:
  progress_meter(int fd, int in, std::chrono::milliseconds every)
      : fd_(fd), every_(every), start_(clock_type::now()), last_(start_) {
    struct stat st {};
    if (fd_ >= 0 && ::fstat(in, &st) == 0 && S_ISREG(st.st_mode)) {
      const off_t at = ::lseek(in, 0, SEEK_CUR);
      total_bytes_ = static_cast<std::uint64_t>(st.st_size - (at > 0 ? at : 0));
    }
  }

  void update(const batch_counts& done) {
    if (fd_ < 0) return;
    const clock_type::time_point now = clock_type::now();
    if (now - last_ < every_) return;
    last_ = now;
    drawn_ = true;
    const double seconds = std::chrono::duration<double>(now - start_).count();
    const std::uint64_t scenarios = done.analysed + done.failed;
    char line[160];
    int n = std::snprintf(line, sizeof line, "\rbatch: %llu scenarios, %.0f/s",
                          static_cast<unsigned long long>(scenarios),
                          seconds > 0 ? static_cast<double>(scenarios) / seconds : 0.0);
    if (total_bytes_ > 0 && done.input_bytes > 0 && done.input_bytes <= total_bytes_) {
      const double left = seconds * static_cast<double>(total_bytes_ - done.input_bytes) /
                          static_cast<double>(done.input_bytes);
      const long long whole = std::llround(left);
      n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n),
                         ", %lld:%02lld:%02lld left", whole / 3600, whole / 60 % 60, whole % 60);
    }
    n += std::snprintf(line + n, sizeof line - static_cast<std::size_t>(n), "\033[K");
    (void)write_fully(fd_, std::string_view(line, static_cast<std::size_t>(n)));
  }

  void clear() {
    if (drawn_) (void)write_fully(fd_, "\r\033[K");
  }

 private:
  int fd_;
  std::chrono::milliseconds every_;
  clock_type::time_point start_;
  clock_type::time_point last_;
  std::uint64_t total_bytes_ = 0;
  bool drawn_ = false;
};

// The chunks in flight. The reader issues chunks in order, numbering them;
// the workers take them from the queue in that order and put their rows in
// the window slot of their number; the writer writes the slots in order.
// A chunk is issued only when its slot is free, that is when it is fewer
// than the window's size ahead of the writer.
class pipeline {
 public:
  pipeline(int out, const batch_options& o, int progress, int in)
      : out_(out),
        options_(o),
        window_(std::max<std::size_t>(1, worker_count(o) * o.limits.window_per_thread)),
        meter_(progress, in, o.progress_every) {}

  // The reader's side: false once the run has stopped.
  bool issue(batch_chunk chunk) {
    std::unique_lock lock(mutex_);
    space_.wait(lock, [&] { return stopped_ || issued_ - written_ < window_.size(); });
    if (stopped_) return false;
    window_[issued_ % window_.size()].done = false;
    queue_.emplace_back(issued_, std::move(chunk));
    ++issued_;
    work_.notify_one();
    return true;
  }

  void close_input() {
    const std::lock_guard lock(mutex_);
    input_done_ = true;
    work_.notify_all();
    rows_.notify_all();
  }

  void work() {
    line_context context;
    for (;;) {
      std::uint64_t number = 0;
      batch_chunk chunk;
      {
        std::unique_lock lock(mutex_);
        work_.wait(lock, [&] { return stopped_ || input_done_ || !queue_.empty(); });
        if (stopped_ || queue_.empty()) return;
        number = queue_.front().first;
        chunk = std::move(queue_.front().second);
        queue_.pop_front();
      }
      std::string rows = spare();
      const batch_counts counts = batch_chunk_rows(
          chunk, options_, rows, context, [&](std::string& so_far) { hand_over(number, so_far); });
      chunk = batch_chunk();  // its memory goes before the rows wait for their turn
      const std::lock_guard lock(mutex_);
      slot& s = window_[number % window_.size()];
      s.rows = std::move(rows);
      s.counts = counts;
      s.done = true;
      if (number == written_) rows_.notify_one();
    }
  }

  // A chunk's rows so far, given to the writer once it is the chunk's turn
  // and the writer has taken the rows given before: a worker holds at most
  // one piece while the writer writes another.
  void hand_over(std::uint64_t number, std::string& rows) {
    std::unique_lock lock(mutex_);
    slot& s = window_[number % window_.size()];
    turn_.wait(lock, [&] { return stopped_ || (written_ == number && s.pieces.empty()); });
    if (stopped_) {
      rows.clear();
      return;
    }
    s.pieces.push_back(std::move(rows));
    rows_.notify_one();
    if (!spares_.empty()) {
      rows = std::move(spares_.back());
      spares_.pop_back();
    } else {
      rows = std::string();
    }
  }

  void write() {
    for (;;) {
      std::string rows;
      batch_counts counts;
      bool piece = false;
      {
        std::unique_lock lock(mutex_);
        rows_.wait(lock, [&] {
          const slot& s = window_[written_ % window_.size()];
          return stopped_ || s.done || !s.pieces.empty() || (input_done_ && written_ == issued_);
        });
        slot& s = window_[written_ % window_.size()];
        if (stopped_ || (!s.done && s.pieces.empty())) break;
        // The pieces handed over come before the rest of the chunk's rows.
        piece = !s.pieces.empty();
        if (piece) {
          rows = std::move(s.pieces.front());
          s.pieces.pop_front();
          turn_.notify_all();
        } else {
          rows = std::move(s.rows);
          s.rows = std::string();
          counts = s.counts;
          s.done = false;
        }
      }
      if (const int e = write_fully(out_, rows); e != 0) {
        stop(e);
        break;
      }
      keep(std::move(rows));
      if (piece) continue;
      total_.analysed += counts.analysed;
      total_.failed += counts.failed;
      total_.faults += counts.faults;
      total_.input_bytes += counts.input_bytes;
      meter_.update(total_);
      const std::lock_guard lock(mutex_);
      ++written_;
      space_.notify_one();
      turn_.notify_all();
    }
    meter_.clear();
    const std::lock_guard lock(mutex_);
    writer_done_ = true;
    rows_.notify_all();
  }

  // An interruption: nothing more is read, analysed or written; the rows
  // being written are written whole.
  void interrupt() { stop(0); }

  // Whether the writer has ended, waiting up to `wait` for it.
  bool writer_done(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex_);
    return rows_.wait_for(lock, wait, [&] { return writer_done_; });
  }

  void stop(int write_error) {
    const std::lock_guard lock(mutex_);
    write_error_ = write_error;
    stopped_ = true;
    work_.notify_all();
    rows_.notify_all();
    space_.notify_all();
    turn_.notify_all();
  }

  const batch_counts& total() const { return total_; }

  // The buffers of rows are used again, so that a chunk's rows are written
  // into memory already there instead of a string that grows, page by
  // page, each time. There are never more of them than chunks in flight.
  std::string spare() {
    const std::lock_guard lock(mutex_);
    if (spares_.empty()) return {};
    std::string s = std::move(spares_.back());
    spares_.pop_back();
    return s;
  }

  void keep(std::string rows) {
    // A buffer grown by a scenario with very many ratios is let go.
    constexpr std::size_t most_kept = std::size_t{4} << 20;
    if (rows.capacity() > most_kept) return;
    rows.clear();
    const std::lock_guard lock(mutex_);
    spares_.push_back(std::move(rows));
  }
  int write_error() const { return write_error_; }

 private:
  struct slot {
    bool done = false;
    std::deque<std::string> pieces;  // rows handed over before the chunk was done
    std::string rows;
    batch_counts counts;
  };

  int out_;
  const batch_options& options_;
  std::mutex mutex_;
  std::condition_variable work_;   // workers: a chunk queued, or the end
  std::condition_variable rows_;   // the writer: the next chunk's rows, or the end
  std::condition_variable space_;  // the reader: a free slot
  std::condition_variable turn_;   // workers with rows to hand over: their chunk's turn
  std::deque<std::pair<std::uint64_t, batch_chunk>> queue_;
  std::vector<slot> window_;
  std::vector<std::string> spares_;
  std::uint64_t issued_ = 0;
  std::uint64_t written_ = 0;
  bool input_done_ = false;
  bool stopped_ = false;
  bool writer_done_ = false;
  int write_error_ = 0;
  batch_counts total_;  // the writer's alone
  progress_meter meter_;
};

// SIGINT, SIGTERM and SIGHUP end a run between two writes of rows, so that
// the output is whole rows, as the classic program's report is whole
// lines: while the run lasts, every thread blocks them, and one thread waits
// for them. On one, it stops the pipeline, lets the writer finish the rows
// it is writing (a second signal does not wait), and ends the process by the
// same signal, as it would have ended. A signal that was ignored when the
// run began (nohup) stays ignored.
class interruptions {
 public:
  explicit interruptions(pipeline& p) : pipeline_(p) {
    sigemptyset(&signals_);
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
      struct sigaction current {};
      if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler != SIG_IGN) {
        sigaddset(&signals_, sig);
        wake_ = sig;
      }
    }
    if (wake_ == 0) return;
    ::pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
    waiter_ = std::thread([this] { wait(); });
  }

  interruptions(const interruptions&) = delete;
  interruptions& operator=(const interruptions&) = delete;

  // The run is over: the waiting thread is woken by one of its signals,
  // which it then knows for its own, and the signals are let through again
  // (one that came meanwhile is delivered then).
  ~interruptions() {
    if (wake_ == 0) return;
    finished_.store(true);
    ::pthread_kill(waiter_.native_handle(), wake_);
    waiter_.join();
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
  }

 private:
  void wait() {
    int sig = 0;
    if (::sigwait(&signals_, &sig) != 0 || finished_.load()) return;
    pipeline_.interrupt();
    const timespec tick{0, 50'000'000};
    while (!pipeline_.writer_done(std::chrono::milliseconds(50))) {
      if (::sigtimedwait(&signals_, nullptr, &tick) > 0) break;  // a second signal
    }
    ::signal(sig, SIG_DFL);
    sigset_t just{};
    sigemptyset(&just);
    sigaddset(&just, sig);
    ::pthread_sigmask(SIG_UNBLOCK, &just, nullptr);
    ::raise(sig);
  }

  pipeline& pipeline_;
  sigset_t signals_{};
  sigset_t previous_{};
  int wake_ = 0;  // one of the signals; 0 when none is watched
  std::atomic<bool> finished_{false};
  std::thread waiter_;
};

// Reads the input and issues its chunks; the errno of a failed read, or 0.
int read_all(int in, pipeline& p, const batch_limits& limits) {
  constexpr std::size_t block_size = std::size_t{1} << 20;
  const std::unique_ptr<char[]> block(new char[block_size]);
  line_splitter splitter(limits);
  std::vector<batch_chunk> ready;
  for (;;) {
    const ssize_t n = ::read(in, block.get(), block_size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) break;
    const auto got = static_cast<std::size_t>(n);
    splitter.feed(std::string_view(block.get(), got), got < block_size, ready);
    for (batch_chunk& chunk : ready) {
      if (!p.issue(std::move(chunk))) return 0;
    }
    ready.clear();
  }
  if (std::optional<batch_chunk> last = splitter.finish()) (void)p.issue(std::move(*last));
  return 0;
}

}  // namespace

batch_result run_batch(int in, int out, const batch_options& o, int progress) {
  batch_result result;
  if (o.header && o.format == batch_format::csv) {
    result.write_error =
        write_fully(out, o.groups ? present::group_csv_header(true) : csv_header(true));
    if (result.write_error != 0) return result;
  }
  pipeline p(out, o, progress, in);
  const interruptions watch(p);
  std::vector<std::thread> workers;
  const std::size_t threads = worker_count(o);
  workers.reserve(threads);
  for (std::size_t i = 0; i < threads; ++i) workers.emplace_back([&p] { p.work(); });
  std::thread writer([&p] { p.write(); });
  result.read_error = read_all(in, p, o.limits);
  p.close_input();
  for (std::thread& t : workers) t.join();
  writer.join();
  result.counts = p.total();
  result.write_error = p.write_error();
  return result;
}

}  // namespace explore
