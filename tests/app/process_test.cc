// The built program as a child process: what a user sees on standard
// output and standard error, and the exit status, for the ways a run ends.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <thread>

namespace {

struct child_result {
  std::string out;
  std::string err;
  int status = -1;
};

struct child_options {
  bool report_to_dev_full = false;
  bool ignore_interrupt = false;
  int signal_while_reading = 0;  ///< sent while the program waits for more deck
  /// Sent while the report is being written to a slow reader: standard
  /// output is a pipe of 4096 bytes already holding `held`.
  int signal_while_writing = 0;
  std::string_view held = {};
};

std::string drain(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<size_t>(n));
  ::close(fd);
  return text;
}

// Runs the program with `deck` on its standard input. With a signal to
// send, the deck is written but standard input is left open, so that the
// program is waiting for more when the signal arrives.
child_result run_program(std::string_view deck, child_options options = {}) {
  int in[2], out[2], err[2];
  if (::pipe(in) != 0 || ::pipe(out) != 0 || ::pipe(err) != 0) return {};
  if (options.signal_while_writing != 0) {
    if (::fcntl(out[1], F_SETPIPE_SZ, 4096) != 4096) return {};
    if (::write(out[1], options.held.data(), options.held.size()) !=
        static_cast<ssize_t>(options.held.size())) {
      return {};
    }
  }
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in[0], 0);
    if (options.report_to_dev_full) {
      const int full = ::open("/dev/full", O_WRONLY);
      ::dup2(full, 1);
    } else {
      ::dup2(out[1], 1);
    }
    ::dup2(err[1], 2);
    for (int fd : {in[0], in[1], out[0], out[1], err[0], err[1]}) ::close(fd);
    if (options.ignore_interrupt) ::signal(SIGINT, SIG_IGN);
    ::execl(FOURFIFTHS_BINARY, FOURFIFTHS_BINARY, static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  (void)!::write(in[1], deck.data(), deck.size());
  if (options.signal_while_reading != 0) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ::kill(pid, options.signal_while_reading);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  ::close(in[1]);
  if (options.signal_while_writing != 0) {
    // Long enough for the program to fill the pipe and block.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ::kill(pid, options.signal_while_writing);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  child_result r;
  r.out = drain(out[0]);
  r.err = drain(err[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

constexpr std::string_view fatal_tail =
    "apparent state: unit 5 (unnamed)\n"
    "last format: list io\n"
    "lately reading sequential formatted external IO\n";

// A small complete deck: one predictor, overall mode.
constexpr std::string_view good_deck = "1 0 1 0 0 0\n1\n1\n1\n-1\n";

TEST(ProcessEnd, CompleteReportExitsZeroWithNothingOnStandardError) {
  const child_result r = run_program(good_deck);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_NE(r.out.find("Minimum overall selection ratio without AI 4/5th rule is   0.862"),
            std::string::npos);
}

TEST(ProcessEnd, RejectedDeckKeepsItsMessagesAndFails) {
  const child_result r = run_program("2 0 0 1 0 0\n");
  EXPECT_EQ(r.out,
            "Regression weights can not be computed because no\n"
            "criteria are specified\n");
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.status, 2);
}

TEST(ProcessEnd, EarlyEndOfDeckIsTheFourLineReport) {
  const child_result r = run_program("2 1 1 0 0 0\n1\n1 1\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "list in: end of file\n" + std::string(fatal_tail));
  EXPECT_EQ(r.status, 2);
}

TEST(ProcessEnd, TwentySixthRequestedRatioIsASubscriptFault) {
  std::string deck = "1 0 1 0 0 26\n1\n1\n1\n-1\n";
  for (int i = 0; i < 26; ++i) deck += "0.5 ";
  deck += "\n";
  const child_result r = run_program(deck);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 2);
  const std::string_view first = "Subscript out of range on file line ";
  ASSERT_EQ(r.err.substr(0, first.size()), first);
  const size_t line_end = r.err.find('\n');
  EXPECT_EQ(r.err.substr(line_end - std::strlen(", procedure tamorin/MAIN.")),
            ", procedure tamorin/MAIN.\nAttempt to access the 26-th element of variable rsr.\n");
}

TEST(ProcessEnd, InterruptWhileReadingExitsOne) {
  const child_result r = run_program("1 0 1", {.signal_while_reading = SIGINT});
  EXPECT_EQ(r.err, "Interrupt\n");
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.status, 1);
}

TEST(ProcessEnd, TerminationRequestExitsOne) {
  const child_result r = run_program("1 0 1", {.signal_while_reading = SIGTERM});
  EXPECT_EQ(r.err, "Killed\n");
  EXPECT_EQ(r.status, 1);
}

TEST(ProcessEnd, FloatingPointExceptionAndAbortAreFailures) {
  const child_result fpe = run_program("1 0 1", {.signal_while_reading = SIGFPE});
  EXPECT_EQ(fpe.err, "Floating Exception\n");
  EXPECT_EQ(fpe.status, 2);
  const child_result abrt = run_program("1 0 1", {.signal_while_reading = SIGABRT});
  EXPECT_EQ(abrt.err, "IOT Trap\n");
  EXPECT_EQ(abrt.status, 2);
}

TEST(ProcessEnd, IgnoredInterruptStaysIgnored) {
  // The interrupt is sent while the header is half read; the rest of the
  // deck never comes, so the run ends at the end of the deck instead.
  const child_result r =
      run_program("1 0 1", {.ignore_interrupt = true, .signal_while_reading = SIGINT});
  EXPECT_EQ(r.err, "list in: end of file\n" + std::string(fatal_tail));
  EXPECT_EQ(r.status, 2);
}

TEST(ProcessEnd, ReportThatCannotBeWrittenIsAFailure) {
  const child_result r = run_program(good_deck, {.report_to_dev_full = true});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "report write: " + std::string(std::strerror(ENOSPC)) + "\n");
}

// A rejected deck's messages are its report: when they cannot be written,
// the run says so, as a complete report's run does.
TEST(ProcessEnd, RejectedDeckWhoseMessagesCannotBeWrittenSaysWhy) {
  const child_result r = run_program("0 0 1 0 0 0\n3\n", {.report_to_dev_full = true});
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.err, "report write: " + std::string(std::strerror(ENOSPC)) + "\n");
}

std::string example(const char* name) {
  std::ifstream in(std::string(FOURFIFTHS_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The report goes to a pipe whose reader is slow: 4096 bytes of room, 2000
// of them taken, so the report's write blocks part-way. A signal that
// arrives then must not write any of the report twice: standard output
// holds the report once, whole, after the bytes already in the pipe.
void expect_clean_report_after_signal(int signal, const std::string& line) {
  const std::string report = example("overall_given_weights.out");
  ASSERT_GT(report.size(), 2096u);
  const std::string held(2000, '#');
  const child_result r = run_program(example("overall_given_weights.deck"),
                                     {.signal_while_writing = signal, .held = held});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, line);
  ASSERT_EQ(r.out.substr(0, held.size()), held);
  EXPECT_EQ(r.out.substr(held.size()), report);
}

TEST(ProcessEnd, TerminationDuringABlockedReportWriteKeepsTheReportClean) {
  expect_clean_report_after_signal(SIGTERM, "Killed\n");
}

TEST(ProcessEnd, InterruptDuringABlockedReportWriteKeepsTheReportClean) {
  expect_clean_report_after_signal(SIGINT, "Interrupt\n");
}

}  // namespace
