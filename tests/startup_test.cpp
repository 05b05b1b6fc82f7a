// The built zorv program up to loading its object: messages byte for byte, the stream each goes
// to, and the exit status.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

const std::string banner = "\nzorv v1.21, by Quenlor\n";
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
const char* const unusable_display = "DISPLAY=zorv-test-no-display";

struct run_result {
  std::string out;
  std::string err; // empty when both streams went to out
  int status;
};

std::string read_file(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream text;
  text << file.rdbuf();
  return text.str();
}

class StartupTest : public ::testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/zorv-startup-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override {
    for (const std::string& path : created) std::remove(path.c_str());
    rmdir(dir.c_str());
  }

  std::string write_file(const std::string& name, const std::string& text) {
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << text;
    created.push_back(path);
    return path;
  }

  // Runs zorv with the arguments, the environment less DISPLAY plus an unusable one, and no input.
  run_result run(const std::vector<std::string>& arguments, bool one_stream = false) {
    const std::string out_path = dir + "/out", err_path = dir + "/err";
    created.push_back(out_path);
    created.push_back(err_path);
    const std::string program = ZORV_BIN_DIR "/zorv";
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::vector<char*> envp;
    for (char** variable = environ; *variable; ++variable)
      if (std::strncmp(*variable, "DISPLAY=", 8) != 0) envp.push_back(*variable);
    envp.push_back(const_cast<char*>(unusable_display));
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0600);
    if (one_stream)
      posix_spawn_file_actions_adddup2(&actions, 1, 2);
    else
      posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0600);
    pid_t pid = 0;
    const int error =
        posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(error, 0) << std::strerror(error);
    int wait_status = 0;
    EXPECT_EQ(waitpid(pid, &wait_status, 0), pid);
    EXPECT_TRUE(WIFEXITED(wait_status)) << "wait status " << wait_status;
    return {read_file(out_path), one_stream ? "" : read_file(err_path), WEXITSTATUS(wait_status)};
  }

  std::string dir;
  std::vector<std::string> created;
};

TEST_F(StartupTest, NoArgumentsPrintsTheBannerAndHelp) {
  const run_result result = run({});
  EXPECT_EQ(result.out, banner + help);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(result.status, 1);
}

// Help and refusals: all on standard output, status 1, nothing loaded.
TEST_F(StartupTest, HelpAndBadOptionsEndTheRunBeforeLoading) {
  const std::string torus = write_file("torus.zorv", "p={2}\n0 0 0 0\n1 1 1 1\nl={1}\n0 1\nn=t\n");
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
  const std::string torus = write_file(name, "p={2}\n0 0 0 0\n1 1 1 1\nl={1}\n0 1\nn=t\n");
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
