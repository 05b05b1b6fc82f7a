// Hostile object files through the real zorv program, end to end: each is refused with a message
// that names the file and the line, and status 255, or loads; none crashes, hangs or allocates
// far beyond its own size. DISPLAY is empty, so a file that loads ends at once at the display,
// with status 1 after the count report.
#include "run_program.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <random>
#include <regex>
#include <string>

namespace zorv {
namespace {

using testrun::program_run;
using testrun::run_options;
using testrun::run_program;

const std::string zorv_binary = ZORV_BIN_DIR "/zorv";
const std::string file_name = "hostile.zorv";

constexpr int refused_status = 255;
constexpr int display_status = 1;
constexpr std::size_t megabyte = std::size_t{1} << 20;
// Peak memory may exceed that of a tiny file by this many times the file's size, plus a little.
// The loader's arrays take at most 32 bytes per point for the 4 bytes a point takes in the file,
// but a point list is refused once its text runs out, before most of it is touched.
constexpr long memory_per_file_byte = 8;
constexpr long memory_slack_kib = 4 * 1024;

const std::string two_points = "p={2}\n1 2 3 4\n5 6 7 8\n";

// "ZORV: hostile.zorv: line <n>: <why>.\n"
std::string refusal(const std::string& why) {
  return "ZORV: " + file_name + ": " + why + ".\n";
}

std::string garbage(std::size_t size) {
  std::mt19937 random(20240229);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random() & 0xff);
  bytes[0] = static_cast<char>(0xff); // no white space, digit or sign can start it
  return bytes;
}

class hostile_files : public testing::Test {
protected:
  void SetUp() override {
    dir = testrun::make_temp_dir();
    ASSERT_FALSE(dir.empty());
    write_object("p={2}\n0 0 0 0\n1 0 0 0\nl={1}\n0 1\nn=line\n");
    baseline_kib = run_written().peak_resident_kib;
    ASSERT_GT(baseline_kib, 0);
  }
  void TearDown() override { testrun::remove_temp_dir(dir); }

  // Writes the object file; returns its size.
  std::size_t write_object(const std::string& text) {
    testrun::write_file(dir + "/" + file_name, text);
    return text.size();
  }

  // Runs zorv on the object file, with a display that cannot be opened.
  program_run run_written() {
    run_options options;
    options.dir = dir;
    options.environment = {{"DISPLAY", ""}};
    return run_program(zorv_binary, {file_name}, options);
  }

  // Neither a hang nor a crash, and memory in proportion to the file.
  void expect_sound(const program_run& result, std::size_t file_size) {
    EXPECT_TRUE(result.ended) << "killed after the deadline: a hang";
    EXPECT_FALSE(result.signalled) << "ended by signal " << result.status << ": " << result.err;
    EXPECT_LE(result.peak_resident_kib,
              baseline_kib + memory_per_file_byte * static_cast<long>(file_size / 1024) +
                  memory_slack_kib);
  }

  // Loaded, reported its counts and went on to the display.
  void expect_loaded(const program_run& result) {
    EXPECT_EQ(result.status, display_status) << result.err;
    EXPECT_EQ(result.err, "ZORV: Could not open display.\n");
    EXPECT_TRUE(std::regex_search(result.out, std::regex(" [0-9]+ points, [0-9]+ lines\\.\n")))
        << result.out;
  }

  std::string dir;
  long baseline_kib = 0;
};

TEST_F(hostile_files, are_refused_with_the_line_or_loaded_never_crash_or_hang) {
  // Large files are made one at a time, and freed before zorv starts: a forked child's peak
  // memory counts what it shared with this process before its exec.
  const struct {
    const char* what;
    std::string head;
    std::size_t run_size; // then this many copies of run
    char run;
    std::string tail;
    std::string error; // the refusal after "line ", or empty for a file that loads
  } cases[] = {
      {"empty", "", 0, 0, "", "line 1: expected \"p={\""},
      {"binary garbage", garbage(64 * 1024), 0, 0, "", "line 1: expected \"p={\""},
      {"garbage for the points", "p={2}\n" + garbage(64 * 1024), 0, 0, "",
       "line 2: expected 4 coordinates of point 1 of 2"},
      {"point count -1", "p={-1}\n", 0, 0, "", "line 1: negative point count -1"},
      {"point count 0", "p={0}\nl={0}\nn=nothing\n", 0, 0, "", ""},
      {"point count 2147483647", "p={2147483647}\n1 2 3 4\n", 0, 0, "",
       "line 1: point count 2147483647 is more than the file can hold"},
      {"point count 2147483648", "p={2147483648}\n", 0, 0, "",
       "line 1: the point count does not fit 32 bits"},
      {"line count -1", two_points + "l={-1}\n", 0, 0, "", "line 4: negative line count -1"},
      {"line count 0", two_points + "l={0}\nn=points\n", 0, 0, "", ""},
      {"line count 2147483647", two_points + "l={2147483647}\n0 1\n", 0, 0, "",
       "line 4: line count 2147483647 is more than the file can hold"},
      {"index -1", two_points + "l={1}\n0 -1\n", 0, 0, "",
       "line 5: point index -1 of line 1 of 1 is out of range for 2 points"},
      {"index point_count", two_points + "l={1}\n2 0\n", 0, 0, "",
       "line 5: point index 2 of line 1 of 1 is out of range for 2 points"},
      {"index below -2^31", two_points + "l={1}\n0 -2147483649\n", 0, 0, "",
       "line 5: point index of line 1 of 1 does not fit 32 bits"},
      {"NUL in the count", "p={", 1, '\0', "}\n", "line 1: expected the point count"},
      {"NUL among coordinates", "p={2}\n1 2", 1, '\0', "3 4\n5 6 7 8\n",
       "line 2: expected 4 coordinates of point 1 of 2"},
      {"NUL in an index", two_points + "l={1}\n0 ", 1, '\0', "\n",
       "line 5: expected 2 point indices of line 1 of 1"},
      {"NUL in the name", two_points + "l={1}\n0 1\nn=a", 1, '\0', "b\n", ""},
      // The name field keeps 31 characters; the rest of the word is read and dropped.
      {"10-MB name", two_points + "l={1}\n0 1\nn=", 10 * megabyte, 'n', "\n", ""},
      {"more points announced than follow", "p={250000}", megabyte, ' ', "",
       "line 1: expected 4 coordinates of point 1 of 250000"},
      // Lines of a mebibyte.
      {"million-digit coordinate", "p={1}\n", megabyte, '7', " 0 0 0\nl={0}\n", ""},
      {"million-digit fraction", "p={1}\n0.", megabyte, '7', " 0 0 0\nl={0}\n", ""},
      {"million-digit exponent", "p={1}\n1e", megabyte, '7', " 0 0 0\nl={0}\n", ""},
      {"million-digit count", "p={", megabyte, '7', "}\n",
       "line 1: the point count does not fit 32 bits"},
      {"million zeros before a count", "p={", megabyte, '0', "2}\n1 2 3 4\n5 6 7 8\nl={0}\n", ""},
      {"million-digit index", two_points + "l={1}\n0 ", megabyte, '7', "\n",
       "line 5: point index of line 1 of 1 does not fit 32 bits"},
      {"million blanks between coordinates", "p={1}\n1", megabyte, ' ', "2 3 4\nl={0}\n", ""},
      {"million blanks, then garbage", "p={1}\n1 2 3", megabyte, ' ', "x\n",
       "line 2: expected 4 coordinates of point 1 of 1"},
      {"million minus signs", "p={1}\n", megabyte, '-', "\n",
       "line 2: expected 4 coordinates of point 1 of 1"},
  };
  int refusals = 0;
  long most_memory_kib = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::size_t size = write_object(c.head + std::string(c.run_size, c.run) + c.tail);
    const program_run result = run_written();
    expect_sound(result, size);
    most_memory_kib = std::max(most_memory_kib, result.peak_resident_kib);
    if (c.error.empty()) {
      expect_loaded(result);
    } else {
      ++refusals;
      EXPECT_EQ(result.status, refused_status);
      EXPECT_EQ(result.err, refusal(c.error));
    }
  }
  std::printf("%zu hostile files: %d refused, %zu loaded; peak memory %ld KiB at most, "
              "%ld KiB for a tiny file\n",
              std::size(cases), refusals, std::size(cases) - refusals, most_memory_kib,
              baseline_kib);
}

// A file cut short anywhere, even inside a number or a literal, either still loads (an object
// with fewer digits, or without its name) or is refused with the line where its text ends.
TEST_F(hostile_files, every_cut_of_a_valid_file_loads_or_is_refused) {
  const std::string whole = "p={3}\n"
                            "1.5 -2 0.25 4\n"
                            "0 1e-3 -0.125 8\n"
                            "3 2 1 0\n"
                            "l={2}\n"
                            "0 1\n"
                            "2 0\n"
                            "n=Triangle\n";
  const std::regex refused("ZORV: " + file_name + ": line [1-8]: [^\n]*\\.\n");
  int loaded = 0;
  int refusals = 0;
  for (std::size_t size = 0; size <= whole.size(); ++size) {
    SCOPED_TRACE(testing::Message() << "cut after " << size << " bytes");
    write_object(whole.substr(0, size));
    const program_run result = run_written();
    expect_sound(result, size);
    if (result.status == refused_status) {
      EXPECT_TRUE(std::regex_match(result.err, refused)) << result.err;
      ++refusals;
    } else {
      expect_loaded(result);
      ++loaded;
    }
  }
  std::printf("%zu cuts: %d loaded, %d refused\n", whole.size() + 1, loaded, refusals);
  // Only the last line's cuts leave a whole object: the name is optional, the lines are not.
  EXPECT_GT(loaded, 0);
  EXPECT_GT(refusals, 0);
}

} // namespace
} // namespace zorv
