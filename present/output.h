// Files and streams of the faces: "-" is standard input or output; a file
// is written whole or not at all, and several outputs of one command are
// written all or none.
#ifndef FOURFIFTHS_PRESENT_OUTPUT_H_
#define FOURFIFTHS_PRESENT_OUTPUT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace present {

/// The whole of a file, or of standard input for "-"; nothing and the
/// reason in `error` when it cannot be read. Reading stops once the text
/// is longer than `most_bytes` (a reader that refuses longer texts then
/// sees one byte more than it takes, and /dev/zero ends).
std::optional<std::string> read_input(const std::string& path, std::string& error,
                                      std::size_t most_bytes = SIZE_MAX);

/// One output of a command: where ("-" or empty for standard output) and
/// what.
struct output {
  std::string path;
  std::string_view text;
};

/// Why outputs could not be written: the output that failed ("-" for
/// standard output) and the reason, as strerror gives it or in words.
struct output_failure {
  std::string path;
  std::string reason;
};

/// Writes `text` to standard output ("-" or empty) or to the file `path`:
///   - a regular file, or a name that does not exist yet, is written
///     beside it and renamed over it once complete and flushed to disk, so
///     a failed run leaves the old file as it was and no temporary file
///     behind; an existing file keeps its mode (and, where the process may,
///     its owner), a new one gets 0666 less the umask;
///   - a symbolic link is followed: its target is what is written;
///   - a regular file with other hard links is rewritten in place, so that
///     every name still shows the same file, once the same bytes have been
///     written in full beside it (a write that cannot succeed fails before
///     the file is touched);
///   - a device, a FIFO or another file that is not regular is written in
///     place (it cannot be replaced: -o /dev/null stays the device);
///   - a directory is refused.
std::optional<output_failure> write_output(const std::string& path, std::string_view text);

/// Writes several outputs all or none: every file is prepared beside its
/// destination first, and only when all are complete are they put in
/// place, standard output last. Two outputs to one place (the same name,
/// standard output twice, or two names of one file) are refused before
/// anything is written.
std::optional<output_failure> write_outputs(std::span<const output> outputs);

/// An output written as it is made, with write_output's guarantees:
/// standard output is written at once; a regular file, or a name that does
/// not exist yet, is written beside it and put in place by commit() alone,
/// so that a run that fails (or never commits) leaves the old file as it
/// was and no temporary file behind. A device, a FIFO, or a file with other
/// names is held and written whole by commit().
class output_stream {
 public:
  explicit output_stream(std::string path);
  ~output_stream();
  output_stream(const output_stream&) = delete;
  output_stream& operator=(const output_stream&) = delete;

  /// Appends `text`; false once the output has failed (failure() says why).
  bool write(std::string_view text);
  /// Puts the output in place: nothing, or why it failed.
  std::optional<output_failure> commit();
  const std::optional<output_failure>& failure() const { return failure_; }

 private:
  void fail(int error);
  std::string path_;
  int fd_ = -1;              // standard output, or the file beside the destination
  std::string destination_;  // the file the temporary file replaces
  std::string temporary_;
  bool exists_ = false;
  unsigned mode_ = 0, uid_ = 0, gid_ = 0;
  bool held_ = false;  // written whole by commit()
  std::string text_;   // what is held
  std::optional<output_failure> failure_;
};

/// Writes to a descriptor in full, going on after interruptions, with
/// write(2) alone (safe in a signal handler). Returns 0 or the errno of
/// the failed write.
int write_fully(int fd, std::string_view text);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_OUTPUT_H_
