// The run's three standard streams and the state that the diagnostics of a
// fatal end report: the deck (unit 5), the report (unit 6) and standard
// error (unit 0).
//
// A session either talks to file descriptors (the real program) or keeps
// everything in memory (tests, the fuzz target, the benchmarks), so that a
// whole run can be driven in-process.
#ifndef FOURFIFTHS_RECORDIO_SESSION_H_
#define FOURFIFTHS_RECORDIO_SESSION_H_

#include <cstddef>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace recordio {

/// The unit numbers that the fatal diagnostics show.
inline constexpr int unit_error = 0;
inline constexpr int unit_deck = 5;
inline constexpr int unit_report = 6;

/// Exit statuses of a run.
inline constexpr int status_normal = 0;
inline constexpr int status_interrupted = 1;
inline constexpr int status_failure = 2;

/// The deck, read one character at a time through a buffer.
class deck_input {
 public:
  static constexpr int eof = -1;
  static constexpr int read_error = -2;

  /// Reads lazily from a file descriptor.
  explicit deck_input(int fd) : fd_(fd) {}
  /// Reads the given bytes; the view must outlive the input.
  explicit deck_input(std::string_view bytes) : fd_(-1), data_(bytes.data()), size_(bytes.size()) {}

  /// The next byte (0..255), `eof`, or `read_error` (see `error_number`).
  int get() {
    if (pos_ < size_) return static_cast<unsigned char>(data_[pos_++]);
    return refill();
  }
  /// The errno of the last read error.
  int error_number() const { return errno_; }

 private:
  int refill();

  int fd_;
  const char* data_ = nullptr;
  std::size_t size_ = 0;
  std::size_t pos_ = 0;
  int errno_ = 0;
  char buffer_[4096] = {};
};

/// A character buffer that grows as needed, with characters added in place:
/// the record a write operation builds, and a stream's pending output.
class text_buffer {
 public:
  text_buffer() = default;
  text_buffer(const text_buffer&) = delete;
  text_buffer& operator=(const text_buffer&) = delete;

  /// Makes room for `n` more characters at the end; returns where they go.
  char* extend(std::size_t n) {
    if (n > capacity_ - size_) grow(n);
    char* at = data_ + size_;
    size_ += n;
    return at;
  }
  void append(std::string_view text) {
    if (!text.empty()) std::memcpy(extend(text.size()), text.data(), text.size());
  }
  void append(std::size_t n, char c) {
    char* at = extend(n);
    for (std::size_t i = 0; i < n; ++i) at[i] = c;
  }
  void clear() { size_ = 0; }
  std::string_view view() const { return {data_, size_}; }

 private:
  void grow(std::size_t n);

  std::unique_ptr<char[]> heap_;
  char local_[512] = {};
  char* data_ = local_;
  std::size_t size_ = 0;
  std::size_t capacity_ = sizeof local_;
};

/// A buffered output stream: the report, or standard error.
class output_stream {
 public:
  /// A buffer this full goes out before the run ends.
  static constexpr std::size_t spill_size = 1 << 16;

  /// Writes to a file descriptor when flushed (or when the buffer fills).
  explicit output_stream(int fd) : fd_(fd) {}
  /// Keeps everything in memory.
  output_stream() = default;

  void write(std::string_view bytes);
  /// Hands the buffered bytes to the descriptor. Returns false when a write
  /// failed now or earlier; `error_number` then holds its errno.
  bool flush();
  int error_number() const { return errno_; }
  /// In memory: everything written so far.
  std::string_view text() const { return buffer_.view(); }

  /// For the signal handlers: writes what is buffered with write(2) only.
  void flush_from_signal() noexcept;

 private:
  int fd_ = -1;
  text_buffer buffer_;
  int errno_ = 0;
};

/// What the last input/output operation was, for the fatal report.
struct last_operation {
  int unit = unit_deck;
  bool writing = false;
  std::string_view format = "list io";
};

/// The streams of one run.
class session {
 public:
  /// The real program: deck on fd 0, report on fd 1, diagnostics on fd 2.
  session();
  /// In memory: the deck is the given bytes (which must outlive the session).
  explicit session(std::string_view deck);
  ~session();
  session(const session&) = delete;
  session& operator=(const session&) = delete;

  deck_input& deck() { return deck_; }
  output_stream& report() { return report_; }
  output_stream& errors() { return errors_; }
  last_operation& last() { return last_; }
  /// The writer's buffer for the record being built; kept for the run so
  /// that a write operation does not allocate.
  text_buffer& record() { return record_; }

  /// The session that the subscript checks, the signal handlers and other
  /// deep failures report through; null outside a run.
  static session* active();

 private:
  deck_input deck_;
  output_stream report_;
  output_stream errors_;
  last_operation last_;
  text_buffer record_;
  session* previous_;
};

}  // namespace recordio

#endif  // FOURFIFTHS_RECORDIO_SESSION_H_
