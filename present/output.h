// Files and streams of the explorer: "-" is standard input or output, a
// file is written whole or not at all.
#ifndef FOURFIFTHS_PRESENT_OUTPUT_H_
#define FOURFIFTHS_PRESENT_OUTPUT_H_

#include <optional>
#include <string>
#include <string_view>

namespace present {

/// The whole of a file, or of standard input for "-"; nothing and the
/// reason in `error` when it cannot be read.
std::optional<std::string> read_input(const std::string& path, std::string& error);

/// Writes `text` to standard output ("-" or empty) or to a file. A file is
/// written beside its destination and renamed over it once complete, so a
/// failed run leaves no half-written file. Returns false, with the reason
/// in `error`, when the text could not be written in full.
bool write_output(const std::string& path, std::string_view text, std::string& error);

/// Writes to a descriptor in full, going on after interruptions, with
/// write(2) alone (safe in a signal handler). Returns
/// 0 or the errno of the failed write.
int write_fully(int fd, std::string_view text);

}  // namespace present

#endif  // FOURFIFTHS_PRESENT_OUTPUT_H_
