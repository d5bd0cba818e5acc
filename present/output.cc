#include "present/output.h"

#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

namespace present {

std::optional<std::string> read_input(const std::string& path, std::string& error,
                                      std::size_t most_bytes) {
  const bool standard = path == "-";
  const int fd = standard ? 0 : ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    error = std::strerror(errno);
    return std::nullopt;
  }
  std::string text;
  // A file's size known beforehand, its text is made at once, not grown.
  if (struct stat st {}; !standard && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) &&
                         st.st_size > 0 && static_cast<std::size_t>(st.st_size) <= most_bytes) {
    text.reserve(static_cast<std::size_t>(st.st_size));
  }
  char buffer[1 << 16];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n > 0) {
      text.append(buffer, static_cast<std::size_t>(n));
      if (text.size() > most_bytes) break;
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

namespace {

bool is_standard(const std::string& path) { return path.empty() || path == "-"; }

// How an output reaches its place.
enum class way {
  standard_output,
  replace,   // a regular file or a new name: renamed over
  rewrite,   // a regular file with other names: proved in a file beside, then rewritten
  in_place,  // a device, a FIFO: written
};

// An output resolved: where its bytes go and how.
struct target {
  const output* out = nullptr;
  way how = way::standard_output;
  std::string destination;  // the file itself: a symbolic link's target
  bool exists = false;
  struct stat status {};
  std::string temporary;  // way::replace, once prepared
};

output_failure failure(const std::string& path, int error) {
  return {is_standard(path) ? "-" : path, std::strerror(error)};
}

// The file a name stands for: the name itself, or the end of its chain of
// symbolic links (which may not exist yet: a link to a new file).
std::optional<output_failure> resolve(const output& o, target& t) {
  t.out = &o;
  if (is_standard(o.path)) {
    t.how = way::standard_output;
    return std::nullopt;
  }
  t.destination = o.path;
  for (int hops = 0;; ++hops) {
    struct stat link {};
    if (::lstat(t.destination.c_str(), &link) != 0) {
      if (errno != ENOENT) return failure(o.path, errno);
      break;  // a new file
    }
    if (!S_ISLNK(link.st_mode)) break;
    if (hops == 40) return failure(o.path, ELOOP);
    std::string to(PATH_MAX, '\0');
    const ssize_t n = ::readlink(t.destination.c_str(), to.data(), to.size());
    if (n < 0) return failure(o.path, errno);
    to.resize(static_cast<std::size_t>(n));
    if (to.front() != '/') {
      const std::size_t slash = t.destination.rfind('/');
      if (slash != std::string::npos) to.insert(0, t.destination, 0, slash + 1);
    }
    t.destination = std::move(to);
  }
  t.exists = ::stat(t.destination.c_str(), &t.status) == 0;
  if (t.exists && S_ISDIR(t.status.st_mode)) return output_failure{o.path, std::strerror(EISDIR)};
  // A new name, or a regular file with no other name, is replaced whole.
  t.how = way::replace;
  if (t.exists && !S_ISREG(t.status.st_mode)) t.how = way::in_place;
  if (t.exists && S_ISREG(t.status.st_mode) && t.status.st_nlink > 1) t.how = way::rewrite;
  return std::nullopt;
}

mode_t new_file_mode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Writes the text into a new file beside the destination, complete and on
// disk, with the mode the destination has or a new file gets.
std::optional<output_failure> prepare(target& t) {
  const std::size_t slash = t.destination.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "" : t.destination.substr(0, slash + 1);
  const std::string name = t.destination.substr(slash == std::string::npos ? 0 : slash + 1);
  std::string temporary = directory + "." + name + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return failure(t.out->path, errno);
  int e = write_fully(fd, t.out->text);
  if (e == 0 && ::fsync(fd) != 0) e = errno;
  if (e == 0) {
    const mode_t mode = t.exists ? (t.status.st_mode & 07777) : new_file_mode();
    if (::fchmod(fd, mode) != 0) e = errno;
    // The owner goes with the file where the process may give it; where it
    // may not, the file is the writer's, as any new file would be.
    if (e == 0 && t.exists) (void)!::fchown(fd, t.status.st_uid, t.status.st_gid);
  }
  if (::close(fd) != 0 && e == 0) e = errno;
  if (e != 0) {
    ::unlink(temporary.c_str());
    return failure(t.out->path, e);
  }
  t.temporary = std::move(temporary);
  return std::nullopt;
}

std::optional<output_failure> write_in_place(const target& t) {
  // A FIFO blocks here until it has a reader, as writing to it would.
  const int fd = ::open(t.destination.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return failure(t.out->path, errno);
  int e = write_fully(fd, t.out->text);
  if (::close(fd) != 0 && e == 0) e = errno;
  if (e != 0) return failure(t.out->path, e);
  return std::nullopt;
}

void discard(std::vector<target>& targets) {
  for (target& t : targets) {
    if (!t.temporary.empty()) ::unlink(t.temporary.c_str());
    t.temporary.clear();
  }
}

}  // namespace

std::optional<output_failure> write_outputs(std::span<const output> outputs) {
  std::vector<target> targets(outputs.size());
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    if (auto f = resolve(outputs[i], targets[i])) return f;
  }
  // Two outputs to one place would leave only the last.
  for (std::size_t i = 0; i < targets.size(); ++i) {
    for (std::size_t j = 0; j < i; ++j) {
      const target& a = targets[i];
      const target& b = targets[j];
      const bool both_standard = a.how == way::standard_output && b.how == way::standard_output;
      const bool same_name = !a.destination.empty() && a.destination == b.destination;
      const bool same_file = a.exists && b.exists && a.status.st_dev == b.status.st_dev &&
                             a.status.st_ino == b.status.st_ino;
      if (both_standard || same_name || same_file) {
        return output_failure{a.out->path.empty() ? "-" : a.out->path,
                              "the same place as another output of this command"};
      }
    }
  }
  // A file that is rewritten in place is written beside it first too: the
  // same bytes under the same limits, so that a write that cannot succeed
  // fails before the file is touched.
  for (target& t : targets) {
    if (t.how != way::replace && t.how != way::rewrite) continue;
    if (auto f = prepare(t)) {
      discard(targets);
      return f;
    }
  }
  // Every file is complete: put them in place, standard output last, so
  // that a pipe's reader sees nothing unless the files are there.
  for (target& t : targets) {
    if (t.how == way::replace) {
      if (std::rename(t.temporary.c_str(), t.destination.c_str()) != 0) {
        const int e = errno;
        discard(targets);
        return failure(t.out->path, e);
      }
      t.temporary.clear();
    } else if (t.how == way::in_place || t.how == way::rewrite) {
      if (auto f = write_in_place(t)) {
        discard(targets);
        return f;
      }
      if (t.how == way::rewrite) ::unlink(t.temporary.c_str());
      t.temporary.clear();
    }
  }
  for (const target& t : targets) {
    if (t.how != way::standard_output) continue;
    if (const int e = write_fully(1, t.out->text); e != 0) return failure("-", e);
  }
  return std::nullopt;
}

std::optional<output_failure> write_output(const std::string& path, std::string_view text) {
  const output one{path, text};
  return write_outputs(std::span<const output>(&one, 1));
}

output_stream::output_stream(std::string path) : path_(std::move(path)) {
  const output o{path_, {}};
  target t;
  if (auto f = resolve(o, t)) {
    failure_ = std::move(f);
    return;
  }
  if (t.how == way::standard_output) {
    fd_ = 1;
    return;
  }
  if (t.how != way::replace) {
    held_ = true;
    return;
  }
  const std::size_t slash = t.destination.rfind('/');
  const std::string directory =
      slash == std::string::npos ? "" : t.destination.substr(0, slash + 1);
  const std::string name = t.destination.substr(slash == std::string::npos ? 0 : slash + 1);
  std::string temporary = directory + "." + name + ".XXXXXX";
  fd_ = ::mkstemp(temporary.data());
  if (fd_ < 0) {
    fail(errno);
    return;
  }
  temporary_ = std::move(temporary);
  destination_ = std::move(t.destination);
  exists_ = t.exists;
  mode_ = t.exists ? (t.status.st_mode & 07777) : new_file_mode();
  uid_ = t.status.st_uid;
  gid_ = t.status.st_gid;
}

output_stream::~output_stream() {
  if (fd_ > 1) ::close(fd_);
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
}

void output_stream::fail(int error) {
  if (!failure_) failure_ = present::failure(path_, error);
}

bool output_stream::write(std::string_view text) {
  if (failure_) return false;
  if (held_) {
    text_.append(text);
    return true;
  }
  if (const int e = write_fully(fd_, text); e != 0) fail(e);
  return !failure_;
}

std::optional<output_failure> output_stream::commit() {
  if (failure_) return failure_;
  if (held_) {
    failure_ = write_output(path_, text_);
    return failure_;
  }
  if (fd_ == 1) return std::nullopt;
  int e = ::fsync(fd_) != 0 ? errno : 0;
  if (e == 0 && ::fchmod(fd_, static_cast<mode_t>(mode_)) != 0) e = errno;
  // The owner goes with the file where the process may give it.
  if (e == 0 && exists_) (void)!::fchown(fd_, static_cast<uid_t>(uid_), static_cast<gid_t>(gid_));
  if (::close(fd_) != 0 && e == 0) e = errno;
  fd_ = -1;
  if (e == 0 && std::rename(temporary_.c_str(), destination_.c_str()) != 0) e = errno;
  if (e != 0) {
    fail(e);
    return failure_;
  }
  temporary_.clear();
  return std::nullopt;
}

}  // namespace present
