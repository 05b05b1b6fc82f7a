// Colour names and X's hexadecimal forms, read from a colour database's text in memory, and the
// installed database that -o and -aa read.
#include "colours.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace zorv {

void PrintTo(const rgb_colour& c, std::ostream* out) {
  *out << "(" << int{c.red} << ", " << int{c.green} << ", " << int{c.blue} << ")";
}

namespace {

// The form of the X database: comments, tabs before the name, names with blanks and without.
const std::string database = "! $Xorg: rgb.txt\n"
                             "255 250 250\t\tsnow\n"
                             "240 248 255\t\talice blue\n"
                             "240 248 255\t\tAliceBlue\n"
                             "  0   0 128\t\tnavy\n"
                             "  0   0 128\t\tNavyBlue\r\n"
                             "255   0   0\t\tred\n"
                             "256   0   0\t\ttoo bright\n"
                             "1 2\t\tshort\n"
                             "1 2 3x\t\tglued\n"
                             "9 9 9\t\tred\n"
                             "1 2 3\n"
                             "10 20 30\t\tlast";

struct colour_case {
  std::string text;
  std::optional<rgb_colour> expected;
};

TEST(ColoursTest, FindsNamesAsXMatchesThem) {
  const colour_case cases[] = {
      {"snow", rgb_colour{255, 250, 250}},
      // Case and blanks are ignored, on either side.
      {"Snow", rgb_colour{255, 250, 250}},
      {"ALICEBLUE", rgb_colour{240, 248, 255}},
      {"alice blue", rgb_colour{240, 248, 255}},
      {"Alice  Blue ", rgb_colour{240, 248, 255}},
      {"navy blue", rgb_colour{0, 0, 128}}, // a CRLF line end is no part of the name
      {"Red", rgb_colour{255, 0, 0}},       // the first entry of a name wins
      {"last", rgb_colour{10, 20, 30}},     // the last line needs no line feed
      // Lines of another form name nothing.
      {"too bright", std::nullopt},
      {"short", std::nullopt},
      {"glued", std::nullopt},
      {"$Xorg: rgb.txt", std::nullopt},
      {"nosuchcolour", std::nullopt},
      {"", std::nullopt},
      {" ", std::nullopt},
      {"sno", std::nullopt},
      {"snowy", std::nullopt},
  };
  for (const colour_case& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    EXPECT_EQ(look_up_colour(database, c.text), c.expected);
  }
}

TEST(ColoursTest, ReadsXsHexadecimalFormsAsTheHighBitsOfEachChannel) {
  const colour_case cases[] = {
      {"#f80", rgb_colour{0xf0, 0x80, 0x00}},
      {"#FF8000", rgb_colour{0xff, 0x80, 0x00}},
      {"#123456", rgb_colour{0x12, 0x34, 0x56}},
      {"#fff000abc", rgb_colour{0xff, 0x00, 0xab}},
      {"#ffff0000abcd", rgb_colour{0xff, 0x00, 0xab}},
      {"#", std::nullopt},
      {"#ff", std::nullopt},
      {"#ff00", std::nullopt},
      {"#ff00ff0", std::nullopt},
      {"#ffff0000ffff0", std::nullopt},
      {"#ggg", std::nullopt},
      {"#12 456", std::nullopt},
      {"#-12345", std::nullopt},
      {"#1234567890123456", std::nullopt},
  };
  for (const colour_case& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    EXPECT_EQ(look_up_colour(database, c.text), c.expected);
  }
}

TEST(ColoursTest, ReadsTheInstalledDatabase) {
  const std::string installed = read_colour_database();
  ASSERT_FALSE(installed.empty()) << colour_database_file;
  EXPECT_EQ(look_up_colour(installed, "LightGreen"), (rgb_colour{144, 238, 144}));
  EXPECT_EQ(look_up_colour(installed, "midnight blue"), (rgb_colour{25, 25, 112}));
  EXPECT_EQ(look_up_colour(installed, "Red"), (rgb_colour{255, 0, 0}));
  EXPECT_EQ(look_up_colour(installed, "nosuchcolour"), std::nullopt);
}

} // namespace
} // namespace zorv
