// The real zorv under valgrind's memcheck, on a private Xvfb: both processes, and above all the
// background process through hundreds of frames, make no memory error. The background process is
// ended the way a user's session ends it, by its X server going away: Xlib's handler for the lost
// connection exits, and valgrind writes its summary.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "x11_harness.hpp"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace zorv {
namespace {

using namespace x11test;

const std::string zorv_binary = ZORV_BIN_DIR "/zorv";

constexpr int screen_side = 700;
// Status valgrind ends a process with when it found errors; zorv itself never uses it.
constexpr int valgrind_error_status = 99;
// Xlib's handler for a lost connection exits with 1.
constexpr int lost_connection_status = 1;
constexpr int frames_to_see = 300;
constexpr auto least_run_time = std::chrono::seconds(5);
constexpr auto most_run_time = std::chrono::seconds(120);

// A four-dimensional simplex: five points, every pair joined, spread over all four axes so that
// the default motion and both perspective divisions change the picture every frame.
const std::string simplex = "p={5}\n"
                            "1 0 0 -0.25\n"
                            "0 1 0 -0.25\n"
                            "0 0 1 -0.25\n"
                            "-0.5 -0.5 -0.5 -0.25\n"
                            "0 0 0 1\n"
                            "l={10}\n"
                            "0 1\n0 2\n0 3\n0 4\n1 2\n1 3\n1 4\n2 3\n2 4\n3 4\n"
                            "n=simplex\n";

// The "ERROR SUMMARY: ..." line of a valgrind log, or empty.
std::string error_summary(const std::string& log) {
  const std::size_t at = log.find("ERROR SUMMARY: ");
  if (at == std::string::npos) return {};
  return log.substr(at, log.find('\n', at) - at);
}

class ValgrindTest : public testing::Test, protected viewer_session {
protected:
  void SetUp() override {
    adopt_orphans();
    ASSERT_EQ(open_session(*this, screen_side), "");
  }
  void TearDown() override { close_session(*this); }
};

TEST_F(ValgrindTest, BackgroundProcessMakesNoMemoryErrorThroughHundredsOfFrames) {
  write_file(dir + "/object.zorv", simplex);

  // valgrind runs the program in its own process and follows it through the fork, so the pid
  // the foreground process prints is the background process's, with its own log.
  const zorv_run run = run_zorv(ZORV_VALGRIND, dir, server.display_name,
                                {"--error-exitcode=" + std::to_string(valgrind_error_status),
                                 "--trace-children=yes", "--leak-check=full",
                                 "--log-file=" + dir + "/valgrind.%p", zorv_binary, "object.zorv"});
  EXPECT_EQ(run.status, 0) << run.err;
  ASSERT_GT(run.child, 0) << run.out << run.err;

  // Each picture that differs from the one before is at least one more frame drawn.
  const auto start = std::chrono::steady_clock::now();
  int changes = 0;
  std::vector<unsigned long> previous;
  wait_until(
      [&] {
        pixel_area shown = read_window(display, window_side, window_side);
        if (shown.pixels != previous) ++changes;
        previous = std::move(shown.pixels);
        return changes > frames_to_see && std::chrono::steady_clock::now() - start > least_run_time;
      },
      std::chrono::duration_cast<std::chrono::milliseconds>(most_run_time));
  const auto seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::printf("%d changes of the picture seen in %.1f s\n", changes, seconds);
  EXPECT_GT(changes, frames_to_see);

  XCloseDisplay(display);
  display = nullptr;
  stop_xvfb(server);
  const reaped_status ended = wait_for_end(run.child);
  if (!ended.exited) stop_process(run.child);
  EXPECT_TRUE(ended.exited) << "the background process outlived its display";
  EXPECT_EQ(ended.code, lost_connection_status);

  // One log per process: the foreground process's and the background process's.
  const std::string child_log = "valgrind." + std::to_string(run.child);
  int logs = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("valgrind.", 0) != 0) continue;
    ++logs;
    SCOPED_TRACE(name == child_log ? "background process" : "foreground process");
    const std::string log = read_file(entry.path().string());
    const std::string summary = error_summary(log);
    std::printf("%s: %s\n", name == child_log ? "background" : "foreground", summary.c_str());
    EXPECT_EQ(summary.rfind("ERROR SUMMARY: 0 errors", 0), 0u) << log;
  }
  EXPECT_EQ(logs, 2);
  EXPECT_TRUE(std::filesystem::exists(dir + "/" + child_log));
}

} // namespace
} // namespace zorv
