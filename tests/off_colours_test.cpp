// The colours of OFF and SKEL files: every form a face's, polyline's or vertex's colour takes,
// texts that give no colour, the rule that gives a shared edge its colour, and the same colours
// through any window as from memory.
#include "load.hpp"
#include "loader_texts.hpp"
#include "object.hpp"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace zorv {

std::ostream& operator<<(std::ostream& out, const rgb_colour& c) {
  return out << "(" << int{c.red} << " " << int{c.green} << " " << int{c.blue} << ")";
}

namespace {

using colours = std::vector<std::optional<rgb_colour>>;

// Each line's colour, or none.
colours line_colours(const object_record& object) {
  colours result;
  EXPECT_TRUE(object.line_colours.empty() || object.line_colours.size() == object.lines.size());
  for (std::size_t i = 0; i < object.lines.size(); ++i) {
    if (object.line_colours.empty() || object.line_colours[i] == no_colour) {
      result.emplace_back();
      continue;
    }
    EXPECT_LT(object.line_colours[i], object.colours.size());
    result.emplace_back(object.colours[object.line_colours[i]]);
  }
  return result;
}

colours parsed_colours(const std::string& text) {
  object_record object{};
  std::string error;
  EXPECT_TRUE(parse_any_object(text, object, error)) << error;
  return line_colours(object);
}

const std::string square = "OFF\n4 1\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n4 0 1 2 3";
constexpr rgb_colour orange{255, 128, 0};
constexpr std::optional<rgb_colour> none;

// A file and its lines' colours, named.
struct colour_case {
  const char* name;
  std::string text;
  colours expected;
};

void expect_line_colours(std::span<const colour_case> cases) {
  for (const colour_case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(parsed_colours(c.text), c.expected);
  }
}

colours four(std::optional<rgb_colour> c) {
  return {c, c, c, c};
}

TEST(OffColoursTest, ReadsEveryFormOfAFacesColour) {
  const struct {
    const char* after_face;
    std::optional<rgb_colour> colour;
  } cases[] = {
      {" 255 128 0\n", orange},
      {" 255 128 0 255\n", orange}, // alpha is ignored
      {" 1.0 0.5 0\n", orange},
      {" 1 0.5 0 0.25\n", orange},
      {" 1e0 5E-1 +0\n", orange},
      {" 1 0 1\n", rgb_colour{255, 0, 255}}, // integers none above 1: the form of 0..1
      {" 2 0 1\n", rgb_colour{2, 0, 1}},
      {" 300 -5 0\n", rgb_colour{255, 0, 0}}, // beyond the range: its end
      {" 1.5 -0.5 0.25\n", rgb_colour{255, 0, 64}},
      {"\t255\t128  0 \r\n", orange},
      {" 255 128 0\r\n", orange},
      {" 255 128 0 # orange\n", orange},
      {" 255 128 0", orange}, // the end of the text ends the line
      {" 7\n", none},         // an index into a colour map the file does not hold
      {"\n", none},
      {" # a comment\n", none},
      {" 255 128\n", none},
      {" 255 128 0 255 9\n", none},
      {" red green blue\n", none},
      {" 255 nan 0\n", none},
      {" 255 1e999 0\n", none},
      {" 0x10 0 0\n", none},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(std::string(c.after_face)));
    EXPECT_EQ(parsed_colours(square + c.after_face), four(c.colour));
  }
}

TEST(OffColoursTest, GivesEachEdgeTheColourOfTheFirstColouredRecordHoldingIt) {
  const std::string points = "4 2\n0 0 0\n1 0 0\n1 1 0\n0 1 0\n";
  constexpr rgb_colour red{255, 0, 0};
  constexpr rgb_colour blue{0, 0, 255};
  // Two triangles sharing 0-2: lines 0-1, 1-2, 0-2 from the first, then 2-3, 0-3.
  const colour_case cases[] = {
      {"both coloured",
       "OFF\n" + points + "3 0 1 2 255 0 0\n3 0 2 3 0 0 255\n",
       {red, red, red, blue, blue}},
      {"the first without",
       "OFF\n" + points + "3 0 1 2\n3 0 2 3 0 0 255\n",
       {none, none, blue, blue, blue}},
      {"the second without",
       "OFF\n" + points + "3 0 1 2 255 0 0\n3 0 2 3\n",
       {red, red, red, none, none}},
      {"polylines", "SKEL\n" + points + "3 0 1 2 0 0 255\n2 2 3 1 0 0\n", {blue, blue, red}},
      {"a long face",
       "OFF\n" + points + "10 0 1 2 3 0 1 2 3 0 1 0 0 1\n3 0 2 3 1 0 0\n",
       {blue, blue, blue, blue, red}},
      // A cell's colour is a cell's: the edges keep their faces'.
      {"cells",
       "4OFF\n4 2 0 1\n0 0 0 0\n1 0 0 0\n1 1 0 0\n0 1 0 0\n"
       "3 0 1 2\n3 0 2 3 0 0 255\n2 0 1 255 0 0\n",
       {none, none, blue, blue, blue}},
  };
  expect_line_colours(cases);
}

TEST(OffColoursTest, GivesEachEdgeTheMeanOfItsVerticesColoursWhereNoFaceHasOne) {
  const std::string vertices = "0 0 0 255 0 0 255\n1 0 0 0 0 255 255\n1 1 0 0.0 1.0 0 1\n";
  constexpr rgb_colour purple{128, 0, 128};
  const colour_case cases[] = {
      {"integers, and floats with a point",
       "COFF\n3 1\n" + vertices + "3 0 1 2\n",
       {purple, rgb_colour{0, 128, 128}, rgb_colour{128, 128, 0}}},
      {"after a normal",
       "CNOFF\n2 1\n0 0 0 0 0 1 255 0 0 255\n1 0 0 0 0 1 0 0 255 255\n2 0 1\n",
       {purple}},
      {"a face's colour wins",
       "COFF\n3 2\n" + vertices + "2 0 1 0 255 0\n2 1 2\n",
       {rgb_colour{0, 255, 0}, none}},
  };
  expect_line_colours(cases);
}

// Shared edges at a point of many lines are found after the faces are read: the first coloured
// face still gives the colour, and a repeat carries its colour to the line kept.
TEST(OffColoursTest, KeepsTheRuleAtAPointOfManyLines) {
  constexpr int spokes = 40;
  std::string text = "OFF\n" + std::to_string(spokes + 1) + " " + std::to_string(2 * spokes) + "\n";
  for (int i = 0; i <= spokes; ++i) text += std::to_string(i) + " 0 0\n";
  for (int i = 1; i <= spokes; ++i) text += "2 0 " + std::to_string(i) + "\n";
  for (int i = 1; i <= spokes; ++i)
    text += "2 0 " + std::to_string(i) + " 0 0 " + std::to_string(i + 1) + "\n";
  colours expected;
  for (int i = 1; i <= spokes; ++i)
    expected.push_back(rgb_colour{0, 0, static_cast<std::uint8_t>(i + 1)});
  EXPECT_EQ(parsed_colours(text), expected);
}

TEST(OffColoursTest, ReadsTheSameColoursThroughAnyWindow) {
  std::string text = "COFF\n# long comments push the colours across the window's edges\n6 4\n";
  for (int i = 0; i < 6; ++i)
    text += std::to_string(i) + " " + std::to_string(i % 2) + " 0 0." + std::to_string(i) +
            " 1 0.5 1  # " + std::string(40, 'c') + "\n";
  text += "3 0 1 2" + std::string(300, ' ') + "255 0 0\n3 3 4 5 0 0 1.0 # x\n";
  text += "2 1 2 10 20 30\n6 0 1 2 3 4 5\n";
  parsed whole;
  whole.ok = parse_any_object(text, whole.object, whole.error);
  ASSERT_TRUE(whole.ok) << whole.error;
  ASSERT_FALSE(whole.object.colours.empty());
  for (const std::size_t capacity : {16, 17, 64, 100, 1000})
    for (const bool size_known : {true, false}) {
      SCOPED_TRACE(std::to_string(capacity) + (size_known ? " known" : " unknown"));
      EXPECT_TRUE(same_outcome(read_through_window(text, capacity, size_known), whole));
    }
}

// zorv's own format has no colours, and a file read after a coloured one keeps none of them.
TEST(OffColoursTest, LeavesNoColourOnAnObjectOfZorvsOwnFormat) {
  object_record object{};
  std::string error;
  ASSERT_TRUE(parse_any_object(square + " 255 0 0\n", object, error)) << error;
  ASSERT_FALSE(object.colours.empty());
  ASSERT_TRUE(parse_any_object("p={2}\n0 0 0 0\n1 0 0 0\nl={1}\n0 1\nn=x\n", object, error))
      << error;
  EXPECT_TRUE(object.colours.empty());
  EXPECT_TRUE(object.line_colours.empty());
}

} // namespace
} // namespace zorv
