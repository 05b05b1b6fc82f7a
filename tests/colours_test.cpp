// Colour names and X's forms, read from a colour database's text in memory, the forms that only a
// display reads, and the installed database that -o and -aa read.
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

// Each channel of rgb: is scaled from its own digits to 16 bits, where #'s digits are the high
// bits; the third ends the text or a '/'. Each case is as XParseColor reads it.
TEST(ColoursTest, ReadsXsRgbFormScalingEachChannel) {
  const colour_case cases[] = {
      {"rgb:8/8/8", rgb_colour{0x88, 0x88, 0x88}},
      {"rgb:0/f/8", rgb_colour{0x00, 0xff, 0x88}},
      {"rgb:00/ff/80", rgb_colour{0x00, 0xff, 0x80}},
      {"rgb:000/fff/800", rgb_colour{0x00, 0xff, 0x80}},
      {"rgb:80ff/8080/7fff", rgb_colour{0x80, 0x80, 0x7f}},
      {"rgb:1/23/456", rgb_colour{0x11, 0x23, 0x45}},
      {"RGB:Ff/0/0", rgb_colour{0xff, 0x00, 0x00}},
      {"rgb:ff/00/00/", rgb_colour{0xff, 0x00, 0x00}},
      {"rgb:ff/00/00/zz", rgb_colour{0xff, 0x00, 0x00}},
      {"rgb:", std::nullopt},
      {"rgb:fff/00", std::nullopt},
      {"rgb:/00/00", std::nullopt},
      {"rgb:ff//00", std::nullopt},
      {"rgb:ff/00/", std::nullopt},
      {"rgb:ff/00/00x", std::nullopt},
      {"rgb:ff/00/00 ", std::nullopt},
      {" rgb:ff/00/00", std::nullopt},
      {"rgb:ff/ 00/00", std::nullopt},
      {"rgb:12345/0/0", std::nullopt},
      {"rgb:g/0/0", std::nullopt},
      {"rgb:+f/0/0", std::nullopt},
      {"rgb:-1/0/0", std::nullopt},
  };
  for (const colour_case& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    EXPECT_EQ(look_up_colour(database, c.text), c.expected);
    EXPECT_FALSE(needs_display(c.text));
  }
}

// rgbi: of none and full is read here; other intensities, and the device-independent forms, go
// through a screen's colour characterization, so only a display reads them.
TEST(ColoursTest, LeavesToADisplayWhatItsColourCharacterizationReads) {
  struct display_case {
    std::string text;
    std::optional<rgb_colour> expected;
    bool needs_display;
  };
  const display_case cases[] = {
      {"rgbi:0/1/0", rgb_colour{0x00, 0xff, 0x00}, false},
      {"RGBI:1.0/0.0/1e0", rgb_colour{0xff, 0x00, 0xff}, false},
      {"rgbi:+1/-0/.0e5", rgb_colour{0xff, 0x00, 0x00}, false},
      {"rgbi:1./100e-2/0/", rgb_colour{0xff, 0xff, 0x00}, false},
      {"rgbi:0.5/0.5/0.5", std::nullopt, true},
      {"rgbi:0/0/0.99999", std::nullopt, true},
      {"rgbi:1.5/0/0", std::nullopt, true},
      {"rgbi:1e400/0/0", std::nullopt, true},
      {"rgbi:0x1/0/0", std::nullopt, true},
      {"rgbi:nan/0/0", std::nullopt, true},
      {"rgbi:1/0", std::nullopt, true},
      {"rgbi:", std::nullopt, true},
      {"CIEXYZ:0.3/0.2/0.1", std::nullopt, true},
      {"ciexyz:0.3/0.2/0.1", std::nullopt, true},
      {"CIEuvY:0.2/0.4/0.5", std::nullopt, true},
      {"CIExyY:0.3/0.3/0.5", std::nullopt, true},
      {"CIELab:50/20/-30", std::nullopt, true},
      {"CIELuv:50/10/10", std::nullopt, true},
      {"TEKHVC:0/50/0", std::nullopt, true},
      {"XYZ:0.3/0.2/0.1", std::nullopt, false},
      {"CIEXYZ :0.3/0.2/0.1", std::nullopt, false},
      {"rgbi", std::nullopt, false},
      {"red", rgb_colour{255, 0, 0}, false},
      {"#fff", rgb_colour{0xf0, 0xf0, 0xf0}, false},
      {"", std::nullopt, false},
  };
  for (const display_case& c : cases) {
    SCOPED_TRACE("\"" + c.text + "\"");
    EXPECT_EQ(look_up_colour(database, c.text), c.expected);
    EXPECT_EQ(needs_display(c.text), c.needs_display);
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
