// The deck, read one byte at a time: from a file descriptor, lazily, so that
// a deck typed at a terminal or arriving through a pipe that stays open is
// read only as far as its reads need; or from bytes in memory.
#ifndef FOURFIFTHS_RECORDIO_DECK_INPUT_H_
#define FOURFIFTHS_RECORDIO_DECK_INPUT_H_

#include <array>
#include <cstddef>
#include <string_view>

namespace recordio {

class deck_input {
 public:
  static constexpr int eof = -1;
  static constexpr int read_error = -2;

  /// Reads lazily from a file descriptor; a read interrupted by a signal
  /// is tried again.
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
  std::array<char, 4096> buffer_ = {};
};

}  // namespace recordio

#endif  // FOURFIFTHS_RECORDIO_DECK_INPUT_H_
