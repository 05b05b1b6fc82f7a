// The built zorv program up to loading its object: messages byte for byte, the stream each goes
// to, and the exit status.
#include "run_program.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string banner = "\nzorv v" ZORV_VERSION ", by Quenlor\n";
const std::string help = "  usage: zorv [datafile] [options]\n"
                         "  list of options:\n"
                         "  -xy -xz -yz -xw -yw -zw (angle after each, like -xw4.5) \n"
                         "    Will rotate object through specified plane each cycle.\n"
                         "  -np              no perspective                         \n"
                         "  -ns              don't rescale if window is resized     \n"
                         "  -nt              no title bar                           \n"
                         "  -cw              clear window, don't draw over lines    \n"
                         "  -zd(distance)    specify z and w distance for           \n"
                         "  -wd(distance)    perspective. Default is 430.0.         \n"
                         "  -lc (colorname)  set line color: like -lc LightGreen    \n"
                         "  -bc (colorname)  set background color                   \n"
                         "  -lw(width)       set line width, default=0 (fastest)    \n"
                         "  -d (display)     set display name: like -d anotherhost:0\n"
                         "  -s(scale)        scaling factor. Default is 200.0.      \n"
                         "  -h or -?         get this help                          \n"
                         "\n";

// A display name that Xlib refuses without touching the network, should a run get that far.
const char* const unusable_display = "zorv-test-no-display";

struct run_result {
  std::string out;
  std::string err; // empty when both streams went to out
  int status;
};

class StartupTest : public ::testing::Test {
protected:
  void SetUp() override {
    dir = zorv::testrun::make_temp_dir();
    ASSERT_FALSE(dir.empty());
  }
  void TearDown() override { zorv::testrun::remove_temp_dir(dir); }

  // Runs zorv with the arguments, an unusable DISPLAY and no input.
  run_result run(const std::vector<std::string>& arguments, bool one_stream = false) {
    zorv::testrun::run_options options;
    options.dir = dir;
    options.environment = {{"DISPLAY", unusable_display}};
    options.stderr_into_stdout = one_stream;
    const zorv::testrun::program_run ran =
        zorv::testrun::run_program(ZORV_BIN_DIR "/zorv", arguments, options);
    EXPECT_TRUE(ran.ended) << "killed at the deadline";
    EXPECT_FALSE(ran.signalled) << "ended by signal " << ran.status;
    return {ran.out, ran.err, ran.status};
  }

  std::string dir;
};

TEST_F(StartupTest, NoArgumentsPrintsTheBannerAndHelp) {
  const run_result result = run({});
  EXPECT_EQ(result.out, banner + help);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
}

// Help and refusals: all on standard output, status 1, nothing loaded.
TEST_F(StartupTest, HelpAndBadOptionsEndTheRunBeforeLoading) {
  const std::string torus =
      zorv::testrun::write_file(dir + "/torus.zorv", "p={2}\n0 0 0 0\n1 1 1 1\nl={1}\n0 1\nn=t\n");
  const struct {
    std::vector<std::string> arguments;
    std::string out;
  } cases[] = {
      {{"-help"}, banner + help},
      {{torus, "-xw2", "-?"}, banner + help},
      {{torus, "-x", "-h"}, banner + "\nzorv: bad option -x\n" + help},
      {{"--xy", torus}, banner + "\nzorv: bad option --xy\n" + help},
      {{torus, "-lc"}, banner + "\nzorv: bad option -lc\n" + help},
      {{torus, "-lw-1"}, banner + "\nzorv: bad option -lw-1\n" + help},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::PrintToString(c.arguments));
    const run_result result = run(c.arguments);
    EXPECT_EQ(result.out, c.out);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 1);
  }
}

// --help and --version print only their text, on standard output, with status 0.
TEST_F(StartupTest, OptionListAndVersionEndWithSuccess) {
  const run_result version = run({"torus.zorv", "--version"});
  EXPECT_EQ(version.out, "zorv " ZORV_VERSION "\n");
  EXPECT_EQ(version.err, "");
  EXPECT_EQ(version.status, 0);
  const run_result list = run({"--help", "-x"});
  EXPECT_TRUE(list.out.starts_with("Usage: zorv [datafile] [options]\n")) << list.out;
  EXPECT_EQ(list.err, "");
  EXPECT_EQ(list.status, 0);
}

// Every option that the manual page describes in an entry of its own is in --help's list, and
// the list names no option that the page does not describe.
TEST_F(StartupTest, OptionListNamesEveryOptionOfTheManualPage) {
  std::ifstream page(ZORV_SOURCE_DIR "/docs/man/zorv.1.in");
  ASSERT_TRUE(page.is_open());
  const std::regex option(R"((?:^|[ "])(--?[a-z?][a-z-]*))");
  std::set<std::string> documented;
  bool entry = false;
  for (std::string line; std::getline(page, line);) {
    if (line.starts_with(".SH \"OBJECT FILE FORMAT\"")) break;
    if (entry && line.starts_with(".B")) {
      line = std::regex_replace(line, std::regex(R"(\\-)"), "-");
      for (std::sregex_iterator i(line.begin(), line.end(), option), end; i != end; ++i)
        documented.insert((*i)[1].str());
    }
    entry = line == ".TP";
  }
  const std::string list = run({"--help"}).out;
  std::set<std::string> listed;
  const std::regex listed_option(R"((?:^|[ ,])(--?[a-z?][a-z-]*))");
  std::istringstream lines(list);
  for (std::string line; std::getline(lines, line);)
    if (line.starts_with("  -"))
      for (std::sregex_iterator i(line.begin(), line.end(), listed_option), end; i != end; ++i)
        listed.insert((*i)[1].str());
  EXPECT_GT(documented.size(), 25u);
  EXPECT_EQ(listed, documented);
}

// -quiet leaves out the banner and the progress lines, and no error.
TEST_F(StartupTest, QuietLeavesOutTheBannerAndProgress) {
  const std::string torus =
      zorv::testrun::write_file(dir + "/torus.zorv", "p={2}\n0 0 0 0\n1 1 1 1\nl={1}\n0 1\nn=t\n");
  const run_result loaded = run({torus, "-quiet"});
  EXPECT_EQ(loaded.out, "");
  EXPECT_EQ(loaded.err, "ZORV: Could not open display.\n");
  EXPECT_EQ(loaded.status, 1);
  const run_result missing = run({"--quiet", dir + "/missing.zorv"});
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "ZORV: Cannot open object file " + dir + "/missing.zorv.\n");
  EXPECT_EQ(run({"-quiet", "-x"}).out, "\nzorv: bad option -x\n" + help);
}

TEST_F(StartupTest, OptionsAloneLeaveAnEmptyFileNameThatCannotBeOpened) {
  const run_result result = run({"-np", "-xw2"});
  EXPECT_EQ(result.out, banner);
  EXPECT_EQ(result.err, "ZORV: Cannot open object file .\n");
  EXPECT_EQ(result.status, 255);
  // Into one file the banner still comes before the error.
  EXPECT_EQ(run({"-np"}, true).out, banner + "ZORV: Cannot open object file .\n");
}

// A path longer than any fixed field is opened whole, not cut short to another file's name.
TEST_F(StartupTest, LongPathsAreUsedWhole) {
  const std::string name = std::string(70, 'n') + ".zorv";
  const std::string torus =
      zorv::testrun::write_file(dir + "/" + name, "p={2}\n0 0 0 0\n1 1 1 1\nl={1}\n0 1\nn=t\n");
  const run_result loaded = run({torus, "-lc", std::string(600, 'c')});
  EXPECT_TRUE(
      loaded.out.starts_with(banner + " Loading object file " + torus + ".\n 2 points, 1 lines.\n"))
      << loaded.out;
  EXPECT_EQ(loaded.err.find("ZORV: Cannot open object file"), std::string::npos) << loaded.err;

  const std::string missing = torus + ".missing";
  const run_result refused = run({missing});
  EXPECT_EQ(refused.out, banner);
  EXPECT_EQ(refused.err, "ZORV: Cannot open object file " + missing + ".\n");
  EXPECT_EQ(refused.status, 255);
}

} // namespace
