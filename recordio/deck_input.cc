#include "recordio/deck_input.h"

#include <unistd.h>

#include <cerrno>

namespace recordio {

int deck_input::refill() {
  if (fd_ < 0) return eof;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.data(), buffer_.size());
    if (n > 0) {
      data_ = buffer_.data();
      size_ = static_cast<std::size_t>(n);
      pos_ = 1;
      return static_cast<unsigned char>(buffer_[0]);
    }
    if (n == 0) return eof;
    if (errno == EINTR) continue;
    errno_ = errno;
    return read_error;
  }
}

}  // namespace recordio
