#include "present/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace present {

std::optional<std::string> read_input(const std::string& path, std::string& error) {
  const bool standard = path == "-";
  const int fd = standard ? 0 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  std::string text;
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
    } else if (n == 0) {
      break;
    } else if (errno != EINTR) {
      error = std::strerror(errno);
      if (!standard) ::close(fd);
      return std::nullopt;
    }
  }
  if (!standard) ::close(fd);
  return text;
}

int write_fully(int fd, std::string_view text) {
  while (!text.empty()) {
    const ssize_t n = ::write(fd, text.data(), text.size());
    if (n > 0) {
      text.remove_prefix(static_cast<std::size_t>(n));
    } else if (n < 0 && errno == EINTR) {
      continue;
    } else {
      return n < 0 ? errno : EIO;
    }
  }
  return 0;
}

bool write_output(const std::string& path, std::string_view text, std::string& error) {
  if (path.empty() || path == "-") {
    const int e = write_fully(1, text);
    if (e != 0) error = std::strerror(e);
    return e == 0;
  }
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) {
    error = std::strerror(errno);
    return false;
  }
  int e = write_fully(fd, text);
  if (e == 0 && ::fsync(fd) != 0) e = errno;
  if (::close(fd) != 0 && e == 0) e = errno;
  // mkstemp makes the file private; give it the usual permissions.
  if (e == 0 && ::chmod(
                    temporary.c_str(), 0644 & ~[] {
                      const mode_t mask = ::umask(0);
                      ::umask(mask);
                      return mask;
                    }()) != 0) {
    e = errno;
  }
  if (e == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) e = errno;
  if (e != 0) {
    ::unlink(temporary.c_str());
    error = std::strerror(e);
    return false;
  }
  return true;
}

}  // namespace present
