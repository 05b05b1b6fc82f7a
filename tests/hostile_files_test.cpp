// Hostile object files, of zorv's own format and OFF, through the real zorv program, end to end:
// each is refused with a message that names the file and the line, and status 255, or loads; none
// crashes, hangs or allocates far beyond its own size. DISPLAY is empty, so a file that loads ends
// at once at the display, with status 1 after the count report.
#include "run_program.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <random>
#include <regex>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

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

const std::string point_line = "-0.70711 0.70711 1.00000 -0.00000\n";
const std::string three_vertices = "0 0 0\n1 0 0\n0 1 0\n";

class HostileFilesTest : public testing::Test {
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
  std::size_t write_object(const std::string& text) { return write_object(text, 0, "", ""); }

  // The same for head, count copies of run and tail, written piece by piece: this process stays
  // small, since a forked child's peak memory counts what it shared with it before its exec.
  std::size_t write_object(const std::string& head, std::size_t count, const std::string& run,
                           const std::string& tail) {
    std::ofstream file(dir + "/" + file_name, std::ios::binary);
    file << head;
    for (std::size_t i = 0; i < count; ++i) file << run;
    file << tail;
    return head.size() + count * run.size() + tail.size();
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

TEST_F(HostileFilesTest, AreRefusedWithTheLineOrLoadedNeverCrashOrHang) {
  // Large files are written a piece at a time, never held whole (see write_object).
  const struct {
    const char* what;
    std::string head;
    std::size_t run_size; // then this many copies of run
    std::string run;
    std::string tail;
    std::string error; // the refusal after "line ", or empty for a file that loads
  } cases[] = {
      {"empty", "", 0, "", "", "line 1: expected \"p={\""},
      {"binary garbage", garbage(64 * 1024), 0, "", "", "line 1: expected \"p={\""},
      {"garbage for the points", "p={2}\n" + garbage(64 * 1024), 0, "", "",
       "line 2: expected 4 coordinates of point 1 of 2"},
      {"point count -1", "p={-1}\n", 0, "", "", "line 1: negative point count -1"},
      {"point count 0", "p={0}\nl={0}\nn=nothing\n", 0, "", "", ""},
      {"point count 2147483647", "p={2147483647}\n1 2 3 4\n", 0, "", "",
       "line 1: point count 2147483647 is more than the file can hold"},
      {"point count 2147483648", "p={2147483648}\n", 0, "", "",
       "line 1: the point count does not fit 32 bits"},
      {"line count -1", two_points + "l={-1}\n", 0, "", "", "line 4: negative line count -1"},
      {"line count 0", two_points + "l={0}\nn=points\n", 0, "", "", ""},
      {"line count 2147483647", two_points + "l={2147483647}\n0 1\n", 0, "", "",
       "line 4: line count 2147483647 is more than the file can hold"},
      {"index -1", two_points + "l={1}\n0 -1\n", 0, "", "",
       "line 5: point index -1 of line 1 of 1 is out of range for 2 points"},
      {"index point_count", two_points + "l={1}\n2 0\n", 0, "", "",
       "line 5: point index 2 of line 1 of 1 is out of range for 2 points"},
      {"index below -2^31", two_points + "l={1}\n0 -2147483649\n", 0, "", "",
       "line 5: point index of line 1 of 1 does not fit 32 bits"},
      {"NUL in the count", "p={", 1, std::string(1, '\0'), "}\n",
       "line 1: expected the point count"},
      {"NUL among coordinates", "p={2}\n1 2", 1, std::string(1, '\0'), "3 4\n5 6 7 8\n",
       "line 2: expected 4 coordinates of point 1 of 2"},
      {"NUL in an index", two_points + "l={1}\n0 ", 1, std::string(1, '\0'), "\n",
       "line 5: expected 2 point indices of line 1 of 1"},
      {"NUL in the name", two_points + "l={1}\n0 1\nn=a", 1, std::string(1, '\0'), "b\n", ""},
      // The name field keeps 31 characters; the rest of the word is read and dropped.
      {"10-MB name", two_points + "l={1}\n0 1\nn=", 10 * megabyte, "n", "\n", ""},
      {"more points announced than follow", "p={250000}", megabyte, " ", "",
       "line 1: expected 4 coordinates of point 1 of 250000"},
      // Lines of a mebibyte.
      {"million-digit coordinate", "p={1}\n", megabyte, "7", " 0 0 0\nl={0}\n", ""},
      {"million-digit fraction", "p={1}\n0.", megabyte, "7", " 0 0 0\nl={0}\n", ""},
      {"million-digit exponent", "p={1}\n1e", megabyte, "7", " 0 0 0\nl={0}\n", ""},
      {"million-digit count", "p={", megabyte, "7", "}\n",
       "line 1: the point count does not fit 32 bits"},
      {"million zeros before a count", "p={", megabyte, "0", "2}\n1 2 3 4\n5 6 7 8\nl={0}\n", ""},
      {"million-digit index", two_points + "l={1}\n0 ", megabyte, "7", "\n",
       "line 5: point index of line 1 of 1 does not fit 32 bits"},
      {"million blanks between coordinates", "p={1}\n1", megabyte, " ", "2 3 4\nl={0}\n", ""},
      {"million blanks, then garbage", "p={1}\n1 2 3", megabyte, " ", "x\n",
       "line 2: expected 4 coordinates of point 1 of 1"},
      {"million minus signs", "p={1}\n", megabyte, "-", "\n",
       "line 2: expected 4 coordinates of point 1 of 1"},
      // Lines longer than any number may be, and text far beyond the loader's first window.
      {"coordinate of 5 MiB", "p={1}\n1 2 3\n", 5 * megabyte, "7", "\nl={0}\n",
       "line 3: number longer than 4194304 characters"},
      {"count of 5 MiB", "p={", 5 * megabyte, "0", "1}\n",
       "line 1: number longer than 4194304 characters"},
      {"million line feeds after the last point", "p={2}\n1 2 3 4", megabyte, "\n", "",
       "line 2: expected 4 coordinates of point 2 of 2"},
      {"bad coordinate 8 MB into the file", "p={250000}\n", 249'999, point_line, "0 0 x 0\n",
       "line 250001: expected 4 coordinates of point 250000 of 250000"},
      // OFF files.
      {"OFF: garbage for the vertices", "OFF\n2 0\n" + garbage(64 * 1024), 0, "", "",
       "line 3: expected 3 coordinates of vertex 1 of 2"},
      {"OFF: vertex count 2147483647", "OFF\n2147483647 0\n0 0 0\n", 0, "", "",
       "line 2: vertex count 2147483647 is more than the file can hold"},
      {"OFF: index -1", "OFF\n3 1\n" + three_vertices + "3 0 -1 2\n", 0, "", "",
       "line 6: vertex index -1 of face 1 of 1 is out of range for 3 vertices"},
      {"OFF: NUL among the indices", "OFF\n3 1\n" + three_vertices + "3 0 ", 1,
       std::string(1, '\0'), " 2\n", "line 6: expected 3 vertex indices of face 1 of 1"},
      {"OFF: million-digit index", "OFF\n3 1\n" + three_vertices + "3 0 1 ", megabyte, "7", "\n",
       "line 6: vertex index of face 1 of 1 does not fit 32 bits"},
      {"OFF: index of 5 MiB", "OFF\n3 1\n" + three_vertices + "3 0 1 ", 5 * megabyte, "0", "\n",
       "line 6: number longer than 4194304 characters"},
      {"OFF: a comment of a mebibyte", "OFF # ", megabyte, "c",
       "\n3 1\n" + three_vertices + "3 0 1 2\n", ""},
      {"OFF: a colour line of a mebibyte", "OFF\n3 1\n" + three_vertices + "3 0 1 2 ", megabyte,
       "0.5 ", "\n", ""},
      {"a mebibyte of blank lines before OFF", "", megabyte, "\n", "OFF\n0 0\n",
       "line 1: expected \"p={\""},
      // Files that look like OFF but are not read, refused as what they are.
      {"a gzip-compressed OFF file", std::string("\x1F\x8B\x08\0", 4) + garbage(1024), 0, "", "",
       "line 1: a compressed file: decompress it first"},
      {"a 5-dimensional OFF file", "5OFF\n1 0\n0 0 0 0 0\n", 0, "", "",
       "line 1: 5-dimensional OFF files are not read (zorv shows 4 dimensions)"},
      {"OFF: counts glued to the keyword", "OFF8 6 12\n", 0, "", "",
       "line 1: the counts must be parted from the keyword OFF by white space, as in OFF 8"},
      {"OFF: a face of no vertices, the file's last byte", "OFF\n1 1\n0 0 0\n0", 0, "", "",
       "line 4: face 1 of 1 has no vertices"},
      {"OFF: a dimension of 14 digits", "nOFF 99999999999999\n", 0, "", "",
       "line 1: dimension 99999999999999 is more than 4"},
  };
  int refusals = 0;
  long most_memory_kib = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::size_t size = write_object(c.head, c.run_size, c.run, c.tail);
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

// What a writer puts into a pipe: head, count copies of run, then repeat over and over (or
// nothing more, if it is empty).
struct stream_text {
  std::string head;
  int count = 0;
  std::string run, repeat;
};

// Writes the text into the pipe's write end from a child process, which ends when its reader goes
// away. The child makes the text itself, so that this process stays small.
pid_t start_writer(int ends[2], const stream_text& text) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  close(ends[0]);
  const auto put = [&](const std::string& bytes) {
    if (!bytes.empty() && write(ends[1], bytes.data(), bytes.size()) < 0) _exit(0);
  };
  put(text.head);
  for (int i = 0; i < text.count; ++i) put(text.run);
  std::string block;
  while (!text.repeat.empty() && block.size() < 64 * 1024) block += text.repeat;
  if (block.empty()) _exit(0);
  for (;;) put(block);
}

// Streams that never end and files of gigabytes are refused at their first bad line, without
// reading on: quickly and in a few MiB, whatever the source.
TEST_F(HostileFilesTest, EndlessOrHugeStreamsAreRefusedAtOnceInBoundedMemory) {
  constexpr auto deadline = std::chrono::seconds(5);
  constexpr long memory_kib = 16 * 1024; // beyond that of a tiny file
  constexpr off_t sparse_size = off_t{4} << 30;
  const std::string sparse_name = "sparse.zorv";
  {
    const int fd = open((dir + "/" + sparse_name).c_str(), O_WRONLY | O_CREAT, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, sparse_size), 0); // a hole: no disk, and zeros when read
    close(fd);
  }
  const std::string expected_p = "line 1: expected \"p={\"";
  long most_memory_kib = 0;
  const struct {
    const char* what;
    std::string file; // "/dev/stdin": a pipe with the text written into it
    stream_text text;
    std::string error;
  } cases[] = {
      {"zorv /dev/zero", "/dev/zero", {}, expected_p},
      {"a sparse file of 4 GiB", sparse_name, {}, expected_p},
      {"yes | zorv /dev/stdin", "/dev/stdin", {"", 0, "", "y\n"}, expected_p},
      {"a count, then yes",
       "/dev/stdin",
       {"p={5}\n", 0, "", "y\n"},
       "line 2: expected 4 coordinates of point 1 of 5"},
      {"a count, then zeros",
       "/dev/stdin",
       {"p={5}\n", 0, "", std::string(1, '\0')},
       "line 2: expected 4 coordinates of point 1 of 5"},
      {"points, then endless garbage",
       "/dev/stdin",
       {"p={100000}\n", 99'999, point_line, "x\n"},
       "line 100001: expected 4 coordinates of point 100000 of 100000"},
      {"a count more than a short stream holds",
       "/dev/stdin",
       {"p={2000000000}\n1 2 3 4\n", 0, "", ""},
       "line 1: point count 2000000000 is more than the file can hold"},
      {"endless comment lines", "/dev/stdin", {"", 0, "", "# no keyword\n"}, expected_p},
      {"endless blank lines", "/dev/stdin", {"", 0, "", "\n"}, expected_p},
      {"OFF counts, then zeros",
       "/dev/stdin",
       {"OFF\n5 1\n", 0, "", std::string(1, '\0')},
       "line 3: expected 3 coordinates of vertex 1 of 5"},
      {"OFF faces, then endless garbage",
       "/dev/stdin",
       {"OFF\n3 100000\n" + three_vertices, 99'999, "3 0 1 2\n", "x\n"},
       "line 100005: expected the vertex count of face 100000 of 100000"},
      {"an OFF count more than a short stream holds",
       "/dev/stdin",
       {"4OFF\n2000000000 0\n1 2 3 4\n", 0, "", ""},
       "line 2: vertex count 2000000000 is more than the file can hold"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    run_options options;
    options.dir = dir;
    options.environment = {{"DISPLAY", ""}};
    options.deadline = deadline;
    int ends[2] = {-1, -1};
    pid_t writer = -1;
    if (c.file == "/dev/stdin") {
      ASSERT_EQ(pipe(ends), 0);
      writer = start_writer(ends, c.text);
      close(ends[1]);
      options.stdin_fd = ends[0];
    }
    const program_run result = run_program(zorv_binary, {c.file}, options);
    if (writer > 0) {
      close(ends[0]);
      kill(writer, SIGKILL);
      waitpid(writer, nullptr, 0);
    }
    EXPECT_TRUE(result.ended) << "still reading after " << deadline.count() << " s";
    EXPECT_FALSE(result.signalled) << "ended by signal " << result.status;
    EXPECT_EQ(result.status, refused_status);
    EXPECT_EQ(result.err, "ZORV: " + c.file + ": " + c.error + ".\n");
    EXPECT_LE(result.peak_resident_kib, baseline_kib + memory_kib);
    most_memory_kib = std::max(most_memory_kib, result.peak_resident_kib);
  }
  std::printf("%zu endless or huge streams refused; peak memory %ld KiB at most, %ld KiB for a "
              "tiny file\n",
              std::size(cases), most_memory_kib, baseline_kib);
}

// A file cut short anywhere, even inside a number or a literal, either still loads (an object
// with fewer digits, or without its name) or is refused with the line where its text ends.
TEST_F(HostileFilesTest, EveryCutOfAValidFileLoadsOrIsRefused) {
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
