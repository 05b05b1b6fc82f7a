// The real zorv writing pictures (-o) with no X server and no DISPLAY: the files decoded with the
// libraries that write them, the frames a GIF holds and loops over, and the errors that leave
// nothing behind under the file's name.
#include "coloured_files.hpp"
#include "picture_files.hpp"
#include "run_program.hpp"
#include "torus.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace zorv {
namespace {

using namespace picturetest;
using namespace testrun;

const std::string zorv_binary = ZORV_BIN_DIR "/zorv";

constexpr int side = 650;
constexpr int centre = side / 2;
constexpr std::uint32_t red = 0xff0000;
constexpr std::uint32_t black = 0x000000;

// A one-line object from the origin to the given point.
std::string line_to(float x, float y, float z, float w) {
  return "p={2}\n0 0 0 0\n" + std::to_string(x) + " " + std::to_string(y) + " " +
         std::to_string(z) + " " + std::to_string(w) + "\nl={1}\n0 1\nn=line\n";
}

const std::string unit_x = line_to(1, 0, 0, 0);

struct picture_run {
  int status = -1;
  std::string out;
  std::string err;
};

class PictureTest : public testing::Test {
protected:
  void SetUp() override {
    dir = make_temp_dir();
    ASSERT_FALSE(dir.empty());
  }
  void TearDown() override { remove_temp_dir(dir); }

  // zorv on the object with the options, in the test's directory, without DISPLAY.
  picture_run run(const std::string& object_text, std::vector<std::string> options) {
    write_file(dir + "/object.zorv", object_text);
    options.insert(options.begin(), "object.zorv");
    run_options how;
    how.dir = dir;
    how.unset_environment = {"DISPLAY"};
    how.deadline = 120s; // a GIF of hundreds of frames under the sanitizers
    const program_run ran = run_program(zorv_binary, options, how);
    return {ran.ended ? shell_status(ran) : -1, ran.out, ran.err};
  }

  // The names in the directory other than the object, its output and its error.
  std::vector<std::string> left_behind() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
      const std::string name = entry.path().filename().string();
      if (name != "object.zorv" && name != "out.txt" && name != "err.txt") names.push_back(name);
    }
    return names;
  }

  // Whether a hidden temporary file for the name is in the directory.
  bool has_temporary_for(const std::string& name) const {
    for (const std::string& left : left_behind())
      if (left.starts_with("." + name + ".")) return true;
    return false;
  }

  std::string dir;
};

// The pixels the test expects: a rectangle of the line colour, the background elsewhere, and
// pixels left unchecked (the half-covered ends of a wide line) in a margin around the rectangle.
struct picture_case {
  const char* what;
  std::vector<std::string> options;
  int width;
  int height;
  std::uint32_t line;
  std::uint32_t background;
  int left, top, right, bottom; // the line's pixels, inclusive
  int margin;                   // pixels next to the rectangle that may be blends
};

// A point at (1, 0, 0, 0) lands 200 pixels right of the centre; the line between it and the
// origin covers the pixels between them, both ends included, as X's thin line does.
TEST_F(PictureTest, DrawsAKnownSegmentInItsColoursOnTheBackground) {
  const picture_case cases[] = {
      {"default", {}, side, side, red, black, centre, centre, centre + 200, centre, 0},
      {"colours",
       {"-lc", "Green", "-bc", "Blue"},
       side,
       side,
       0x00ff00,
       0x0000ff,
       centre,
       centre,
       centre + 200,
       centre,
       0},
      {"X's forms and blanks",
       {"-lc", "#f80", "-bc", "midnight BLUE"},
       side,
       side,
       0xf08000,
       0x191970,
       centre,
       centre,
       centre + 200,
       centre,
       0},
      // An unknown name gives black, as it gives pixel 0 on a true-colour window.
      {"unknown line colour",
       {"-lc", "nosuchcolour", "-bc", "White"},
       side,
       side,
       black,
       0xffffff,
       centre,
       centre,
       centre + 200,
       centre,
       0},
      // A width of 3 ends at the end points: the end columns are half covered.
      {"-lw3",
       {"-lw3"},
       side,
       side,
       red,
       black,
       centre + 1,
       centre - 1,
       centre + 199,
       centre + 1,
       1},
      // 400 x 300 has 0.533 of the default area's geometric mean: 200 becomes 106.6.
      {"-geometry", {"-geometry", "400x300"}, 400, 300, red, black, 200, 150, 306, 150, 0},
      {"-geometry -ns",
       {"-geometry", "400x300", "-ns"},
       400,
       300,
       red,
       black,
       200,
       150,
       400 - 1,
       150,
       0},
  };
  for (const picture_case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> options = {"-xy", "-np", "-o", "line.png"};
    options.insert(options.end(), c.options.begin(), c.options.end());
    const picture_run ran = run(unit_x, options);
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.err, "");
    const image picture = read_png(dir + "/line.png");
    // A viewer of the file that shows its background hint shows the picture's background.
    const background_hint hint = read_png_background(dir + "/line.png");
    EXPECT_TRUE(hint.read);
    EXPECT_TRUE(!hint.present || hint.colour == c.background) << std::hex << hint.colour;
    ASSERT_EQ(picture.width, c.width);
    ASSERT_EQ(picture.height, c.height);
    long wrong = 0;
    for (int y = 0; y < c.height; ++y)
      for (int x = 0; x < c.width; ++x) {
        const bool on = x >= c.left && x <= c.right && y >= c.top && y <= c.bottom;
        const bool near = x >= c.left - c.margin && x <= c.right + c.margin &&
                          y >= c.top - c.margin && y <= c.bottom + c.margin;
        if (!on && near) continue;
        const std::uint32_t expected = on ? c.line : c.background;
        if (picture.at(x, y) != expected && wrong++ < 5)
          ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << picture.at(x, y)
                        << ", not " << expected;
      }
    EXPECT_EQ(wrong, 0);
  }
}

// The frames of a GIF are the pictures of the frames one by one (PNG of frame N), the GIF loops
// forever, waits the -fps delay between frames, and its palette starts with the background.
TEST_F(PictureTest, WritesEachFrameOfALoopingGif) {
  const std::string torus = torus_text(24, 12);
  const std::vector<std::string> small = {"-geometry", "160x120", "-lc", "Yellow", "-bc", "Navy"};
  struct delay_case {
    std::vector<std::string> options;
    int delay;
  };
  const delay_case delays[] = {{{}, 3}, {{"-fps50"}, 2}, {{"-fps1000"}, 2}, {{"-fps0.5"}, 200}};
  for (const delay_case& d : delays) {
    SCOPED_TRACE(testing::PrintToString(d.options));
    std::vector<std::string> options = {"-xw2", "-yz1", "-o", "spin.gif", "-frames", "12"};
    options.insert(options.end(), small.begin(), small.end());
    options.insert(options.end(), d.options.begin(), d.options.end());
    const picture_run ran = run(torus, options);
    ASSERT_EQ(ran.status, 0) << ran.err;
    const animation gif = read_gif(dir + "/spin.gif");
    ASSERT_TRUE(gif.read);
    EXPECT_TRUE(gif.loops);
    EXPECT_EQ(gif.width, 160);
    EXPECT_EQ(gif.height, 120);
    ASSERT_EQ(gif.frames.size(), 12u);
    EXPECT_EQ(gif.delays, std::vector<int>(12, d.delay));
    ASSERT_EQ(gif.palette.size(), 256u);
    EXPECT_EQ(gif.palette[0], 0x000080u);
    EXPECT_NE(std::find(gif.palette.begin(), gif.palette.end(), 0xffff00u), gif.palette.end());
  }
  for (const int frame : {1, 2, 7, 12}) {
    SCOPED_TRACE(frame);
    std::vector<std::string> options = {"-xw2",      "-yz1",    "-o",
                                        "frame.png", "-frames", std::to_string(frame)};
    options.insert(options.end(), small.begin(), small.end());
    ASSERT_EQ(run(torus, options).status, 0);
    const image png = read_png(dir + "/frame.png");
    const animation gif = read_gif(dir + "/spin.gif");
    ASSERT_EQ(gif.frames.size(), 12u);
    // One line colour: its 255 blends over the background are in the palette, each a step or
    // two of a channel from cairo's rounding of the blend.
    const image& shown = gif.frames[static_cast<std::size_t>(frame - 1)];
    EXPECT_LE(largest_channel_difference(png, shown), 2);
    EXPECT_GT(differing_pixels(png, gif.frames[static_cast<std::size_t>(frame % 12)]), 500);
  }
}

// Without -frames a GIF holds the frames after which the motion comes back to its start.
TEST_F(PictureTest, ChoosesAGifLengthThatLoopsWithoutAJump) {
  struct length_case {
    std::vector<std::string> motion;
    std::size_t frames;
    std::string err;
  };
  const length_case cases[] = {
      {{"-xw2"}, 180, ""},
      {{"-xw2", "-yz4"}, 180, ""},
      {{"-xw2", "-yz3"}, 360, ""},
      {{"-xz0.6"}, 600, ""},
      {{"-xy"}, 1, ""},
      {{},
       360,
       "zorv: writing 360 frames; the motion comes back to its start after 2400 (-frames 2400)\n"},
      {{"-xw0.7"},
       360,
       "zorv: writing 360 frames; the motion comes back to its start after 3600 (-frames 3600)\n"},
      {{"-xw0.0001"},
       360,
       "zorv: writing 360 frames; the motion does not come back to its start within 100000 "
       "frames\n"},
  };
  for (const length_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.motion));
    std::vector<std::string> options = c.motion;
    options.insert(options.end(), {"-o", "loop.gif", "-geometry", "32x32"});
    const picture_run ran = run(unit_x, options);
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.err, c.err);
    EXPECT_EQ(read_gif(dir + "/loop.gif").frames.size(), c.frames);
  }
}

// The frame after the last is the first again: from the last frame the GIF goes on to its first
// as from any frame to the next.
TEST_F(PictureTest, LoopsFromTheLastFrameToTheFirstInOneStep) {
  const std::string torus = torus_text(24, 12);
  const std::vector<std::string> options = {"-xw2", "-yz4", "-geometry", "200x200"};
  std::vector<std::string> animated = options;
  animated.insert(animated.end(), {"-o", "loop.gif"});
  ASSERT_EQ(run(torus, animated).status, 0);
  const animation gif = read_gif(dir + "/loop.gif");
  ASSERT_EQ(gif.frames.size(), 180u);
  std::vector<std::string> after = options;
  after.insert(after.end(), {"-o", "after.png", "-frames", "181"});
  ASSERT_EQ(run(torus, after).status, 0);
  const image next = read_png(dir + "/after.png");
  // The frame after the last differs from the first only by the rounding of angles summed over
  // 180 frames: where a point falls on a whole pixel, it may fall one pixel over, which moves a
  // few lines by a pixel (as in the window). A step moves far more.
  constexpr int visible = 64; // a quarter of a channel
  const long step = differing_pixels(gif.frames[1], gif.frames[0], visible);
  EXPECT_GT(step, 1000);
  EXPECT_LT(differing_pixels(next, gif.frames[0], visible), step / 20);
  const long last_to_first = differing_pixels(gif.frames.back(), gif.frames[0], visible);
  EXPECT_GT(last_to_first, step / 2);
  EXPECT_LT(last_to_first, step * 2);
}

TEST_F(PictureTest, NeedsNoDisplayAndDoesNotFork) {
  const picture_run ran = run(unit_x, {"-o", "line.png"});
  EXPECT_EQ(ran.status, 0);
  EXPECT_EQ(ran.err, "");
  EXPECT_EQ(ran.out, "\nzorv v" ZORV_VERSION ", by Quenlor\n Loading object file object.zorv.\n"
                     " 2 points, 1 lines.\n Writing line.png.\n");
  EXPECT_EQ(left_behind(), std::vector<std::string>{"line.png"});
}

// Errors end the run with a message and leave nothing under the file's name (nor a temporary
// file beside it); a file already there keeps what it held.
TEST_F(PictureTest, ErrorsLeaveNothingBehind) {
  write_file(dir + "/plain", "not a folder");
  struct error_case {
    std::vector<std::string> options;
    int status;
    std::string err; // the start of standard error, or of standard output for a bad option
  };
  const error_case cases[] = {
      {{"-o", "x.jpg"}, 1, "zorv: x.jpg: a picture's name ends in .png or .gif\n"},
      {{"-o", "x"}, 1, "zorv: x: a picture's name ends in .png or .gif\n"},
      {{"-o", ".png"}, 1, "zorv: .png: a picture's name cannot be only its extension\n"},
      {{"-o", ".GIF"}, 1, "zorv: .GIF: a picture's name cannot be only its extension\n"},
      {{"-o", "missing/x.png"},
       255,
       "ZORV: could not write missing/x.png: No such file or directory\n"},
      {{"-o", "plain/x.gif"}, 255, "ZORV: could not write plain/x.gif: Not a directory\n"},
      {{"-o", "x.png", "-frames", "0"}, 1, "\nzorv: bad option -frames\n"},
      {{"-o", "x.png", "-geometry", "0x100"}, 1, "\nzorv: bad option -geometry\n"},
      {{"-o", "x.png", "-geometry", "100x16385"}, 1, "\nzorv: bad option -geometry\n"},
      {{"-o", "x.png", "-geometry", "wide"}, 1, "\nzorv: bad option -geometry\n"},
  };
  for (const error_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    const picture_run ran = run(unit_x, c.options);
    EXPECT_EQ(ran.status, c.status);
    const std::string& said = c.status == 1 && c.err.starts_with("\n") ? ran.out : ran.err;
    EXPECT_NE(said.find(c.err), std::string::npos) << said;
    EXPECT_EQ(left_behind(), std::vector<std::string>{"plain"});
  }
  // An .PNG or .Gif name is a picture too; the colour name is no error.
  EXPECT_EQ(run(unit_x, {"-o", "X.PNG", "-bc", "nosuchcolour"}).status, 0);
  EXPECT_TRUE(std::filesystem::exists(dir + "/X.PNG"));
}

// X's rgb: and rgbi: forms are read without a display, rgb: scaled as X scales it (one digit 8 is
// 0x88, where #888 gives 0x80), and -wc's far colour as the others; a picture of them is the
// picture of the same colours by name.
TEST_F(PictureTest, DrawsXsRgbAndIntensityFormsWithoutADisplay) {
  struct form_case {
    std::vector<std::string> colours;
    std::uint32_t line;
    std::uint32_t background;
  };
  const form_case cases[] = {
      {{"-lc", "rgb:00/ff/00", "-bc", "rgb:ff/ff/ff"}, 0x00ff00, 0xffffff},
      {{"-lc", "RGB:f/8/0", "-bc", "rgb:1/23/4567"}, 0xff8800, 0x112345},
      {{"-lc", "rgbi:0/1/0", "-bc", "rgbi:1.0/1/1e0"}, 0x00ff00, 0xffffff},
  };
  for (const form_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.colours));
    std::vector<std::string> options = {"-xy", "-np", "-o", "line.png"};
    options.insert(options.end(), c.colours.begin(), c.colours.end());
    const picture_run ran = run(unit_x, options);
    ASSERT_EQ(ran.status, 0) << ran.err;
    EXPECT_EQ(ran.err, "");
    const image picture = read_png(dir + "/line.png");
    ASSERT_EQ(picture.width, side);
    long wrong = 0;
    for (int y = 0; y < side; ++y)
      for (int x = 0; x < side; ++x) {
        const bool on = y == centre && x >= centre && x <= centre + 200;
        if (picture.at(x, y) != (on ? c.line : c.background)) ++wrong;
      }
    EXPECT_EQ(wrong, 0) << std::hex << "line " << picture.at(centre + 100, centre)
                        << ", background " << picture.at(0, 0);
  }
  const std::string torus = torus_text(24, 12);
  const std::vector<std::string> motion = {"-xw2", "-yz1", "-geometry", "200x200", "-frames", "3"};
  std::vector<std::string> by_form = motion;
  by_form.insert(by_form.end(), {"-o", "form.png", "-lc", "rgb:ff/ff/00", "-wc", "rgb:00/00/ff"});
  std::vector<std::string> by_name = motion;
  by_name.insert(by_name.end(), {"-o", "name.png", "-lc", "Yellow", "-wc", "Blue"});
  ASSERT_EQ(run(torus, by_form).status, 0);
  ASSERT_EQ(run(torus, by_name).status, 0);
  EXPECT_EQ(differing_pixels(read_png(dir + "/form.png"), read_png(dir + "/name.png")), 0);
}

// A colour that only a display can read (a device-independent form, an intensity between none and
// full) is refused, status 1, before anything is written: a picture is never drawn in black for
// it.
TEST_F(PictureTest, RefusesColoursThatOnlyADisplayReads) {
  struct refusal_case {
    std::vector<std::string> options;
    std::string err;
  };
  const std::string advice = ": only an X display reads this colour; a picture takes a name, "
                             "#RRGGBB or rgb:RR/GG/BB\n";
  const refusal_case cases[] = {
      {{"-o", "x.png", "-lc", "CIEXYZ:0.3/0.2/0.1"}, "zorv: -lc CIEXYZ:0.3/0.2/0.1" + advice},
      {{"-o", "x.png", "-lc", "Green", "-bc", "cielab:50/20/-30"},
       "zorv: -bc cielab:50/20/-30" + advice},
      {{"-o", "x.gif", "-frames", "2", "-wc", "TekHVC:100/50/30"},
       "zorv: -wc TekHVC:100/50/30" + advice},
      {{"-o", "x.png", "-bc", "rgbi:0.5/0.5/0.5"}, "zorv: -bc rgbi:0.5/0.5/0.5" + advice},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    const picture_run ran = run(unit_x, c.options);
    EXPECT_EQ(ran.status, 1);
    EXPECT_EQ(ran.err, c.err);
    EXPECT_EQ(ran.out.find("Writing"), std::string::npos) << ran.out;
    EXPECT_EQ(left_behind(), std::vector<std::string>{});
  }
}

// Any name that the folder takes is written, up to its longest (NAME_MAX), however little room that
// leaves for the hidden temporary name; a longer one is refused with the file system's reason.
TEST_F(PictureTest, WritesEveryNameTheFolderTakes) {
  const long longest = pathconf(dir.c_str(), _PC_NAME_MAX);
  ASSERT_GT(longest, 16);
  const auto name_of = [](long length, const std::string& extension) {
    return std::string(static_cast<std::size_t>(length) - extension.size(), 'n') + extension;
  };
  std::filesystem::create_directory(dir + "/sub");
  const std::string names[] = {name_of(longest - 8, ".png"), name_of(longest - 7, ".png"),
                               name_of(longest - 1, ".gif"), name_of(longest, ".png"),
                               "sub/" + name_of(longest, ".gif")};
  for (const std::string& name : names) {
    SCOPED_TRACE(name.size());
    const picture_run ran = run(unit_x, {"-o", name, "-frames", "2", "-geometry", "16x16"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    EXPECT_TRUE(std::filesystem::is_regular_file(dir + "/" + name));
    std::filesystem::remove(dir + "/" + name);
    EXPECT_EQ(left_behind(), std::vector<std::string>{"sub"});
    EXPECT_TRUE(std::filesystem::is_empty(dir + "/sub"));
  }
  const std::string too_long = name_of(longest + 1, ".png");
  const picture_run ran = run(unit_x, {"-o", too_long});
  EXPECT_EQ(ran.status, 255);
  EXPECT_EQ(ran.err, "ZORV: could not write " + too_long + ": File name too long\n");
  EXPECT_EQ(left_behind(), std::vector<std::string>{"sub"});
}

mode_t mode_of(const std::string& path) {
  struct stat status {};
  return stat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// A picture that replaces a file keeps the file's mode, whatever the umask, and (where the process
// may give them: here as root) its owner and group.
TEST_F(PictureTest, AReplacedFileKeepsItsModeAndOwner) {
  const std::string path = dir + "/kept.png";
  for (const mode_t mode : {0600, 0664, 0444, 0755}) {
    SCOPED_TRACE(mode);
    write_file(path, "what it held");
    ASSERT_EQ(chmod(path.c_str(), mode), 0);
    ASSERT_EQ(run(unit_x, {"-o", "kept.png"}).status, 0);
    EXPECT_EQ(mode_of(path), mode);
    EXPECT_EQ(read_png(path).width, side);
  }
  if (geteuid() != 0) return; // only root may give a file to another user
  constexpr uid_t other_user = 4321;
  constexpr gid_t other_group = 8765;
  ASSERT_EQ(chown(path.c_str(), other_user, other_group), 0);
  ASSERT_EQ(chmod(path.c_str(), 0640), 0);
  ASSERT_EQ(run(unit_x, {"-o", "kept.png"}).status, 0);
  struct stat status {};
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_uid, other_user);
  EXPECT_EQ(status.st_gid, other_group);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
}

// A name that is a symbolic link, or a chain of them, stays one: the file at the chain's end is
// replaced as any file is (its mode kept), with the temporary file beside it, or made there when
// it does not exist. A loop of links is refused as opening it would be.
TEST_F(PictureTest, ASymbolicLinkIsFollowedToTheFileItNames) {
  std::filesystem::create_directory(dir + "/sub");
  const std::string target = dir + "/sub/target.png";
  const mode_t mask = umask(0);
  umask(mask);
  const mode_t new_file_mode = 0666 & ~mask;
  struct link_case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> links; // name, what it holds
    std::string end;                                        // the file written, in dir
  };
  const link_case cases[] = {
      {"relative", {{"link.png", "sub/target.png"}}, "sub/target.png"},
      {"absolute", {{"link.png", target}}, "sub/target.png"},
      {"read from its own folder",
       {{"link.png", "sub/up.png"}, {"sub/up.png", "target.png"}},
       "sub/target.png"},
      {"a chain", {{"link.png", "two.png"}, {"two.png", "sub/target.png"}}, "sub/target.png"},
      {"dangling", {{"link.png", "sub/new.png"}}, "sub/new.png"},
  };
  for (const link_case& c : cases) {
    SCOPED_TRACE(c.what);
    write_file(target, "what it held");
    ASSERT_EQ(chmod(target.c_str(), 0600), 0);
    for (const auto& [name, held] : c.links)
      std::filesystem::create_symlink(held, dir + "/" + name);
    const picture_run ran = run(unit_x, {"-o", "link.png"});
    EXPECT_EQ(ran.status, 0) << ran.err;
    for (const auto& [name, held] : c.links) {
      ASSERT_TRUE(std::filesystem::is_symlink(dir + "/" + name)) << name;
      EXPECT_EQ(std::filesystem::read_symlink(dir + "/" + name), held);
      std::filesystem::remove(dir + "/" + name);
    }
    EXPECT_EQ(read_png(dir + "/" + c.end).width, side);
    EXPECT_EQ(mode_of(dir + "/" + c.end), c.end == "sub/new.png" ? new_file_mode : 0600u);
    std::filesystem::remove(dir + "/sub/new.png");
    EXPECT_EQ(left_behind(), std::vector<std::string>{"sub"});
    std::vector<std::string> in_sub;
    for (const auto& entry : std::filesystem::directory_iterator(dir + "/sub"))
      in_sub.push_back(entry.path().filename().string());
    EXPECT_EQ(in_sub, std::vector<std::string>{"target.png"});
  }
  std::filesystem::create_symlink("b.png", dir + "/a.png");
  std::filesystem::create_symlink("a.png", dir + "/b.png");
  const picture_run ran = run(unit_x, {"-o", "a.png"});
  EXPECT_EQ(ran.status, 255);
  EXPECT_EQ(ran.err, "ZORV: could not write a.png: Too many levels of symbolic links\n");
  EXPECT_TRUE(std::filesystem::is_symlink(dir + "/a.png"));
  EXPECT_TRUE(std::filesystem::is_symlink(dir + "/b.png"));
}

// A signal that ends the writer (a terminal's SIGINT, a host's SIGTERM, a closed terminal's SIGHUP,
// a SIGPIPE sent to it) removes the temporary file first, and the process ends with the signal;
// the file under the name keeps what it held. A GIF is killed part-way through its frames, a PNG
// while it turns to a far frame.
TEST_F(PictureTest, EndingSignalsRemoveTheTemporaryFile) {
  write_file(dir + "/object.zorv", unit_x);
  for (const std::string name : {"long.gif", "long.png"}) {
    for (const int number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
      SCOPED_TRACE(name + ", signal " + std::to_string(number));
      write_file(dir + "/" + name, "what it held");
      run_options how;
      how.dir = dir;
      how.unset_environment = {"DISPLAY"};
      const pid_t pid = start_program(
          zorv_binary, {"object.zorv", "-o", name, "-frames", "2000000000", "-geometry", "32x32"},
          how);
      ASSERT_GT(pid, 0);
      const auto deadline = std::chrono::steady_clock::now() + 20s;
      while (!has_temporary_for(name) && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
      EXPECT_TRUE(has_temporary_for(name));
      kill(pid, number);
      const program_run ran = wait_for_end(pid, 20s);
      if (!ran.ended) kill(pid, SIGKILL);
      ASSERT_TRUE(ran.ended);
      EXPECT_TRUE(ran.signalled) << "status " << ran.status;
      EXPECT_EQ(ran.status, number);
      EXPECT_EQ(left_behind(), std::vector<std::string>{name});
      EXPECT_EQ(read_file(dir + "/" + name), "what it held");
      std::filesystem::remove(dir + "/" + name);
    }
  }
}

// Options that contradict each other, and a picture that zorv cannot write, are refused while the
// command line is read, before the object file is opened: the object here is a FIFO that nobody
// writes, which a loader would wait on for ever.
TEST_F(PictureTest, RefusesContradictionsAndUnwritableNamesBeforeLoading) {
  const std::string fifo = dir + "/never.zorv";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct refusal_case {
    std::vector<std::string> options;
    std::string out; // all of standard output after the banner
    std::string err;
  };
  const refusal_case cases[] = {
      {{"-root", "-o", "r.png"}, "\nzorv: -o and -root cannot be given together\n", ""},
      {{"-o", "r.gif", "-window-id", "0x400001"},
       "\nzorv: -o and -window-id cannot be given together\n",
       ""},
      {{"-window-id", "7", "-o", "r.png", "-root"},
       "\nzorv: -o and -window-id cannot be given together\n",
       ""},
      {{"-o", "t.jpg"}, "", "zorv: t.jpg: a picture's name ends in .png or .gif\n"},
      {{"-o", ""}, "", "zorv: -o \"\": a picture's name cannot be empty\n"},
      {{"-o", ".png"}, "", "zorv: .png: a picture's name cannot be only its extension\n"},
  };
  for (const refusal_case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.options));
    std::vector<std::string> arguments = c.options;
    arguments.insert(arguments.begin(), "never.zorv");
    run_options how;
    how.dir = dir;
    how.unset_environment = {"DISPLAY"};
    how.deadline = 10s;
    const program_run ran = run_program(zorv_binary, arguments, how);
    ASSERT_TRUE(ran.ended) << "the object file was opened";
    EXPECT_EQ(shell_status(ran), 1);
    EXPECT_EQ(ran.out, "\nzorv v" ZORV_VERSION ", by Quenlor\n" + c.out);
    EXPECT_EQ(ran.err, c.err);
  }
}

// A file's colours show unless the command line names the colour: -lc draws every line in it and
// -wc shades from it by depth, as for the file without colours.
TEST_F(PictureTest, DrawsTheFilesColoursUnlessTheCommandLineNamesOne) {
  constexpr int lines = 40;
  const std::string coloured = colouredfiles::star_skel(lines);
  const std::string plain = colouredfiles::star_skel(lines, false);
  const auto picture_of = [&](const std::string& text, std::vector<std::string> options) {
    options.insert(options.end(), {"-o", "star.png"});
    EXPECT_EQ(run(text, options).status, 0);
    return read_png(dir + "/star.png");
  };
  for (const std::vector<std::string>& options :
       {std::vector<std::string>{"-lc", "Red"}, std::vector<std::string>{"-wc", "Blue"},
        std::vector<std::string>{"-lc", "Green", "-wc", "Blue", "-lw3"}}) {
    SCOPED_TRACE(testing::PrintToString(options));
    EXPECT_EQ(picture_of(coloured, options).pixels, picture_of(plain, options).pixels);
  }
  EXPECT_NE(picture_of(coloured, {}).pixels, picture_of(plain, {}).pixels);
  // Wide lines have pixels of their whole colour, in a PNG and in each frame of a GIF, whose
  // palette holds every colour.
  const image wide = picture_of(coloured, {"-lw3"});
  std::set<std::uint32_t> shown(wide.pixels.begin(), wide.pixels.end());
  ASSERT_EQ(run(coloured, {"-lw3", "-o", "star.gif", "-frames", "3"}).status, 0);
  const animation gif = read_gif(dir + "/star.gif");
  ASSERT_TRUE(gif.read);
  ASSERT_EQ(gif.frames.size(), 3u);
  const std::set<std::uint32_t> palette(gif.palette.begin(), gif.palette.end());
  std::set<std::uint32_t> first_frame(gif.frames[0].pixels.begin(), gif.frames[0].pixels.end());
  for (int i = 0; i < lines; ++i) {
    const std::uint32_t c = colouredfiles::star_colour(i);
    EXPECT_TRUE(shown.contains(c)) << i;
    EXPECT_TRUE(palette.contains(c)) << i;
    EXPECT_TRUE(first_frame.contains(c)) << i;
  }
}

} // namespace
} // namespace zorv
