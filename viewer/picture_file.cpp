// -o runs the frames of the window's loop without a window: a PNG holds one frame, a GIF one
// frame after another with a delay from -fps, looping forever, each frame mapped onto a palette
// of the colours in use, and an SVG, PDF or EPS one frame in vector strokes. The file is written
// under a hidden name beside the file it replaces and renamed only once it is whole; a signal that
// ends the process first removes it.
#include "picture_file.hpp"

#include "fatal.hpp"
#include "png_picture.hpp"
#include "vector_picture.hpp"

#include <gif_lib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <new>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>

namespace zorv {
namespace {

constexpr int palette_size = 256;
constexpr int colour_resolution = 8; // bits per primary in the GIF's palette
constexpr std::size_t cache_size = 4096;
constexpr std::uint32_t cache_used = 0x1000000; // above every 0x00RRGGBB pixel
constexpr std::uint32_t rgb_bits = 0xffffff;    // cairo leaves RGB24's top byte undefined
constexpr int hundredths = 100;
constexpr int shortest_delay = 2;
constexpr int longest_delay = 65535;
constexpr std::int32_t longest_default_animation = 1000;
constexpr std::int32_t default_animation = 360;
constexpr std::int32_t longest_loop_search = 100000; // for the suggestion when none fits
constexpr double whole_turn = 6.283185307179586;     // 2 pi
constexpr double turn_tolerance = 1e-6;       // a float increment's rounding, over many frames
constexpr float default_picture_rate = 30.0f; // a GIF's frames a second without -fps
constexpr int longest_link_chain = 40;        // as the kernel follows, before ELOOP
constexpr std::string_view temporary_prefix = ".";
constexpr std::string_view temporary_suffix = ".XXXXXX"; // mkostemp's letters

std::uint32_t pixel_of(rgb_colour c) {
  return std::uint32_t{c.red} << 16 | std::uint32_t{c.green} << 8 | c.blue;
}

int squared_distance(rgb_colour a, std::uint32_t pixel) {
  const int red = a.red - static_cast<int>(pixel >> 16 & 0xff);
  const int green = a.green - static_cast<int>(pixel >> 8 & 0xff);
  const int blue = a.blue - static_cast<int>(pixel & 0xff);
  return red * red + green * green + blue * blue;
}

std::uint8_t nearest_entry(const gif_palette& palette, std::uint32_t pixel) {
  int best = 0;
  int best_distance = std::numeric_limits<int>::max();
  for (int i = 0; i < palette_size; ++i) {
    const int distance = squared_distance(palette.entries[static_cast<std::size_t>(i)], pixel);
    if (distance < best_distance) {
      best = i;
      best_distance = distance;
    }
  }
  return static_cast<std::uint8_t>(best);
}

std::size_t cache_slot(std::uint32_t pixel) {
  return (pixel * 2654435761u >> 20) & (cache_size - 1); // Knuth's multiplicative hash
}

// The temporary file's name for the handler of the ending signals, which may read nothing but
// static memory: the name while the file exists, an empty string otherwise.
char temporary_for_signals[PATH_MAX];
constexpr int ending_signals[] = {SIGINT, SIGTERM, SIGHUP, SIGPIPE};

// Ends the process as the signal would have, without the temporary file.
void remove_temporary_and_end(int number) {
  if (temporary_for_signals[0] != '\0') unlink(temporary_for_signals);
  std::signal(number, SIG_DFL);
  std::raise(number); // delivered as the handler returns
}

sigset_t ending_signal_set() {
  sigset_t set;
  sigemptyset(&set);
  for (const int number : ending_signals) sigaddset(&set, number);
  return set;
}

// Held while the file and its name come and go, so that the handler finds the name whole and only
// while the file is there.
sigset_t hold_ending_signals() {
  const sigset_t set = ending_signal_set();
  sigset_t previous;
  sigprocmask(SIG_BLOCK, &set, &previous);
  return previous;
}

void release_ending_signals(const sigset_t& previous) {
  const int error = errno;
  sigprocmask(SIG_SETMASK, &previous, nullptr);
  errno = error;
}

// A signal that came ignored stays ignored (nohup's SIGHUP): it ends nothing, so there is
// nothing to remove.
void remove_temporary_on_ending_signals() {
  struct sigaction action {};
  action.sa_handler = remove_temporary_and_end;
  action.sa_mask = ending_signal_set();
  for (const int number : ending_signals) {
    struct sigaction current {};
    if (sigaction(number, nullptr, &current) == 0 && current.sa_handler != SIG_IGN)
      sigaction(number, &action, nullptr);
  }
}

void forget_temporary_file(picture_output& output) {
  const sigset_t previous = hold_ending_signals();
  unlink(output.temporary_name.c_str());
  output.temporary_name.clear();
  temporary_for_signals[0] = '\0';
  release_ending_signals(previous);
}

[[noreturn]] void fail_to_write(picture_output& output, const char* reason) {
  if (output.gif != nullptr) {
    int ignored = 0;
    EGifCloseFile(output.gif, &ignored); // closes the descriptor too
    output.gif = nullptr;
    output.descriptor = -1;
  }
  if (output.descriptor >= 0) close(output.descriptor);
  if (!output.temporary_name.empty()) forget_temporary_file(output);
  die(exit_status::failure, "ZORV: could not write %s: %s\n", output.name.c_str(), reason);
}

[[noreturn]] void fail_with_errno(picture_output& output) {
  const std::string reason = std::strerror(errno);
  fail_to_write(output, reason.c_str());
}

[[noreturn]] void fail_with_error(picture_output& output, int error) {
  errno = error;
  fail_with_errno(output);
}

std::string folder_of(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The file that writing to the name replaces: the name itself, or the end of its chain of
// symbolic links, a relative link read from its own folder. The end need not exist yet.
bool follow_links(const std::string& name, std::string& target) {
  std::string path = name;
  for (int links = 0;; ++links) {
    struct stat status {};
    if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
      target = path;
      return true;
    }
    if (links == longest_link_chain) {
      errno = ELOOP;
      return false;
    }
    std::string link(PATH_MAX, '\0');
    const ssize_t length = readlink(path.c_str(), link.data(), link.size());
    if (length < 0) return false;
    if (static_cast<std::size_t>(length) == link.size()) {
      errno = ENAMETOOLONG;
      return false;
    }
    link.resize(static_cast<std::size_t>(length));
    path = link.starts_with('/') ? link : folder_of(path) + link;
  }
}

// The hidden name beside the file: a dot, its name, a dot and mkostemp's six letters, with its name
// cut short (on a character's boundary) where the whole would pass the folder's limit on a name.
std::string temporary_name_for(const std::string& target) {
  const std::string folder = folder_of(target);
  std::string base = target.substr(folder.size());
  const long longest = pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  const std::size_t room = temporary_prefix.size() + temporary_suffix.size();
  if (longest > static_cast<long>(room) && base.size() > static_cast<std::size_t>(longest) - room) {
    std::size_t cut = static_cast<std::size_t>(longest) - room;
    while (cut > 0 && (static_cast<unsigned char>(base[cut]) & 0xc0) == 0x80) --cut; // UTF-8
    base.resize(cut);
  }
  return folder + std::string(temporary_prefix) + base + std::string(temporary_suffix);
}

// A file that the picture replaces keeps its mode, and its owner and group where the process may
// give them (a set-ID bit only with the ID it stands for); a new one is made as a file the user
// makes would be, by the umask.
void give_mode_and_owner(picture_output& output) {
  struct stat replaced {};
  if (stat(output.target.c_str(), &replaced) != 0 || !S_ISREG(replaced.st_mode)) {
    const mode_t mask = umask(0);
    umask(mask);
    if (fchmod(output.descriptor, 0666 & ~mask) != 0) fail_with_errno(output);
    return;
  }
  mode_t mode = replaced.st_mode & 07777;
  if (fchown(output.descriptor, replaced.st_uid, replaced.st_gid) != 0) {
    if (errno != EPERM) fail_with_errno(output);
    mode &= ~S_ISUID;
    if (fchown(output.descriptor, static_cast<uid_t>(-1), replaced.st_gid) != 0) {
      if (errno != EPERM) fail_with_errno(output);
      mode &= ~S_ISGID;
    }
  }
  if (fchmod(output.descriptor, mode) != 0) fail_with_errno(output);
}

// A file beside the one it replaces, made here alone, and removed by a signal that ends the
// process before it has its name.
void open_temporary_file(picture_output& output) {
  if (!follow_links(output.name, output.target)) fail_with_errno(output);
  const std::string name = temporary_name_for(output.target);
  if (name.size() >= sizeof temporary_for_signals) fail_with_error(output, ENAMETOOLONG);
  remove_temporary_on_ending_signals();
  const sigset_t previous = hold_ending_signals();
  std::memcpy(temporary_for_signals, name.c_str(), name.size() + 1);
  output.descriptor = mkostemp(temporary_for_signals, O_CLOEXEC);
  const int error = errno;
  if (output.descriptor >= 0)
    output.temporary_name = temporary_for_signals;
  else
    temporary_for_signals[0] = '\0';
  release_ending_signals(previous);
  if (output.descriptor < 0) fail_with_error(output, error);
  give_mode_and_owner(output);
}

void close_file(picture_output& output) {
  const int descriptor = output.descriptor;
  output.descriptor = -1;
  if (close(descriptor) != 0) fail_with_errno(output);
}

void give_file_its_name(picture_output& output) {
  const sigset_t previous = hold_ending_signals();
  const bool renamed = rename(output.temporary_name.c_str(), output.target.c_str()) == 0;
  if (renamed) {
    output.temporary_name.clear();
    temporary_for_signals[0] = '\0';
  }
  release_ending_signals(previous);
  if (!renamed) fail_with_errno(output);
}

// The frame's pixels as the PNG file.
void write_png(picture_file_state& file) {
  picture_output& output = file.output;
  const png_outcome outcome = write_png_picture(output.descriptor, file.picture);
  if (outcome.write_error != 0) fail_with_error(output, outcome.write_error);
  if (!outcome.written) fail_to_write(output, outcome.message.c_str());
  close_file(output);
}

bool is_vector(picture_format format) {
  return format == picture_format::svg || format == picture_format::pdf ||
         format == picture_format::eps;
}

vector_format vector_format_of(picture_format format) {
  return format == picture_format::svg   ? vector_format::svg
         : format == picture_format::pdf ? vector_format::pdf
                                         : vector_format::eps;
}

// The one frame of a vector picture, written whole into the file when it is shown. The file
// takes the frame's colour runs, so that it holds what the PNG of the frame shows.
void write_vector(picture_file_state& file, frame_lists& lists, const object_record& object) {
  picture_output& output = file.output;
  if (output.frames_written > 0) return;
  const picture_state& picture = file.picture;
  std::vector<colour_run> runs;
  try {
    frame_runs(picture.colours, lists, object, runs);
  } catch (const std::bad_alloc&) {
    die_of_memory();
  }
  const vector_frame frame{file.geometry.window_width, file.geometry.window_height,
                           picture.line_width, picture.colours.background, runs};
  const vector_outcome outcome =
      write_vector_picture(output.descriptor, vector_format_of(output.format), frame);
  if (outcome.write_error != 0) fail_with_error(output, outcome.write_error);
  if (!outcome.written) fail_to_write(output, outcome.message.c_str());
  ++output.frames_written;
}

void check_gif(picture_output& output, int result) {
  if (result == GIF_ERROR) {
    errno != 0 ? fail_with_errno(output) : fail_to_write(output, GifErrorString(output.gif->Error));
  }
}

// The NETSCAPE2.0 application extension with a loop count of 0: play forever.
void start_gif(picture_file_state& file) {
  picture_output& output = file.output;
  const picture_state& picture = file.picture;
  int error = 0;
  output.gif = EGifOpenFileHandle(output.descriptor, &error);
  if (output.gif == nullptr) fail_to_write(output, GifErrorString(error));
  output.palette = palette_for(picture.colours);
  std::array<GifColorType, palette_size> colours{};
  for (int i = 0; i < palette_size; ++i) {
    const rgb_colour& entry = output.palette.entries[static_cast<std::size_t>(i)];
    colours[static_cast<std::size_t>(i)] = {entry.red, entry.green, entry.blue};
  }
  ColorMapObject* map = GifMakeMapObject(palette_size, colours.data());
  if (map == nullptr) fail_to_write(output, "out of memory");
  EGifSetGifVersion(output.gif, true);
  errno = 0;
  const int described =
      EGifPutScreenDesc(output.gif, picture.width, picture.height, colour_resolution, 0, map);
  GifFreeMapObject(map);
  check_gif(output, described);
  static const char application[] = "NETSCAPE2.0";
  static const unsigned char forever[] = {1, 0, 0}; // sub-block 1: the loop count, 0
  check_gif(output, EGifPutExtensionLeader(output.gif, APPLICATION_EXT_FUNC_CODE));
  check_gif(output, EGifPutExtensionBlock(output.gif, sizeof application - 1, application));
  check_gif(output, EGifPutExtensionBlock(output.gif, sizeof forever, forever));
  check_gif(output, EGifPutExtensionTrailer(output.gif));
}

// The pixels as palette entries, a row at a time.
void map_to_palette(const picture_state& picture, gif_palette& palette,
                    std::vector<std::uint8_t>& indices) {
  const unsigned char* data = cairo_image_surface_get_data(picture.surface);
  const int stride = cairo_image_surface_get_stride(picture.surface);
  std::uint8_t* out = indices.data();
  const std::uint32_t background = palette.background_pixel;
  // Most pixels are the background, and a line's pixels come in runs of one shade: both are
  // answered here, without the cache.
  std::uint32_t last_pixel = background;
  std::uint8_t last_entry = 0;
  for (int y = 0; y < picture.height; ++y) {
    const unsigned char* row = data + static_cast<std::ptrdiff_t>(y) * stride;
    for (int x = 0; x < picture.width; ++x) {
      std::uint32_t pixel = 0;
      std::memcpy(&pixel, row + static_cast<std::ptrdiff_t>(x) * sizeof pixel, sizeof pixel);
      pixel &= rgb_bits;
      if (pixel == background) {
        *out++ = 0;
        continue;
      }
      if (pixel != last_pixel) {
        last_pixel = pixel;
        last_entry = palette_index(palette, pixel);
      }
      *out++ = last_entry;
    }
  }
}

struct pixel_rectangle {
  int left, top, width, height;
};

// The smallest rectangle that holds every pixel that differs between the two frames; a single
// pixel when none does (a GIF frame has at least one).
pixel_rectangle changed_rectangle(const std::vector<std::uint8_t>& now,
                                  const std::vector<std::uint8_t>& before, int width, int height) {
  int top = height;
  int bottom = -1;
  int left = width;
  int right = -1;
  for (int y = 0; y < height; ++y) {
    const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(width);
    int first = 0;
    while (first < width && now[row + first] == before[row + first]) ++first;
    if (first == width) continue;
    int last = width - 1;
    while (now[row + last] == before[row + last]) --last;
    top = std::min(top, y);
    bottom = y;
    left = std::min(left, first);
    right = std::max(right, last);
  }
  if (bottom < 0) return {0, 0, 1, 1};
  return {left, top, right - left + 1, bottom - top + 1};
}

// The frame's sub-blocks, then the empty block that ends them.
void put_gif_codes(picture_output& output) {
  const std::vector<std::uint8_t>& blocks = output.codes.blocks;
  std::size_t at = 0;
  check_gif(output, EGifPutCode(output.gif, gif_code_size, blocks.data()));
  for (at += std::size_t{blocks[at]} + 1; at < blocks.size(); at += std::size_t{blocks[at]} + 1)
    check_gif(output, EGifPutCodeNext(output.gif, blocks.data() + at));
  check_gif(output, EGifPutCodeNext(output.gif, nullptr));
}

// The first frame is whole; each later one holds only the rectangle that changed and leaves the
// rest of the previous frame in place, which saves most of the encoding.
void add_gif_frame(picture_file_state& file) {
  picture_output& output = file.output;
  const picture_state& picture = file.picture;
  map_to_palette(picture, output.palette, output.indices);
  const pixel_rectangle changed =
      output.frames_written == 0
          ? pixel_rectangle{0, 0, picture.width, picture.height}
          : changed_rectangle(output.indices, output.previous, picture.width, picture.height);
  GraphicsControlBlock control{};
  control.DisposalMode = DISPOSE_DO_NOT;
  control.UserInputFlag = false;
  control.DelayTime = output.delay;
  control.TransparentColor = NO_TRANSPARENT_COLOR;
  GifByteType extension[4];
  const std::size_t length = EGifGCBToExtension(&control, extension);
  errno = 0;
  check_gif(output, EGifPutExtension(output.gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length),
                                     extension));
  check_gif(output, EGifPutImageDesc(output.gif, changed.left, changed.top, changed.width,
                                     changed.height, false, nullptr));
  gif_codes& codes = output.codes;
  start_gif_codes(codes);
  for (int y = changed.top; y < changed.top + changed.height; ++y) {
    const std::size_t row = static_cast<std::size_t>(y) * static_cast<std::size_t>(picture.width);
    add_gif_pixels(codes, output.indices.data() + row + changed.left,
                   static_cast<std::size_t>(changed.width));
  }
  finish_gif_codes(codes);
  put_gif_codes(output);
  output.indices.swap(output.previous);
  ++output.frames_written;
}

void finish_gif(picture_output& output) {
  int error = 0;
  errno = 0;
  const int closed = EGifCloseFile(output.gif, &error);
  output.gif = nullptr;
  output.descriptor = -1;
  if (closed == GIF_ERROR)
    errno != 0 ? fail_with_errno(output) : fail_to_write(output, GifErrorString(error));
}

// Without -frames a GIF loops without a jump when it can, within longest_default_animation.
std::int32_t default_frame_count(const std::array<float, plane_count>& increments) {
  const std::int32_t loop = loop_frame_count(increments, longest_default_animation);
  if (loop > 0) return loop;
  const std::int32_t later = loop_frame_count(increments, longest_loop_search);
  if (later > 0)
    std::fprintf(stderr,
                 "zorv: writing %d frames; the motion comes back to its start after %d "
                 "(-frames %d)\n",
                 default_animation, later, later);
  else
    std::fprintf(stderr,
                 "zorv: writing %d frames; the motion does not come back to its start within "
                 "%d frames\n",
                 default_animation, longest_loop_search);
  return default_animation;
}

// A picture has no display to read a device-independent colour (or an intensity between the
// ends) with: such a colour is refused rather than drawn black.
void refuse_colours_needing_display(const viewer_settings& settings, std::string_view database) {
  for (const colour_option& unread : unread_colours(settings, database))
    if (needs_display(unread.text))
      die(exit_status::usage,
          "zorv: %s %s: only an X display reads this colour; a picture takes a name, #RRGGBB or "
          "rgb:RR/GG/BB\n",
          unread.option, unread.text.c_str());
}

} // namespace

std::int32_t loop_frame_count(const std::array<float, plane_count>& increments,
                              std::int32_t limit) {
  for (std::int32_t frames = 1; frames <= limit; ++frames) {
    bool whole = true;
    for (const float increment : increments) {
      // A float increment is off by its rounding, which grows with the turns made.
      const double turns = frames * static_cast<double>(increment) / whole_turn;
      if (!std::isfinite(turns) ||
          std::fabs(turns - std::nearbyint(turns)) > turn_tolerance * std::fabs(turns))
        whole = false;
    }
    if (whole) return frames;
  }
  return 0;
}

int gif_delay(float frame_rate) {
  const double delay = std::nearbyint(hundredths / static_cast<double>(frame_rate));
  return static_cast<int>(std::clamp(delay, double{shortest_delay}, double{longest_delay}));
}

gif_palette palette_for(const picture_colours& colours) {
  gif_palette palette{};
  palette.entries.fill(colours.background);
  palette.background_pixel = pixel_of(colours.background);
  constexpr int entries = palette_size - 1;
  std::vector<rgb_colour> distinct;
  for (const rgb_colour& c : colours.lines) {
    if (distinct.size() == entries) break;
    if (std::find(distinct.begin(), distinct.end(), c) == distinct.end()) distinct.push_back(c);
  }
  const int levels = entries / std::max(1, static_cast<int>(distinct.size()));
  const rgb_colour& b = colours.background;
  std::size_t at = 1;
  for (const rgb_colour& c : distinct) {
    for (int j = 1; j <= levels; ++j) {
      const auto blend = [&](std::uint8_t from, std::uint8_t to) {
        return static_cast<std::uint8_t>(
            from + std::lround((to - from) * j / static_cast<double>(levels)));
      };
      palette.entries[at++] = {blend(b.red, c.red), blend(b.green, c.green), blend(b.blue, c.blue)};
    }
  }
  palette.cache_keys.assign(cache_size, 0);
  palette.cache_values.assign(cache_size, 0);
  return palette;
}

std::uint8_t palette_index(gif_palette& palette, std::uint32_t pixel) {
  if (pixel == palette.background_pixel) return 0;
  const std::size_t slot = cache_slot(pixel);
  if (palette.cache_keys[slot] == (pixel | cache_used)) return palette.cache_values[slot];
  const std::uint8_t entry = nearest_entry(palette, pixel);
  palette.cache_keys[slot] = pixel | cache_used;
  palette.cache_values[slot] = entry;
  return entry;
}

void size_picture_file(picture_file_state& file, const viewer_settings& settings,
                       const std::array<float, plane_count>& increments) {
  picture_output& output = file.output;
  output.name = settings.output_file;
  output.format = settings.format;
  const std::int32_t asked = settings.frame_count;
  const bool one_frame = output.format != picture_format::gif;
  output.first_frame = one_frame && asked > 0 ? asked : 1;
  output.frame_count = one_frame ? 1 : asked > 0 ? asked : default_frame_count(increments);
  output.delay = gif_delay(settings.frame_rate > 0.0f ? settings.frame_rate : default_picture_rate);
  store_size(file.geometry,
             settings.placement.width > 0 ? settings.placement.width : default_window_side,
             settings.placement.height > 0 ? settings.placement.height : default_window_side);
}

void open_picture_file(picture_file_state& file, const viewer_settings& settings,
                       std::span<const rgb_colour> file_colours) {
  picture_output& output = file.output;
  picture_state& picture = file.picture;
  const std::string database = read_colour_database();
  refuse_colours_needing_display(settings, database);
  picture.colours = colours_for(settings, database);
  add_file_colours(picture.colours, file_colours);
  picture.line_width = settings.line_width;
  // A vector picture is drawn straight into its file: it needs no image.
  if (!is_vector(output.format) &&
      !make_picture(picture, file.geometry.window_width, file.geometry.window_height))
    die_of_memory();
  if (output.format == picture_format::gif) {
    try {
      const std::size_t pixels =
          static_cast<std::size_t>(picture.width) * static_cast<std::size_t>(picture.height);
      output.indices.assign(pixels, 0);
      output.previous.assign(pixels, 0);
      prepare_gif_codes(output.codes);
    } catch (const std::bad_alloc&) {
      die_of_memory();
    }
  }
  report(" Writing %s.\n", output.name.c_str());
  open_temporary_file(output);
  if (output.format == picture_format::gif) start_gif(file);
}

void show_picture_frame(picture_file_state& file, frame_lists& lists, const object_record& object) {
  if (is_vector(file.output.format)) {
    write_vector(file, lists, object);
    return;
  }
  render_picture(file.picture, lists, object);
  if (file.output.format == picture_format::gif) add_gif_frame(file);
}

void finish_picture_file(picture_file_state& file) {
  switch (file.output.format) {
  case picture_format::png:
    write_png(file);
    break;
  case picture_format::gif:
    finish_gif(file.output);
    break;
  case picture_format::svg:
  case picture_format::pdf:
  case picture_format::eps:
    close_file(file.output);
    break;
  }
  give_file_its_name(file.output);
}

} // namespace zorv
