// Runs the built generators and checks every byte they write: the worked examples, the output
// against the same loops written with printf, the argument checks and the write error report.
#include "object.hpp"
#include "output.hpp"
#include "printf_generators.hpp"
#include "run_program.hpp"
#include "zorv_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct run_result {
  std::string out;
  std::string err;
  int status; // the exit status, or 128 + the signal that ended the program
};

// Runs a built program with `args` in a private directory; its standard output goes to
// `stdout_path` when given and is captured otherwise, its standard error is always captured.
run_result run(const std::string& program, const std::vector<std::string>& args,
               const char* stdout_path = nullptr) {
  run_result result{"", "", -1};
  zorv::testrun::run_options options;
  options.dir = zorv::testrun::make_temp_dir();
  if (stdout_path != nullptr) options.stdout_fd = open(stdout_path, O_WRONLY | O_CLOEXEC);
  if (options.dir.empty() || (stdout_path != nullptr && options.stdout_fd < 0)) {
    ADD_FAILURE() << "cannot open the output files: " << std::strerror(errno);
  } else {
    const zorv::testrun::program_run ran =
        zorv::testrun::run_program(std::string(ZORV_BIN_DIR) + "/" + program, args, options);
    result = {ran.out, ran.err, zorv::testrun::shell_status(ran)};
  }
  if (options.stdout_fd >= 0) close(options.stdout_fd);
  zorv::testrun::remove_temp_dir(options.dir);
  return result;
}

using printf_generator = void (*)(FILE*, int, int);

// What the printf loops write for the given counts.
std::string printf_output(printf_generator generate, int nx, int ny) {
  char* data = nullptr;
  std::size_t size = 0;
  FILE* stream = open_memstream(&data, &size);
  if (stream == nullptr) return "open_memstream failed";
  generate(stream, nx, ny);
  std::fclose(stream);
  std::string text(data, size);
  std::free(data);
  return text;
}

printf_generator printf_loops(const std::string& program) {
  if (program == "hoopgen") return zorv::printf_hoopgen;
  if (program == "hoopstack") return zorv::printf_hoopstack;
  return zorv::printf_ripplegen;
}

std::string upper_case(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string usage_message(const std::string& program) {
  const std::string name = upper_case(program);
  const char* arguments =
      program == "ripplegen" ? "<x grid size> <y grid size>" : "<x increments> <y increments>";
  return name + ": need parameters.\n  usage: " + name + " " + arguments + "\n";
}

// Empty when `text` is a whole object file: each count matches the records that follow it, every
// line joins two existing points and the name line ends the file. Otherwise what is wrong.
std::string object_fault(const std::string& text) {
  std::istringstream in(text);
  std::string line;
  int points = 0;
  int lines = 0;
  char extra = 0;
  if (!std::getline(in, line) || std::sscanf(line.c_str(), "p={%d}%c", &points, &extra) != 1)
    return "bad point count line: " + line;
  for (int p = 0; p < points; ++p) {
    double x, y, z, w;
    if (!std::getline(in, line) ||
        std::sscanf(line.c_str(), "%lf %lf %lf %lf %c", &x, &y, &z, &w, &extra) != 4)
      return "bad point " + std::to_string(p) + ": " + line;
  }
  if (!std::getline(in, line) || std::sscanf(line.c_str(), "l={%d}%c", &lines, &extra) != 1)
    return "bad line count line: " + line;
  for (int l = 0; l < lines; ++l) {
    int first = -1;
    int second = -1;
    if (!std::getline(in, line) ||
        std::sscanf(line.c_str(), "%d %d %c", &first, &second, &extra) != 2 || first < 0 ||
        first >= points || second < 0 || second >= points)
      return "bad line " + std::to_string(l) + ": " + line;
  }
  if (!std::getline(in, line) || line.rfind("n=", 0) != 0 || line.size() < 3 ||
      line.find_first_of(" \t\r") != std::string::npos)
    return "bad name line: " + line;
  if (in.peek() != EOF) return "text after the name line";
  if (text.back() != '\n') return "no line feed after the name";
  return "";
}

TEST(GeneratorsTest, WriteTheWorkedExamples) {
  const struct {
    const char* program;
    std::vector<std::string> args;
    const char* expected;
  } cases[] = {
      {"hoopgen",
       {"3", "2"},
       "p={6}\n"
       "1.00000 0.00000 1.00000 0.00000\n"
       "-0.50000 0.86603 1.00000 0.00000\n"
       "-0.50000 -0.86603 1.00000 0.00000\n"
       "1.00000 0.00000 -1.00000 0.00000\n"
       "-0.50000 0.86603 -1.00000 0.00000\n"
       "-0.50000 -0.86603 -1.00000 0.00000\n"
       "l={12}\n"
       "0 1\n1 2\n3 4\n4 5\n0 2\n3 5\n0 3\n1 4\n2 5\n0 3\n1 4\n2 5\n"
       "n=CliffordTorus-3x2\n"},
      {"hoopstack",
       {"3", "2"},
       "p={6}\n"
       "1.00000 0.00000 1.00000 0.00000\n"
       "-0.50000 0.86603 1.00000 0.00000\n"
       "-0.50000 -0.86603 1.00000 0.00000\n"
       "1.00000 0.00000 -1.00000 0.00000\n"
       "-0.50000 0.86603 -1.00000 0.00000\n"
       "-0.50000 -0.86603 -1.00000 0.00000\n"
       "l={6}\n"
       "0 1\n3 4\n1 2\n4 5\n2 0\n5 3\n"
       "n=CutCliffordTorus-3x2\n"},
      {"ripplegen",
       {"2", "2"},
       "p={4}\n"
       "-1.000000 -0.260115 -1.000000 0\n"
       "0.000000 -0.130058 -1.000000 0\n"
       "-1.000000 -0.130058 0.000000 0\n"
       "0.000000 0.000000 0.000000 0\n"
       "l={4}\n"
       "0 1\n2 3\n0 2\n1 3\n"
       "n=RIPPLEGENV2.1.2CREATED\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.program);
    const run_result result = run(c.program, c.args);
    EXPECT_EQ(result.out, c.expected);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 0);
  }
}

TEST(GeneratorsTest, HoopgenFourByFour) {
  const run_result result = run("hoopgen", {"4", "4"});
  EXPECT_EQ(result.status, 0);
  std::istringstream in(result.out);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  ASSERT_EQ(lines.size(), 1u + 16u + 1u + 32u + 1u);
  EXPECT_EQ(lines[0], "p={16}");
  EXPECT_EQ(lines[1], "1.00000 0.00000 1.00000 0.00000");
  // cos(3pi/2) is a tiny negative number: printf keeps its sign.
  EXPECT_EQ(lines[4], "-0.00000 -1.00000 1.00000 0.00000");
  EXPECT_EQ(lines[17], "l={32}");
  EXPECT_EQ(lines.back(), "n=CliffordTorus-4x4");
}

// The printf loops are the oracle for the fast writer; the sizes cross the output buffer's
// boundary, and include single rings and single points per ring where the program allows them.
TEST(GeneratorsTest, MatchPrintfByteForByte) {
  const struct {
    const char* program;
    int nx;
    int ny;
  } cases[] = {
      {"hoopgen", 1, 1},       {"hoopgen", 2, 2},     {"hoopgen", 3, 2},    {"hoopgen", 5, 3},
      {"hoopgen", 8, 8},       {"hoopgen", 24, 12},   {"hoopgen", 7, 31},   {"hoopgen", 1, 5},
      {"hoopgen", 6, 1},       {"hoopgen", 300, 200}, {"hoopstack", 1, 1},  {"hoopstack", 2, 3},
      {"hoopstack", 5, 4},     {"hoopstack", 24, 12}, {"hoopstack", 1, 4},  {"hoopstack", 9, 1},
      {"hoopstack", 200, 300}, {"ripplegen", 2, 2},   {"ripplegen", 3, 3},  {"ripplegen", 4, 5},
      {"ripplegen", 24, 12},   {"ripplegen", 2, 9},   {"ripplegen", 31, 2}, {"ripplegen", 300, 200},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " " + std::to_string(c.nx) + " " + std::to_string(c.ny));
    const run_result result = run(c.program, {std::to_string(c.nx), std::to_string(c.ny)});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(object_fault(result.out), "");
    // Compared as a flag so that a mismatch does not print megabytes.
    const bool same = result.out == printf_output(printf_loops(c.program), c.nx, c.ny);
    EXPECT_TRUE(same);
  }
}

TEST(GeneratorsTest, ReadCountsAsAtoiDoes) {
  const struct {
    const char* program;
    std::vector<std::string> args;
    int nx;
    int ny;
  } cases[] = {
      {"hoopgen", {"3abc", "2"}, 3, 2},      {"hoopgen", {" +3", "2.9"}, 3, 2},
      {"hoopstack", {"03", "2x4"}, 3, 2},    {"ripplegen", {"\t4", "3 7"}, 4, 3},
      {"ripplegen", {"0000002", "2"}, 2, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.program) + " '" + c.args[0] + "' '" + c.args[1] + "'");
    const run_result result = run(c.program, c.args);
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, printf_output(printf_loops(c.program), c.nx, c.ny));
  }
}

// Counts that would not give an object, or whose point or line count does not fit an int, are
// refused like a wrong argument count: the usage message, status 255, nothing on standard output.
TEST(GeneratorsTest, RejectUnusableArguments) {
  const struct {
    const char* program;
    std::vector<std::string> args;
  } cases[] = {
      {"hoopgen", {}},
      {"hoopgen", {"3"}},
      {"hoopgen", {"3", "2", "1"}},
      {"hoopgen", {"0", "2"}},
      {"hoopgen", {"3", "0"}},
      {"hoopgen", {"-3", "2"}},
      {"hoopgen", {"abc", "2"}},
      {"hoopgen", {"", "2"}},
      {"hoopgen", {"99999999999", "2"}},
      {"hoopgen", {"3", "-99999999999"}},
      {"hoopgen", {"2147483648", "1"}},
      {"hoopgen", {"65536", "32768"}}, // points overflow
      {"hoopgen", {"32768", "32768"}}, // only the line count overflows
      {"hoopstack", {}},
      {"hoopstack", {"3"}},
      {"hoopstack", {"3", "2", "1"}},
      {"hoopstack", {"2", "0"}},
      {"hoopstack", {"-1", "2"}},
      {"hoopstack", {"x", "2"}},
      {"hoopstack", {"46341", "46341"}},
      {"hoopstack", {"99999999999", "1"}},
      {"ripplegen", {}},
      {"ripplegen", {"3"}},
      {"ripplegen", {"3", "2", "1"}},
      {"ripplegen", {"1", "5"}}, // a size of 1 halves to 0 and divides by it
      {"ripplegen", {"5", "1"}},
      {"ripplegen", {"0", "0"}},
      {"ripplegen", {"-4", "4"}},
      {"ripplegen", {"40000", "40000"}}, // only the line count overflows
      {"ripplegen", {"4", "99999999999"}},
  };
  for (const auto& c : cases) {
    std::string trace = c.program;
    for (const std::string& arg : c.args) trace += " '" + arg + "'";
    SCOPED_TRACE(trace);
    const run_result result = run(c.program, c.args);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, usage_message(c.program));
  }
}

// --help and --version, alone, answer on standard output with status 0 (into a full disk, 1); with
// anything else on the command line they are arguments like any other, refused.
TEST(GeneratorsTest, AnswerHelpAndVersion) {
  for (const std::string program : {"hoopgen", "hoopstack", "ripplegen", "cellgen"}) {
    SCOPED_TRACE(program);
    const run_result help = run(program, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: " + program + " <")) << help.out;
    EXPECT_NE(help.out.find("--version"), std::string::npos) << help.out;
    EXPECT_EQ(help.err, "");
    const run_result version = run(program, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, program + " " ZORV_VERSION "\n");
    EXPECT_EQ(version.err, "");
    EXPECT_EQ(run(program, {"--help"}, "/dev/full").status, 1);
    const run_result mixed = run(program, {"--help", "2"});
    EXPECT_EQ(mixed.status, 255);
    EXPECT_EQ(mixed.out, "");
  }
}

// A full disk must not look like success: small outputs fail at the final flush, large ones
// part-way through.
TEST(GeneratorsTest, ReportWriteErrors) {
  const std::string no_space = std::strerror(ENOSPC);
  for (const char* program : {"hoopgen", "hoopstack", "ripplegen"}) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"3", "2"}, std::vector<std::string>{"2000", "1000"}}) {
      SCOPED_TRACE(std::string(program) + " " + args[0] + " " + args[1]);
      const run_result result = run(program, args, "/dev/full");
      EXPECT_EQ(result.status, 1);
      EXPECT_EQ(result.err, upper_case(program) + ": write error: " + no_space + "\n");
    }
  }
  const run_result cells = run("cellgen", {"600"}, "/dev/full");
  EXPECT_EQ(cells.status, 1);
  EXPECT_EQ(cells.err, "CELLGEN: write error: " + no_space + "\n");
}

// The six regular polytopes, read back through the viewer's own parser: the counts, one degree at
// every vertex, one edge length and one radius within the five written decimals, edges written
// smaller index first and sorted, points sorted by decreasing x, y, z, w.
TEST(CellgenTest, WritesTheSixRegularPolytopes) {
  const struct {
    int cells, vertices, edges, degree;
  } cases[] = {{5, 5, 10, 4},   {8, 16, 32, 4},      {16, 8, 24, 6},
               {24, 24, 96, 8}, {120, 600, 1200, 4}, {600, 120, 720, 12}};
  constexpr double written_precision = 2e-5; // five decimals on each of four coordinates
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cells);
    const run_result result = run("cellgen", {std::to_string(c.cells)});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(object_fault(result.out), "");
    zorv::object_record object{};
    std::string error;
    ASSERT_TRUE(zorv::parse_object(result.out, object, error)) << error;
    EXPECT_EQ(object.point_count, c.vertices);
    EXPECT_EQ(object.line_count, c.edges);
    EXPECT_STREQ(object.name, (std::to_string(c.cells) + "-cell").c_str());

    const auto coordinates = [](const zorv::point& p) { return std::array{p.x, p.y, p.z, p.w}; };
    for (std::size_t i = 0; i < object.points.size(); ++i) {
      const zorv::point& p = object.points[i];
      EXPECT_NEAR(std::sqrt(p.x * p.x + p.y * p.y + p.z * p.z + p.w * p.w), 1.0, written_precision);
      if (i > 0) {
        EXPECT_GT(coordinates(object.points[i - 1]), coordinates(p)) << "point " << i;
      }
    }
    std::vector<int> degree(object.points.size());
    std::vector<double> lengths;
    for (std::size_t j = 0; j < object.lines.size(); ++j) {
      const zorv::line& l = object.lines[j];
      EXPECT_LT(l.first, l.second);
      if (j > 0) {
        const zorv::line& before = object.lines[j - 1];
        EXPECT_LT(std::pair(before.first, before.second), std::pair(l.first, l.second));
      }
      ++degree[l.first];
      ++degree[l.second];
      const zorv::point &a = object.points[l.first], &b = object.points[l.second];
      lengths.push_back(std::sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y) +
                                  (a.z - b.z) * (a.z - b.z) + (a.w - b.w) * (a.w - b.w)));
    }
    for (int d : degree) EXPECT_EQ(d, c.degree);
    const auto [shortest, longest] = std::minmax_element(lengths.begin(), lengths.end());
    EXPECT_LT(*longest - *shortest, 2 * written_precision);
  }
}

TEST(CellgenTest, RejectsWhatNamesNoPolytope) {
  const std::string usage = "  usage: CELLGEN <cells: 5, 8, 16, 24, 120 or 600>\n";
  const struct {
    std::vector<std::string> args;
    std::string message;
  } cases[] = {
      {{}, "CELLGEN: need parameters.\n"},
      {{"24", "120"}, "CELLGEN: need parameters.\n"},
      {{"7"}, "CELLGEN: no regular polytope with 7 cells.\n"},
      {{"0"}, "CELLGEN: no regular polytope with 0 cells.\n"},
      {{"-5"}, "CELLGEN: no regular polytope with -5 cells.\n"},
      {{"seven"}, "CELLGEN: no regular polytope with seven cells.\n"},
      // Read as the other generators read their counts: beyond an int is refused, not wrapped
      // (atoi made 4294967301 a 5).
      {{"4294967301"}, "CELLGEN: no regular polytope with 4294967301 cells.\n"},
      {{"-4294967291"}, "CELLGEN: no regular polytope with -4294967291 cells.\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.message);
    const run_result result = run("cellgen", c.args);
    EXPECT_EQ(result.status, 255);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, c.message + usage);
  }
}

std::string printf_fixed(const char* format, double value) {
  char text[zorv::longest_number + 1];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

template <int decimals> std::string fast_fixed(double value) {
  char text[zorv::longest_number];
  return std::string(text, zorv::format_fixed<decimals>(text, value));
}

void expect_printf_digits(double value) {
  EXPECT_EQ(fast_fixed<5>(value), printf_fixed("%.5f", value)) << std::hexfloat << value;
  EXPECT_EQ(fast_fixed<6>(value), printf_fixed("%f", value)) << std::hexfloat << value;
}

// The writer's own rounding, checked where it is hardest: exact ties (multiples of 1/64 and 1/128
// end in a 5 just past the fifth and sixth decimal) and their neighbours, signs, values at its
// size limit and beyond, and a large random sample.
TEST(NumberWriterTest, FormatsAsPrintfDoes) {
  for (int k = -2000; k <= 2000; ++k) {
    for (const double tie : {k / 64.0, k / 128.0, k / 1e5 + 5e-6, k / 1e6 + 5e-7}) {
      expect_printf_digits(tie);
      expect_printf_digits(std::nextafter(tie, -HUGE_VAL));
      expect_printf_digits(std::nextafter(tie, HUGE_VAL));
    }
  }
  for (const double value :
       {0.0, -0.0, -1.8369701987210297e-16, 1e-300, -4.9e-324, 0.999995, 0.9999995, -0.999995,
        999999999.999995, 1e9, -1e9, std::nextafter(1e9, 0.0), 4503599627370496.5, 1e22, 1e300,
        -DBL_MAX, DBL_MAX, HUGE_VAL, -HUGE_VAL}) {
    expect_printf_digits(value);
  }
  std::mt19937_64 random(20261209);
  std::uniform_real_distribution<double> unit(-3.0, 3.0);
  std::uniform_int_distribution<int> exponent(-30, 40);
  for (int n = 0; n < 200000; ++n) {
    const double value = std::ldexp(unit(random), exponent(random));
    expect_printf_digits(value);
  }
}

} // namespace
