#include "app/process.h"

#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

#include "present/output.h"

namespace process {

namespace {

// What the signal handlers need to know: whether the report is being
// delivered, which part of it has reached standard output, and a signal
// taken while a write was under way.
enum class phase : int { running, delivering, ending };

struct delivery_state {
  std::atomic<int> current{static_cast<int>(phase::running)};
  std::atomic<int> pending{0};
  const char* report = nullptr;
  std::atomic<std::size_t> size{0};
  std::atomic<std::size_t> delivered{0};
};

delivery_state state;  // the program's one process-wide state
static_assert(std::atomic<int>::is_always_lock_free &&
              std::atomic<std::size_t>::is_always_lock_free);

constexpr int status_failure = static_cast<int>(fourfifths::run_status::failure);
constexpr int status_interrupted = static_cast<int>(fourfifths::run_status::interrupted);

struct signal_end {
  std::string_view line;
  int status;
};

signal_end end_of(int signal) {
  switch (signal) {
    case SIGFPE:
      return {"Floating Exception\n", status_failure};
    case SIGABRT:
      return {"IOT Trap\n", status_failure};
    case SIGINT:
      return {"Interrupt\n", status_interrupted};
    default:
      return {"Killed\n", status_interrupted};
  }
}

// Ends the run for a signal: its line, then whatever of the report has not
// reached standard output yet. Async-signal-safe.
[[noreturn]] void end_for_signal(int signal) {
  state.current.store(static_cast<int>(phase::ending));
  const signal_end end = end_of(signal);
  (void)present::write_fully(2, end.line);
  const std::size_t done = state.delivered.load();
  const std::size_t size = state.size.load();
  if (state.report != nullptr && done < size) {
    (void)present::write_fully(1, std::string_view(state.report + done, size - done));
  }
  ::_exit(end.status);
}

extern "C" void on_signal(int signal) {
  // While the report is under way the signal is taken by the delivery loop
  // once the interrupted write returns, so that the number of bytes it
  // delivered is known; a second signal then changes nothing.
  const auto now = static_cast<phase>(state.current.load());
  if (now == phase::delivering) {
    int none = 0;
    state.pending.compare_exchange_strong(none, signal);
    return;
  }
  if (now == phase::ending) return;
  end_for_signal(signal);
}

void handle(int signal) {
  struct sigaction action {};
  action.sa_handler = on_signal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a blocked write returns to the loop
  sigaction(signal, &action, nullptr);
}

void take_pending_signal() {
  if (const int signal = state.pending.load(); signal != 0) end_for_signal(signal);
}

// Delivers the report, keeping count of what has reached the descriptor.
int deliver_report(const std::string& report) {
  state.report = report.data();
  state.delivered.store(0);
  state.size.store(report.size());
  state.current.store(static_cast<int>(phase::delivering));
  int error = 0;
  std::size_t done = 0;
  while (done < report.size()) {
    take_pending_signal();
    const ssize_t n = ::write(1, report.data() + done, report.size() - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      state.delivered.store(done);
    } else if (!(n < 0 && errno == EINTR)) {
      error = n < 0 ? errno : EIO;
      break;
    }
  }
  take_pending_signal();
  state.current.store(static_cast<int>(phase::running));
  return error;
}

}  // namespace

void install_signal_handlers() {
  handle(SIGFPE);
  handle(SIGABRT);
  struct sigaction previous {};
  sigaction(SIGINT, nullptr, &previous);
  if (previous.sa_handler != SIG_IGN) handle(SIGINT);
  handle(SIGTERM);
}

int deliver(const fourfifths::classic_run& run) {
  // The diagnostics first, as a failure stop flushes them before the report.
  (void)present::write_fully(2, run.diagnostics);
  const int error = deliver_report(run.report);
  if (error == 0) return static_cast<int>(run.status);
  std::string line = "report write: ";
  line += std::strerror(error);
  line += '\n';
  (void)present::write_fully(2, line);
  return status_failure;
}

}  // namespace process
