// The object loader: what it accepts and how it reads it, what it refuses and what it says, and
// a reference loader written with sscanf and the file's own formats, which parse_object must
// match bit for bit on every file the C library reads completely.
#include "load.hpp"
#include "loader_texts.hpp"
#include "object.hpp"
#include "run_program.hpp"
#include "zorv_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <iterator>
#include <optional>
#include <ostream>
#include <random>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

using zorv::object_record;

using zorv::escape_regex;
using zorv::expect_same_through_windows;
using zorv::mutated;
using zorv::parsed;
using zorv::read_through_window;
using zorv::testrun::write_file;

parsed parse(const std::string& text) {
  parsed result;
  result.ok = zorv::parse_object(text, result.object, result.error);
  return result;
}

std::uint32_t bits(float value) {
  std::uint32_t result;
  std::memcpy(&result, &value, sizeof result);
  return result;
}

// The loaded part of a record, as something a test can compare and print.
struct loaded {
  std::vector<std::uint32_t> coordinate_bits;
  std::vector<std::int32_t> indices;
  std::string name;
  bool operator==(const loaded&) const = default;
};

loaded loaded_part(const object_record& object) {
  loaded result;
  EXPECT_EQ(object.points.size(), static_cast<std::size_t>(object.point_count));
  EXPECT_EQ(object.projected.size(), static_cast<std::size_t>(object.point_count));
  EXPECT_EQ(object.lines.size(), static_cast<std::size_t>(object.line_count));
  for (const zorv::point& q : object.points)
    for (const float v : {q.x, q.y, q.z, q.w}) result.coordinate_bits.push_back(bits(v));
  for (const zorv::line& l : object.lines) {
    result.indices.push_back(l.first);
    result.indices.push_back(l.second);
  }
  result.name = object.name;
  return result;
}

std::ostream& operator<<(std::ostream& out, const loaded& l) {
  out << l.coordinate_bits.size() / 4 << " points, " << l.indices.size() / 2 << " lines, name \""
      << l.name << "\"";
  return out;
}

// The reference: the C library's sscanf with the file's formats, %n marking how far each read
// got, then the checks the loader adds (counts and indices in 32 bits, counts not negative,
// indices naming existing points). Empty when the file is to be refused.
std::optional<loaded> reference_load(const std::string& text) {
  const char* s = text.c_str();
  const auto fits = [](const char* number) {
    errno = 0;
    const long long value = std::strtoll(number, nullptr, 10);
    return errno == 0 && value >= INT_MIN && value <= INT_MAX;
  };
  loaded result;
  int point_count = 0, start = -1, n = -1;
  if (std::sscanf(s, "p={%n%d}\n%n", &start, &point_count, &n) != 1 || n < 0) return {};
  if (!fits(s + start) || point_count < 0) return {};
  s += n;
  for (int i = 0; i < point_count; ++i) {
    float v[4];
    n = -1;
    if (std::sscanf(s, "%f %f %f %f\n%n", &v[0], &v[1], &v[2], &v[3], &n) != 4 || n < 0) return {};
    for (const float x : v) result.coordinate_bits.push_back(bits(x));
    s += n;
  }
  int line_count = 0;
  n = -1;
  if (std::sscanf(s, "l={%n%d}\n%n", &start, &line_count, &n) != 1 || n < 0) return {};
  if (!fits(s + start) || line_count < 0) return {};
  s += n;
  for (int i = 0; i < line_count; ++i) {
    int first = 0, second = 0, second_start = -1;
    n = -1;
    if (std::sscanf(s, "%n%d %n%d\n%n", &start, &first, &second_start, &second, &n) != 2 || n < 0)
      return {};
    if (!fits(s + start) || !fits(s + second_start)) return {};
    for (const int index : {first, second}) {
      if (index < 0 || index >= point_count) return {};
      result.indices.push_back(index);
    }
    s += n;
  }
  if (*s == '\0') return result; // no name
  int after_literal = -1;
  std::sscanf(s, "n=%n", &after_literal);
  if (after_literal < 0) return {};
  std::vector<char> name(text.size() + 1);
  if (std::sscanf(s, "n=%s", name.data()) == 1)
    result.name.assign(name.data(), std::min<std::size_t>(std::strlen(name.data()), 31));
  return result;
}

void expect_same_as_reference(const std::string& text) {
  const std::optional<loaded> expected = reference_load(text);
  const parsed got = parse(text);
  ASSERT_EQ(got.ok, expected.has_value()) << '"' << text << "\" " << got.error;
  if (got.ok) {
    ASSERT_EQ(loaded_part(got.object), *expected) << '"' << text << '"';
  }
}

const std::string tidy = "p={3}\n"
                         "1.5 -2 0.25 4\n"
                         "0 1e-3 -0.125 8\n"
                         "3 2 1 0\n"
                         "l={2}\n"
                         "0 1\n"
                         "2 0\n"
                         "n=Triangle\n";

TEST(ParseObjectTest, ReadsATidyFile) {
  const parsed p = parse(tidy);
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(p.object.point_count, 3);
  EXPECT_EQ(p.object.line_count, 2);
  loaded expected;
  for (const float v :
       {1.5f, -2.0f, 0.25f, 4.0f, 0.0f, 1e-3f, -0.125f, 8.0f, 3.0f, 2.0f, 1.0f, 0.0f})
    expected.coordinate_bits.push_back(bits(v));
  expected.indices = {0, 1, 2, 0};
  expected.name = "Triangle";
  EXPECT_EQ(loaded_part(p.object), expected);
}

// White space is only a separator: how much, of which kind and where does not change the object.
TEST(ParseObjectTest, ReadsMessyFilesAsTheTidyOne) {
  std::string crlf;
  for (const char c : tidy) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::string messy[] = {
      "p={3}\n\n  1.5   -2 0.25 4\n\n\n0 1e-3  -0.125 8\n 3 2 1 0 \n\nl={2}\n\n0   1\n2 "
      "0\n\nn=Triangle",
      "p={\t3}\t1.5\t-2\t0.25\t4\t\n0\t1e-3\t-0.125\t8\n3 2 1 0\nl={2}\t0\t1\n2\t0\tn=Triangle\t",
      crlf,
      "p={3}\n1.5 -2 0.25 4 0 1e-3 -0.125 8 3 2 1 0\nl={2}\n0 1 2 0\nn=Triangle\n",
      "p={3}\n1.5 -2 0.25 4 0\n1e-3 -0.125 8 3\n2 1 0\nl={2}\n0 1 2\n0\nn=Triangle\n",
      "p={3}1.5-2 .25e0 4 0 1e-3-0.125 8 3 2 1 0l={2}0 1 2 0n=Triangle",
      "p={ 3}\n1.5 -2 0.25 4\n0 1e-3 -0.125 8\n3 2 1 0\nl={\n2}\n0 1\n2 0\nn=\n\n Triangle and "
      "more\n",
  };
  const loaded expected = loaded_part(parse(tidy).object);
  for (const std::string& text : messy) {
    const parsed p = parse(text);
    ASSERT_TRUE(p.ok) << '"' << text << "\" " << p.error;
    EXPECT_EQ(loaded_part(p.object), expected) << '"' << text << '"';
  }
}

TEST(ParseObjectTest, ReadsAnEmptyObject) {
  const parsed p = parse("p={0}\nl={0}\nn=Nothing\n");
  ASSERT_TRUE(p.ok) << p.error;
  EXPECT_EQ(loaded_part(p.object), (loaded{{}, {}, "Nothing"}));
}

TEST(ParseObjectTest, KeepsWhatTheNameFieldHolds) {
  const std::string name31(31, 'a');
  const std::string name40 = std::string(31, 'b') + "123456789";
  const struct {
    std::string tail, name;
  } cases[] = {
      {"n=" + name31 + "\n", name31},
      {"n=" + name40 + "\n", std::string(31, 'b')},
      {"", ""},          // the file ends after the lines
      {"\n\n", ""},      // and after white space
      {"n=", ""},        // nothing after n=
      {"n=  \r\n", ""},  // only white space after n=
      {"n=\nfoo", "foo"} // the name is the next word, wherever it stands
  };
  for (const auto& c : cases) {
    const parsed p = parse("p={0}\nl={0}\n" + c.tail);
    ASSERT_TRUE(p.ok) << '"' << c.tail << "\" " << p.error;
    EXPECT_EQ(std::string(p.object.name), c.name) << '"' << c.tail << '"';
  }
}

TEST(ParseObjectTest, RefusesWhatIsNotAnObjectFile) {
  const std::string points = "p={2}\n1 2 3 4\n5 6 7 8\n";
  const struct {
    std::string text, error;
  } cases[] = {
      {"", "line 1: expected \"p={\""},
      {"q={0}\nl={0}\n", "line 1: expected \"p={\""},
      {" p={0}\nl={0}\n", "line 1: expected \"p={\""},
      {"p={5 }\n", "line 1: expected \"}\" after the point count"},
      {"p={1\n1 2 3 4\n", "line 1: expected \"}\" after the point count"},
      {"p={x}\n", "line 1: expected the point count"},
      {"p={2}\n1 2 3 4\n5 6 x 8\n", "line 3: expected 4 coordinates of point 2 of 2"},
      {"p={2}\n1 2 3 4\n5 6 7 infinit\n", "line 3: expected 4 coordinates of point 2 of 2"},
      {"p={3}\n1 2 3 4\n5 6 7 8\n", "line 3: expected 4 coordinates of point 3 of 3"},
      {"p={1}\n1 2 3 4 5\nl={0}\n", "line 2: expected \"l={\""},
      {points + "l={2}\n0 1\n", "line 5: expected 2 point indices of line 2 of 2"},
      {"p={-1}\n", "line 1: negative point count -1"},
      {"p={0}\nl={-3}\n", "line 2: negative line count -3"},
      {"p={2147483647}\n1 2 3 4\n",
       "line 1: point count 2147483647 is more than the file can hold"},
      {"p={0}\nl={1000}\n0 0\n", "line 2: line count 1000 is more than the file can hold"},
      {"p={2147483648}\n", "line 1: the point count does not fit 32 bits"},
      {"p={0}\nl={-99999999999}\n", "line 2: the line count does not fit 32 bits"},
      {points + "l={1}\n0 -1\n",
       "line 5: point index -1 of line 1 of 1 is out of range for 2 points"},
      {points + "l={1}\n2 0\n",
       "line 5: point index 2 of line 1 of 1 is out of range for 2 points"},
      {points + "l={1}\n1 4294967296\n", "line 5: point index of line 1 of 1 does not fit 32 bits"},
      {points + "l={0}\nname=x\n", "line 5: expected \"n=\" or the end of the file"},
      {points + "l={0}\nn", "line 5: expected \"n=\" or the end of the file"},
  };
  for (const auto& c : cases) {
    const parsed p = parse(c.text);
    EXPECT_FALSE(p.ok) << '"' << c.text << '"';
    EXPECT_EQ(p.error, c.error) << '"' << c.text << '"';
  }
}

// Each of these is read by the reference exactly as the viewer reads a file with fscanf.
TEST(ParseObjectTest, ReadsLikeTheFileFormatsWithSscanf) {
  const std::string no_lines = "\nl={0}\nn=x\n";
  const std::string cases[] = {
      tidy,
      "p={1}\n+1 -2 -0 +0.0" + no_lines,
      "p={1}\n1e3 1E-3 1e+2 .5e1" + no_lines,
      "p={1}\n1e 2e+ 3E- 4" + no_lines,
      "p={1}\n0x1p3 0X1.8P-1 -0x.8p1 0x10" + no_lines,
      "p={1}\n0x1.000001p-150 0x1p-149 0x1.fffffep127 0x1p128" + no_lines,
      "p={1}\n0x 1 2 3" + no_lines,
      "p={1}\ninf -INF nan Infinity" + no_lines,
      "p={1}\n-nan NAN infinity -infinity" + no_lines,
      "p={1}\nnan(12) 1 2 3" + no_lines,
      "p={1}\ninfinit 1 2 3" + no_lines,
      "p={1}\n1e-45 1e-50 3.4028236e38 1e39" + no_lines,
      "p={1}\n0.1 0.2 0.30000001 16777217" + no_lines,
      "p={0002}\n007 0.0100 00e1 -000\n1 2 3 4" + no_lines,
      "p={1}\n1\n2\n\n3\t4" + no_lines,
      "p={1}\n1-2+3.5.5" + no_lines,
      "p={1}\n1,2,3,4" + no_lines,
      "p={1}\n- 1 2 3 4" + no_lines,
      "p={2}\n1 2 3 4 5\n6 7 8" + no_lines,
      "p={2}\n1 2 3 4 5 6 7" + no_lines,
      "p={ 1}\n1 2 3 4" + no_lines,
      "p={\n\t+1}1 2 3 4" + no_lines,
      "p={1 }\n1 2 3 4" + no_lines,
      "p={1}}\n1 2 3 4" + no_lines,
      "P={0}" + no_lines,
      "p={-0}l={-0}",
      "p={0}l={0}n=",
      "p={0}\nl={0}\nn",
      "p={0}\nl={0}\nn=\n\nfoo bar",
      "p={1}\n1 2 3 4\nl={2}\n0 0 +0 -0\nn=self",
      "p={2}\n1 2 3 4 5 6 7 8\nl={1}\n1 2\n",
      "p={2}\n1 2 3 4 5 6 7 8\nl={1}\n1 -1\n",
      "p={2}\n1 2 3 4 5 6 7 8\nl={1}\n1 4294967296\n",
      "p={4294967297}\n1 2 3 4" + no_lines,
      "p={1}\r\n1 2 3 4\r\nl={0}\r\nn=crlf\r\n",
      "p={0}\nl={0}\nn=" + std::string(40, 'z') + "\r\n",
  };
  for (const std::string& text : cases) expect_same_as_reference(text);
}

// Random edits of a valid file find the corners a table misses: edits with the characters that
// mean something to the format.
constexpr std::string_view alphabet = "0123456789+-.eExXpPinfatyl={}n \t\r\n";

TEST(ParseObjectTest, ReadsMutatedFilesLikeTheReference) {
  constexpr int mutants = 20000;
  std::mt19937 random(4);
  for (int i = 0; i < mutants; ++i) {
    const std::string text = mutated(tidy, random, alphabet);
    expect_same_as_reference(text);
  }
}

// Long files, like the generators', with numbers of many shapes in them: long enough that most of
// each is read from the loader's windows rather than by the scanners one number at a time.
std::string long_file(std::mt19937& random, int points, int lines) {
  static const char* const odd_coordinates[] = {
      "1e3",         "-1.5E-2",   "0x1p3",    "-0",        "+0.0",       "16777216",
      "16777217",    "16777.217", ".5",       "5.",        "00000000.5", "0.00000001",
      "inf",         "-nan",      "12345678", "1234567.8", "-99999999",  "1.000000000001",
      "3.4028236e38"};
  static const char* const separators[] = {" ", " ", "  ", "\t", "\n", "\r\n", "\n\n"};
  const auto separator = [&] { return separators[random() % std::size(separators)]; };
  std::string text = "p={" + std::to_string(points) + "}\n";
  char number[32];
  for (int i = 0; i < points * 4; ++i) {
    if (random() % 16 == 0) {
      text += odd_coordinates[random() % std::size(odd_coordinates)];
    } else {
      const double value = static_cast<double>(random()) / 1e9 - 2.1;
      std::snprintf(number, sizeof number, random() % 4 ? "%.5f" : "%f", value);
      text += number;
    }
    text += i % 4 == 3 ? "\n" : separator();
  }
  text += "l={" + std::to_string(lines) + "}\n";
  for (int i = 0; i < lines * 2; ++i) {
    const int index = static_cast<int>(random() % static_cast<unsigned>(points));
    const unsigned form = random() % 16;
    std::snprintf(number, sizeof number, form == 0 ? "+%d" : form == 1 ? "%08d" : "%d", index);
    text += number;
    text += i % 2 == 1 ? "\n" : separator();
  }
  return text + "n=Long\n";
}

TEST(ParseObjectTest, ReadsLongFilesLikeTheReference) {
  std::mt19937 random(8);
  for (int round = 0; round < 40; ++round) {
    const std::string text = long_file(random, 150, 200);
    ASSERT_TRUE(parse(text).ok) << parse(text).error;
    expect_same_as_reference(text);
  }
}

TEST(ParseObjectTest, ReadsMutatedLongFilesLikeTheReference) {
  constexpr int mutants = 1000;
  std::mt19937 random(9);
  const std::string original = long_file(random, 40, 40);
  for (int i = 0; i < mutants; ++i) {
    const std::string text = mutated(original, random, alphabet);
    expect_same_as_reference(text);
  }
}

// What is refused deep inside a long file is refused with the line where it stands.
TEST(ParseObjectTest, RefusesBadNumbersInLongFiles) {
  std::string points = "p={40}\n";
  for (int i = 0; i < 40; ++i) points += "-0.70711 0.70711 1.00000 -0.00000\n"; // lines 2 to 41
  std::string lines;
  for (int i = 0; i < 40; ++i) lines += "12 39\n"; // lines 43 to 82
  const auto with = [](std::string text, const std::string& find, const std::string& put) {
    const std::size_t at = text.rfind(find);
    return text.replace(at, find.size(), put);
  };
  const std::string last_point = "-0.70711 0.70711 1.00000 -0.00000\n";
  const struct {
    std::string text, error;
  } cases[] = {
      {with(points, last_point, "-0.70711 0.70711 x -0.00000\n") + "l={0}\n",
       "line 41: expected 4 coordinates of point 40 of 40"},
      {with(points, last_point, "-0.70711 0.70711 1.0000\n") + "l={0}\n",
       "line 42: expected 4 coordinates of point 40 of 40"},
      {with(points, last_point, "-0.70711 0.70711 1.0.0 0\n") + "l={0}\n",
       "line 41: expected \"l={\""},
      {points + "l={40}\n" + with(lines, "12 39", "12 40"),
       "line 82: point index 40 of line 40 of 40 is out of range for 40 points"},
      {points + "l={40}\n" + with(lines, "12 39", "-1 3"),
       "line 82: point index -1 of line 40 of 40 is out of range for 40 points"},
      {points + "l={40}\n" + with(lines, "12 39", "4294967296 3"),
       "line 82: point index of line 40 of 40 does not fit 32 bits"},
      {points + "l={40}\n" + with(lines, "12 39", "1.5 3"),
       "line 82: expected 2 point indices of line 40 of 40"},
      {points + "l={41}\n" + lines, "line 82: expected 2 point indices of line 41 of 41"},
  };
  for (const auto& c : cases) {
    const parsed p = parse(c.text);
    EXPECT_FALSE(p.ok) << '"' << c.text << '"';
    EXPECT_EQ(p.error, c.error);
    expect_same_as_reference(c.text);
  }
}

TEST(ReadObjectTest, ReadsThroughAnyWindowAsFromMemory) {
  std::mt19937 random(12);
  std::vector<std::string> texts = {tidy, "", "p={0}\nl={0}\n",
                                    "p={2}\n1 2 3 4\n" + std::string(300, '\n')};
  for (int round = 0; round < 4; ++round) texts.push_back(long_file(random, 150, 200));
  // Counts that the text cannot hold, its items running out or going wrong before its end.
  for (const char* count : {"p={1000}", "p={2}1 2 3 4 5 6 7 8 l={1000}"}) {
    texts.push_back(std::string(count) + "\n1 2 3 4\n5 6 7 8\n");
    texts.push_back(std::string(count) + "\n1 2 3 4\n5 6 x 8\n");
    std::string text = long_file(random, 150, 200);
    texts.push_back(text.replace(0, text.find('}') + 1, count));
  }
  const std::string original = long_file(random, 40, 40);
  for (int i = 0; i < 300; ++i) texts.push_back(mutated(original, random, alphabet));
  // Long runs that cross many windows: white space, a name, numbers of many digits.
  texts.push_back("p={1}\n1" + std::string(5000, ' ') +
                  "2 3 4\nl={0}\nn=" + std::string(5000, 'n'));
  texts.push_back("p={1}\n" + std::string(3000, '7') + " 0." + std::string(3000, '5') + " 1e" +
                  std::string(3000, '0') + "1 -0x" + std::string(3000, 'f') + "p-9000\nl={0}\n");
  texts.push_back("p={" + std::string(3000, '0') + "1}\n1 2 3 4\nl={1}\n0 " +
                  std::string(3000, '0') + "\n");
  texts.push_back("p={1}\n1 2 3 4\nl={1}\n0 " + std::string(3000, '9') + "\n");
  for (const std::string& text : texts) expect_same_through_windows(text, parse(text));
}

// A number longer than the window can hold is refused with the line it stands on, from memory as
// from a file; one a character shorter is read as scanf reads it.
TEST(ReadObjectTest, RefusesANumberLongerThanTheLongestToken) {
  const std::string longest(zorv::longest_token, '1');
  const auto refusal = [](int line) {
    return "line " + std::to_string(line) + ": number longer than " +
           std::to_string(zorv::longest_token) + " characters";
  };
  const struct {
    std::string text, error;
  } cases[] = {
      {"p={1}\n1 2\n3 " + longest + "1\nl={0}\n", refusal(3)},
      {"p={1}\n1 2\n3 0." + longest + "\nl={0}\n", refusal(3)},
      {"p={1}\n1 2 3 4\nl={1}\n0 " + longest + "0\n", refusal(4)},
      {"p={0}\n\nl={" + longest + "1}\n", refusal(3)},
      {"p={1}\n1 2\n3 " + longest + "\nl={0}\n", ""},
  };
  for (const auto& c : cases) {
    for (const bool from_file : {false, true}) {
      SCOPED_TRACE(testing::Message()
                   << (from_file ? "from a file: " : "from memory: ") << c.text.substr(0, 16));
      const parsed p =
          from_file ? read_through_window(c.text, zorv::window_bytes, false) : parse(c.text);
      EXPECT_EQ(p.ok, c.error.empty()) << p.error;
      EXPECT_EQ(p.error, c.error);
    }
  }
}

// Files on disk for load_object, in the test's temporary directory.
std::string temp_path(const std::string& name) {
  return testing::TempDir() + "object_test_" + name;
}

TEST(LoadObjectTest, LoadsAFileAndReportsTheCounts) {
  const std::string path = write_file(temp_path("tidy.zorv"), tidy);
  object_record object{};
  testing::internal::CaptureStdout();
  zorv::load_object(object, path);
  std::fflush(stdout);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            " Loading object file " + path + ".\n 3 points, 2 lines.\n");
  EXPECT_EQ(loaded_part(object), loaded_part(parse(tidy).object));
}

// A pipe, whose size is not known, loads as a file does.
TEST(LoadObjectTest, ReadsAPipe) {
  int ends[2];
  ASSERT_EQ(::pipe(ends), 0);
  ASSERT_EQ(::write(ends[1], tidy.data(), tidy.size()), static_cast<ssize_t>(tidy.size()));
  ::close(ends[1]);
  object_record object{};
  testing::internal::CaptureStdout();
  zorv::load_object(object, "/dev/fd/" + std::to_string(ends[0]));
  testing::internal::GetCapturedStdout();
  ::close(ends[0]);
  EXPECT_EQ(loaded_part(object), loaded_part(parse(tidy).object));
}

TEST(LoadObjectDeathTest, CannotOpen) {
  for (const std::string& name : {std::string(), temp_path("missing.zorv"), testing::TempDir()}) {
    object_record object{};
    EXPECT_EXIT(zorv::load_object(object, name), testing::ExitedWithCode(255),
                "^ZORV: Cannot open object file " + escape_regex(name) + "\\.\n$")
        << name;
  }
}

TEST(LoadObjectDeathTest, RefusesABadFileNamingItAndTheLine) {
  const struct {
    std::string name, text, error;
  } cases[] = {
      {"empty.zorv", "", "line 1: expected \"p={\""},
      {"spaced.zorv", "p={5 }\n", "line 1: expected \"}\" after the point count"},
      {"short.zorv", "p={5}\n1 2 3 4\n0 0 x 0\n5 6 7 8\n",
       "line 3: expected 4 coordinates of point 2 of 5"},
  };
  for (const auto& c : cases) {
    const std::string path = write_file(temp_path(c.name), c.text);
    object_record object{};
    EXPECT_EXIT(zorv::load_object(object, path), testing::ExitedWithCode(255),
                "^ZORV: " + escape_regex(path + ": " + c.error) + "\\.\n$");
  }
}

// AddressSanitizer's allocator reports exhaustion itself, and needs more address space.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool address_sanitizer = true;
#elif defined(__has_feature)
constexpr bool address_sanitizer = __has_feature(address_sanitizer);
#else
constexpr bool address_sanitizer = false;
#endif

void load_with_data_limit(object_record& object, const std::string& path, rlim_t bytes) {
  const rlimit limit{bytes, bytes};
  ::setrlimit(RLIMIT_DATA, &limit);
  zorv::load_object(object, path);
}

// A count the file could hold, but more than the process may allocate.
TEST(LoadObjectDeathTest, ReportsAllocationFailure) {
  if (address_sanitizer) GTEST_SKIP() << "under AddressSanitizer";
  constexpr int points = 8'000'000; // 128 MB for each point array
  constexpr rlim_t data_limit = 64 << 20;
  const std::string path = write_file(temp_path("huge.zorv"), "p={" + std::to_string(points) + "}" +
                                                                  std::string(points * 4, ' '));
  object_record object{};
  EXPECT_EXIT(load_with_data_limit(object, path, data_limit), testing::ExitedWithCode(255),
              "^malloc: Cannot allocate memory\n$");
  std::remove(path.c_str());
}

} // namespace
