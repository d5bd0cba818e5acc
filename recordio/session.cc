#include "recordio/session.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace recordio {

namespace {

session* active_session = nullptr;

}  // namespace

void text_buffer::grow(std::size_t n) {
  std::size_t capacity = capacity_ * 2;
  while (capacity - size_ < n) capacity *= 2;
  // Not value-initialised: only the characters already held are copied.
  std::unique_ptr<char[]> larger(new char[capacity]);
  std::copy(data_, data_ + size_, larger.get());
  heap_ = std::move(larger);
  data_ = heap_.get();
  capacity_ = capacity;
}

int deck_input::refill() {
  if (fd_ < 0) return eof;
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_, sizeof buffer_);
    if (n > 0) {
      data_ = buffer_;
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

void output_stream::write(std::string_view bytes) {
  buffer_.append(bytes);
  if (fd_ >= 0 && buffer_.view().size() >= spill_size) flush();
}

bool output_stream::flush() {
  if (fd_ < 0) return errno_ == 0;
  std::size_t done = 0;
  const std::string_view pending = buffer_.view();
  while (errno_ == 0 && done < pending.size()) {
    const ssize_t n = ::write(fd_, pending.data() + done, pending.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      errno_ = n < 0 ? errno : EIO;
    }
  }
  // Bytes that could not be written are dropped: once a write failed the
  // report is incomplete whatever follows, and the run says so.
  buffer_.clear();
  return errno_ == 0;
}

void output_stream::flush_from_signal() noexcept {
  if (fd_ < 0) return;
  const char* p = buffer_.view().data();
  std::size_t left = buffer_.view().size();
  while (left > 0) {
    const ssize_t n = ::write(fd_, p, left);
    if (n <= 0) return;
    p += n;
    left -= static_cast<std::size_t>(n);
  }
}

session::session() : deck_(0), report_(1), errors_(2), previous_(active_session) {
  active_session = this;
}

session::session(std::string_view deck) : deck_(deck), previous_(active_session) {
  active_session = this;
}

session::~session() { active_session = previous_; }

session* session::active() { return active_session; }

}  // namespace recordio
