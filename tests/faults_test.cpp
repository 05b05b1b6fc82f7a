// The real programs under faults of their surroundings: memory that runs out while the viewer
// loads, a fork that fails once the window is up, and a reader that goes away from a generator's
// output or from the viewer's report. Each ends with its message and status, never a crash and
// never a false success; the viewer's report is not its product, and losing its reader loses
// nothing else.
// GoogleTest comes before Xlib, whose macros (None, Bool, Status) would break its headers.
#include <gtest/gtest.h>

#include "address_sanitizer.hpp"
#include "object.hpp"
#include "picture_files.hpp"
#include "run_program.hpp"
#include "x11_harness.hpp"
#include "zorv_file.hpp"

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zorv {
namespace {

using testrun::program_run;
using testrun::run_options;
using testrun::run_program;

const std::string zorv_binary = ZORV_BIN_DIR "/zorv";
constexpr int failure_status = 255;

class FaultsTest : public testing::Test {
protected:
  void SetUp() override {
    dir = testrun::make_temp_dir();
    ASSERT_FALSE(dir.empty());
  }
  void TearDown() override { testrun::remove_temp_dir(dir); }
  std::string dir;
};

// Four million points of 8 bytes each: a 32 MB file whose two point arrays need 128 MB.
constexpr long big_point_count = 4'000'000;
constexpr rlim_t megabyte = rlim_t{1} << 20;
// Room for the program, its libraries and as much again as the file, but not for the arrays.
constexpr rlim_t room_beyond_the_file = 64 * megabyte;

TEST_F(FaultsTest, LoadingBeyondTheAddressSpaceLimitReportsMalloc) {
#ifdef ZORV_ADDRESS_SANITIZER
  GTEST_SKIP() << "AddressSanitizer reserves terabytes of shadow memory, so the program cannot "
                  "start under a limit on its address space";
#endif
  {
    std::ofstream file(dir + "/big.zorv", std::ios::binary);
    file << "p={" << big_point_count << "}\n";
    const std::string point = "0 0 0 1\n";
    for (long i = 0; i < big_point_count; ++i) file << point;
    file << "l={1}\n0 1\nn=big\n";
  }
  const rlim_t file_size = static_cast<rlim_t>(8 * big_point_count);
  run_options options;
  options.dir = dir;
  options.environment = {{"DISPLAY", ""}};
  options.address_space = file_size + room_beyond_the_file;
  const program_run run = run_program(zorv_binary, {"big.zorv"}, options);
  EXPECT_TRUE(run.ended);
  EXPECT_FALSE(run.signalled) << "signal " << run.status;
  EXPECT_EQ(run.status, failure_status);
  EXPECT_EQ(run.err, "malloc: " + std::string(std::strerror(ENOMEM)) + "\n");
  EXPECT_NE(run.out.find(" Loading object file big.zorv.\n"), std::string::npos) << run.out;
  EXPECT_EQ(run.out.find(" points, "), std::string::npos) << run.out;
}

// A file cut or rewritten after the viewer took its size, as "hoopgen 10 10 > t.zorv" rewrites
// it while a viewer loads it: the viewer reads what the file holds when it reads it, and loads
// that or refuses it with the line where it goes wrong. Never a signal: a mapped file that
// shrinks ends the process with SIGBUS as soon as it reads a page past where the file ends.
TEST_F(FaultsTest, AFileThatShrinksWhileItIsReadLoadsOrIsRefused) {
  constexpr int points = 200'000; // 6.6 MB of text
  std::string whole = "p={" + std::to_string(points) + "}\n";
  for (int i = 0; i < points; ++i) whole += "0.50000 -0.25000 1.00000 0.00000\n";
  whole += "l={1}\n0 1\nn=big\n";
  constexpr std::size_t page_boundary = std::size_t{1} << 20; // inside a point
  const std::string small = "p={3}\n0 0 0 0\n1 0 0 0\n0 1 0 0\nl={2}\n0 1\n1 2\nn=small\n";
  object_record cut_object{};
  std::string cut_error;
  ASSERT_FALSE(parse_object(whole.substr(0, page_boundary), cut_object, cut_error));
  // The cut leaves "1.0000" of the last point's z, which reads as a whole number.
  ASSERT_EQ(cut_error, "line 31776: expected 4 coordinates of point 31775 of 200000");
  const struct {
    const char* what;
    std::size_t cut_to;
    std::string written, err;
    int status;
    std::string counts; // reported on standard output
  } cases[] = {
      {"cut to nothing", 0, "", "ZORV: big.zorv: line 1: expected \"p={\".\n", failure_status, ""},
      {"cut at a page boundary", page_boundary, "", "ZORV: big.zorv: " + cut_error + ".\n",
       failure_status, ""},
      {"rewritten whole", 0, small, "ZORV: Could not open display.\n", 1, " 3 points, 2 lines.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testrun::write_file(dir + "/big.zorv", whole);
    run_options options;
    options.dir = dir;
    options.environment = {{"DISPLAY", ""},
                           {"LD_PRELOAD", ZORV_CUT_ON_FSTAT},
                           {"ZORV_CUT_TO", std::to_string(c.cut_to)}};
    if (!c.written.empty()) options.environment.push_back({"ZORV_WRITE", c.written});
    const program_run run = run_program(zorv_binary, {"big.zorv"}, options);
    EXPECT_TRUE(run.ended);
    EXPECT_FALSE(run.signalled) << "signal " << run.status;
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.err, c.err);
    EXPECT_NE(run.out.find(c.counts), std::string::npos) << run.out;
  }
}

// The seam replaces fork in the real program with one that fails with EAGAIN.
TEST_F(FaultsTest, AFailedForkIsReportedAfterTheWindowIsUp) {
  x11test::xvfb_server server = x11test::start_xvfb(700, 700);
  ASSERT_GT(server.pid, 0) << "Xvfb did not start";
  testrun::write_file(dir + "/object.zorv", "p={2}\n0 0 0 0\n1 0 0 0\nl={1}\n0 1\nn=line\n");
  run_options options;
  options.dir = dir;
  options.environment = {{"DISPLAY", server.display_name}, {"LD_PRELOAD", ZORV_FAIL_FORK}};
  const program_run run = run_program(zorv_binary, {"object.zorv"}, options);
  x11test::stop_xvfb(server);
  EXPECT_TRUE(run.ended);
  EXPECT_FALSE(run.signalled) << "signal " << run.status;
  EXPECT_EQ(run.status, failure_status);
  EXPECT_EQ(run.err, "zorv: error creating child process.\n");
  const std::string tail = " Mapping window.\n Forking...";
  ASSERT_GE(run.out.size(), tail.size()) << run.out;
  EXPECT_EQ(run.out.substr(run.out.size() - tail.size()), tail);
}

std::string upper_case(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// A reader that takes `bytes` of the pipe and goes away; none at all for 0.
pid_t start_reader(int read_end, std::size_t bytes) {
  if (bytes == 0) return -1;
  const pid_t pid = fork();
  if (pid != 0) return pid;
  std::vector<char> buffer(bytes);
  std::size_t got = 0;
  while (got < bytes) {
    const ssize_t n = read(read_end, buffer.data() + got, bytes - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  _exit(0);
}

// A generator whose reader has gone away must not end as if it had written everything: with
// SIGPIPE as it comes, it dies of the signal like any Unix tool; with SIGPIPE ignored, as a
// shell or a service may start it, its write fails and it says so.
TEST_F(FaultsTest, GeneratorsFailWhenTheirReaderGoesAway) {
  constexpr std::size_t pipe_reader_bytes = 64 * 1024;
  const struct {
    const char* program;
    std::vector<std::string> arguments;
    std::size_t reader_bytes; // what the reader takes before it goes; 0: gone from the start
  } cases[] = {
      {"hoopgen", {"3", "2"}, 0},
      {"hoopgen", {"2000", "1000"}, 0},
      {"hoopgen", {"2000", "1000"}, pipe_reader_bytes},
      {"hoopstack", {"3", "2"}, 0},
      {"hoopstack", {"2000", "1000"}, pipe_reader_bytes},
      {"ripplegen", {"3", "2"}, 0},
      {"ripplegen", {"2000", "1000"}, pipe_reader_bytes},
      {"cellgen", {"600"}, 0},
  };
  const std::string broken_pipe = std::strerror(EPIPE);
  for (const auto& c : cases) {
    for (const bool ignored : {false, true}) {
      SCOPED_TRACE(testing::Message() << c.program << " " << testing::PrintToString(c.arguments)
                                      << ", reader takes " << c.reader_bytes << " bytes, SIGPIPE "
                                      << (ignored ? "ignored" : "as it comes"));
      int ends[2];
      ASSERT_EQ(pipe(ends), 0);
      const pid_t reader = start_reader(ends[0], c.reader_bytes);
      close(ends[0]);
      run_options options;
      options.dir = dir;
      options.stdout_fd = ends[1];
      options.ignore_sigpipe = ignored;
      const program_run run =
          run_program(std::string(ZORV_BIN_DIR) + "/" + c.program, c.arguments, options);
      close(ends[1]);
      if (reader > 0) waitpid(reader, nullptr, 0);
      EXPECT_TRUE(run.ended);
      if (ignored) {
        EXPECT_FALSE(run.signalled) << "signal " << run.status;
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, upper_case(c.program) + ": write error: " + broken_pipe + "\n");
      } else {
        EXPECT_TRUE(run.signalled) << "status " << run.status << ": " << run.err;
        EXPECT_EQ(run.status, SIGPIPE);
      }
    }
  }
}

// The write end of a pipe whose reader went away before anything was written, as in `| true`.
int pipe_without_reader() {
  int ends[2];
  if (pipe(ends) != 0) return -1;
  close(ends[0]);
  return ends[1];
}

const std::string line_object = "p={2}\n0 0 0 0\n1 0 0 0\nl={1}\n0 1\nn=line\n";

// `zorv t.zorv -o x.gif | true`: the picture is written whole, with status 0 and nothing said,
// whether SIGPIPE comes as it is or ignored.
TEST_F(FaultsTest, APictureIsWrittenWhenTheReaderOfTheReportIsGone) {
  testrun::write_file(dir + "/object.zorv", line_object);
  for (const std::string name : {"x.png", "x.gif"}) {
    for (const bool ignored : {false, true}) {
      SCOPED_TRACE(name + (ignored ? ", SIGPIPE ignored" : ", SIGPIPE as it comes"));
      std::remove((dir + "/" + name).c_str());
      const int report = pipe_without_reader();
      ASSERT_GE(report, 0);
      run_options options;
      options.dir = dir;
      options.unset_environment = {"DISPLAY"};
      options.stdout_fd = report;
      options.ignore_sigpipe = ignored;
      const program_run run = run_program(
          zorv_binary, {"object.zorv", "-o", name, "-frames", "3", "-geometry", "64x48"}, options);
      close(report);
      EXPECT_TRUE(run.ended);
      EXPECT_FALSE(run.signalled) << "signal " << run.status;
      EXPECT_EQ(run.status, 0);
      EXPECT_EQ(run.err, "");
      if (name.ends_with(".png"))
        EXPECT_EQ(picturetest::read_png(dir + "/" + name).width, 64);
      else
        EXPECT_EQ(picturetest::read_gif(dir + "/" + name).frames.size(), 3u);
    }
  }
}

bool shows_red(Display* display) {
  constexpr unsigned long red = 0xff0000;
  return x11test::find_pixels(x11test::read_root(display, 0, 0, 700, 700), red).count > 0;
}

// `zorv t.zorv | grep -q Loading`: in a window of its own the viewer forks and the foreground
// process ends with status 0; in a host's window (-root) the one process draws on. Both draw.
TEST_F(FaultsTest, TheViewerStartsWhenTheReaderOfTheReportIsGone) {
  x11test::adopt_orphans();
  x11test::xvfb_server server = x11test::start_xvfb(700, 700);
  ASSERT_GT(server.pid, 0) << "Xvfb did not start";
  Display* display = XOpenDisplay(server.display_name.c_str());
  ASSERT_NE(display, nullptr);
  testrun::write_file(dir + "/object.zorv", line_object);
  run_options options;
  options.dir = dir;
  options.environment = {{"DISPLAY", server.display_name}};
  options.stdout_fd = pipe_without_reader();
  ASSERT_GE(options.stdout_fd, 0);

  const program_run own = run_program(zorv_binary, {"object.zorv", "-xy", "-np"}, options);
  EXPECT_TRUE(own.ended);
  EXPECT_FALSE(own.signalled) << "signal " << own.status;
  EXPECT_EQ(own.status, 0);
  EXPECT_EQ(own.err, "");
  const std::vector<pid_t> drawing = x11test::children_running(zorv_binary);
  EXPECT_EQ(drawing.size(), 1u);
  EXPECT_TRUE(x11test::wait_until([&] { return shows_red(display); }));
  for (const pid_t pid : drawing) x11test::stop_process(pid);

  const pid_t hosted = testrun::start_program(zorv_binary, {"object.zorv", "-root"}, options);
  ASSERT_GT(hosted, 0);
  EXPECT_TRUE(
      x11test::wait_until([&] { return shows_red(display) || x11test::process_gone(hosted); }));
  EXPECT_FALSE(x11test::process_gone(hosted)) << "the hosted viewer ended";
  x11test::stop_process(hosted);
  close(options.stdout_fd);
  XCloseDisplay(display);
  x11test::stop_xvfb(server);
}

} // namespace
} // namespace zorv
