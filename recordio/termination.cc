#include "recordio/termination.h"

#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

namespace recordio {

namespace {

// The deck's failures and the writer's "error in format" carry these texts;
// numbers 0..99 are the operating system's.
std::string_view error_text(int number) {
  switch (static_cast<io_error>(number)) {
    case io_error::end_of_file:
      return "end of file";
    case io_error::error_in_format:
      return "error in format";
    case io_error::incomprehensible_list_input:
      return "incomprehensible list input";
    case io_error::read_unexpected_character:
      return "read unexpected character";
  }
  return std::strerror(number);
}

// Writes straight to standard error when there is no session to report
// through (a fault outside a run).
[[noreturn]] void stop_without_session(std::string_view text) {
  (void)!::write(2, text.data(), text.size());
  std::_Exit(status_failure);
}

std::string_view upto_first_of(std::string_view text, std::string_view stops) {
  return text.substr(0, text.find_first_of(stops));
}

}  // namespace

[[noreturn]] void failure_stop(session& s) {
  s.errors().flush();
  s.report().flush();
  s.errors().flush();
  throw run_end{status_failure};
}

int run_to_end(session& s, void (*driver)(session&)) {
  try {
    driver(s);
  } catch (const run_end& end) {
    return end.status;
  }
  // The normal stop: nothing more is written, the report is flushed. A
  // report that did not reach its destination in full is a failure.
  if (!s.report().flush()) {
    std::string line = "report write: ";
    line += error_text(s.report().error_number());
    line += '\n';
    s.errors().write(line);
    s.errors().flush();
    return status_failure;
  }
  return status_normal;
}

[[noreturn]] void fatal_io(session& s, int number, std::string_view context) {
  const last_operation& last = s.last();
  std::string text;
  text.append(context).append(": ").append(error_text(number)).append("\n");
  text.append("apparent state: unit ").append(std::to_string(last.unit)).append(" (unnamed)\n");
  text.append("last format: ").append(last.format).append("\n");
  text.append("lately ").append(last.writing ? "writing" : "reading");
  text.append(" sequential formatted external IO\n");
  s.errors().write(text);
  failure_stop(s);
}

[[noreturn]] void subscript_out_of_range(std::string_view name, long long offset,
                                         std::string_view label, unsigned line) {
  std::string text = "Subscript out of range on file line ";
  text.append(std::to_string(line)).append(", procedure ");
  text.append(upto_first_of(label, "_ ")).append(".\n");
  text.append("Attempt to access the ").append(std::to_string(offset + 1));
  text.append("-th element of variable ").append(upto_first_of(name, " ")).append(".\n");
  session* s = session::active();
  if (s == nullptr) stop_without_session(text);
  s->errors().write(text);
  failure_stop(*s);
}

[[noreturn]] void internal_fault(std::string_view line) {
  std::string text(line);
  text += '\n';
  session* s = session::active();
  if (s == nullptr) stop_without_session(text);
  s->errors().write(text);
  failure_stop(*s);
}

namespace {

// The handlers use only write(2) and _exit(2): the report's buffer is handed
// to its descriptor as it stands, and the process ends at once.
template <std::size_t N>
[[noreturn]] void end_from_signal(const char (&line)[N], int status) {
  (void)!::write(2, line, N - 1);
  if (session* s = session::active()) s->report().flush_from_signal();
  ::_exit(status);
}

extern "C" void on_floating_exception(int) {
  end_from_signal("Floating Exception\n", status_failure);
}
extern "C" void on_abort(int) { end_from_signal("IOT Trap\n", status_failure); }
extern "C" void on_interrupt(int) { end_from_signal("Interrupt\n", status_interrupted); }
extern "C" void on_termination(int) { end_from_signal("Killed\n", status_interrupted); }

}  // namespace

void install_signal_handlers() {
  std::signal(SIGFPE, on_floating_exception);
  std::signal(SIGABRT, on_abort);
  if (std::signal(SIGINT, on_interrupt) == SIG_IGN) std::signal(SIGINT, SIG_IGN);
  std::signal(SIGTERM, on_termination);
}

}  // namespace recordio
