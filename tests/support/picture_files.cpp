#include "picture_files.hpp"

#include <cairo.h>
#include <gif_lib.h>
#include <libxml/parser.h>
#include <libxml/tree.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <optional>
#include <sstream>

namespace zorv::picturetest {

namespace {

constexpr std::uint32_t rgb_bits = 0xffffff;

std::uint32_t pixel_of(const GifColorType& c) {
  return std::uint32_t{c.Red} << 16 | std::uint32_t{c.Green} << 8 | c.Blue;
}

// The NETSCAPE2.0 block and, after it, the sub-block 1 with a loop count of 0.
bool loops_forever(const ExtensionBlock* blocks, int count) {
  for (int i = 0; i + 1 < count; ++i) {
    const ExtensionBlock& block = blocks[i];
    const ExtensionBlock& next = blocks[i + 1];
    if (block.Function == APPLICATION_EXT_FUNC_CODE && block.ByteCount == 11 &&
        std::memcmp(block.Bytes, "NETSCAPE2.0", 11) == 0 &&
        next.Function == CONTINUE_EXT_FUNC_CODE && next.ByteCount == 3 && next.Bytes[0] == 1 &&
        next.Bytes[1] == 0 && next.Bytes[2] == 0)
      return true;
  }
  return false;
}

// Draws one frame's rectangle over the picture so far.
void draw_frame(image& shown, const SavedImage& frame, const ColorMapObject* global) {
  const GifImageDesc& d = frame.ImageDesc;
  const ColorMapObject* map = d.ColorMap != nullptr ? d.ColorMap : global;
  for (int y = 0; y < d.Height; ++y)
    for (int x = 0; x < d.Width; ++x) {
      const int index = frame.RasterBits[y * d.Width + x];
      const int px = d.Left + x;
      const int py = d.Top + y;
      if (map == nullptr || index >= map->ColorCount || px >= shown.width || py >= shown.height)
        continue;
      shown.pixels[static_cast<std::size_t>(py) * static_cast<std::size_t>(shown.width) +
                   static_cast<std::size_t>(px)] = pixel_of(map->Colors[index]);
    }
}

} // namespace

image read_png(const std::string& path) {
  image result;
  cairo_surface_t* surface = cairo_image_surface_create_from_png(path.c_str());
  if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
    cairo_surface_flush(surface);
    result.width = cairo_image_surface_get_width(surface);
    result.height = cairo_image_surface_get_height(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < result.height; ++y)
      for (int x = 0; x < result.width; ++x) {
        std::uint32_t pixel = 0;
        std::memcpy(&pixel, data + y * stride + x * 4, sizeof pixel);
        result.pixels.push_back(pixel & rgb_bits);
      }
  }
  cairo_surface_destroy(surface);
  return result;
}

namespace {

void quiet_png_warning(png_structp, png_const_charp) {}

// libpng returns from an error by a jump to here: nothing in this frame has a destructor.
bool read_hint(png_structp png, png_infop info, std::FILE* file, background_hint& hint) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_init_io(png, file);
  png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr); // every chunk, each sum checked
  png_color_16p colour = nullptr;
  hint.present = png_get_bKGD(png, info, &colour) != 0 && colour != nullptr;
  if (hint.present)
    hint.colour =
        std::uint32_t{colour->red} << 16 | std::uint32_t{colour->green} << 8 | colour->blue;
  return true;
}

} // namespace

background_hint read_png_background(const std::string& path) {
  background_hint hint;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return hint;
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, quiet_png_warning);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  hint.read = info != nullptr && read_hint(png, info, file, hint);
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(file);
  return hint;
}

animation read_gif(const std::string& path) {
  animation result;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (gif == nullptr) return result;
  if (DGifSlurp(gif) == GIF_OK) {
    result.read = true;
    result.width = gif->SWidth;
    result.height = gif->SHeight;
    if (gif->SColorMap != nullptr)
      for (int i = 0; i < gif->SColorMap->ColorCount; ++i)
        result.palette.push_back(pixel_of(gif->SColorMap->Colors[i]));
    result.loops = loops_forever(gif->ExtensionBlocks, gif->ExtensionBlockCount);
    image shown{result.width, result.height, {}};
    shown.pixels.assign(static_cast<std::size_t>(result.width) *
                            static_cast<std::size_t>(result.height),
                        result.palette.empty() ? 0 : result.palette[0]);
    for (int i = 0; i < gif->ImageCount; ++i) {
      const SavedImage& frame = gif->SavedImages[i];
      result.loops =
          result.loops || loops_forever(frame.ExtensionBlocks, frame.ExtensionBlockCount);
      GraphicsControlBlock control{};
      result.delays.push_back(
          DGifSavedExtensionToGCB(gif, i, &control) == GIF_OK ? control.DelayTime : -1);
      draw_frame(shown, frame, gif->SColorMap);
      result.frames.push_back(shown);
    }
  }
  DGifCloseFile(gif, &error);
  return result;
}

namespace {

using properties = std::map<std::string, std::string>;

std::string text_of(const xmlChar* text) {
  return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text));
}

std::string attribute(xmlNode* node, const char* name) {
  xmlChar* value = xmlGetProp(node, reinterpret_cast<const xmlChar*>(name));
  const std::string text = text_of(value);
  xmlFree(value);
  return text;
}

std::string trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t\n");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\n") - first + 1);
}

// What an element says of its drawing, from its attributes or its style="name:value;...".
properties properties_of(xmlNode* node) {
  properties found;
  std::istringstream style(attribute(node, "style"));
  for (std::string item; std::getline(style, item, ';');) {
    const std::size_t colon = item.find(':');
    if (colon != std::string::npos)
      found[trimmed(item.substr(0, colon))] = trimmed(item.substr(colon + 1));
  }
  for (xmlAttr* a = node->properties; a != nullptr; a = a->next) {
    const std::string name = text_of(a->name);
    if (name != "style") found[name] = attribute(node, name.c_str());
  }
  return found;
}

// rgb(R%, G%, B%), rgb(R, G, B) or #RRGGBB.
std::optional<std::uint32_t> colour_of(const std::string& text) {
  if (text.size() == 7 && text[0] == '#')
    return static_cast<std::uint32_t>(std::stoul(text.substr(1), nullptr, 16));
  if (!text.starts_with("rgb(") || !text.ends_with(")")) return std::nullopt;
  std::istringstream channels(text.substr(4, text.size() - 5));
  std::uint32_t colour = 0;
  for (std::string channel; std::getline(channels, channel, ',');) {
    channel = trimmed(channel);
    double value = std::stod(channel);
    if (channel.ends_with("%")) value = value * 255.0 / 100.0;
    colour = colour << 8 | static_cast<std::uint32_t>(std::lround(value));
  }
  return colour;
}

// A path of one line: "M x1 y1 L x2 y2".
bool read_line(const std::string& d, svg_stroke& stroke) {
  std::istringstream path(d);
  std::string move, line, rest;
  path >> move >> stroke.x1 >> stroke.y1 >> line >> stroke.x2 >> stroke.y2;
  return path && move == "M" && line == "L" && !(path >> rest);
}

double number_or(const properties& p, const char* name, double otherwise) {
  const auto found = p.find(name);
  return found == p.end() ? otherwise : std::stod(found->second);
}

void read_drawing(xmlNode* node, svg_picture& picture) {
  for (; node != nullptr; node = node->next) {
    if (node->type != XML_ELEMENT_NODE) continue;
    const std::string name = text_of(node->name);
    const properties p = properties_of(node);
    if (p.contains("transform") || p.contains("clip-path")) {
      picture.unread.push_back(name + " with a transform or clip");
    } else if (name == "g") {
      read_drawing(node->children, picture);
    } else if (name == "rect" && picture.strokes.empty() && !picture.has_background &&
               number_or(p, "x", 0) == 0 && number_or(p, "y", 0) == 0 && p.contains("fill") &&
               colour_of(p.at("fill"))) {
      picture.has_background = true;
      picture.background = *colour_of(p.at("fill"));
      // The rectangle covers what the svg element shows.
      if (attribute(node, "width") + "px" != picture.width ||
          attribute(node, "height") + "px" != picture.height)
        picture.unread.push_back("rect of another size");
    } else if (name == "path" && p.contains("stroke") && colour_of(p.at("stroke")) &&
               p.contains("d")) {
      svg_stroke stroke;
      stroke.colour = *colour_of(p.at("stroke"));
      stroke.width = number_or(p, "stroke-width", 1);
      stroke.cap = p.contains("stroke-linecap") ? p.at("stroke-linecap") : "butt";
      if (read_line(p.at("d"), stroke) && (!p.contains("fill") || p.at("fill") == "none"))
        picture.strokes.push_back(stroke);
      else
        picture.unread.push_back("path " + p.at("d"));
    } else {
      picture.unread.push_back(name);
    }
  }
}

} // namespace

svg_picture read_svg(const std::string& path) {
  svg_picture picture;
  xmlDoc* document = xmlReadFile(path.c_str(), nullptr, XML_PARSE_NONET | XML_PARSE_NOERROR);
  xmlNode* root = document != nullptr ? xmlDocGetRootElement(document) : nullptr;
  if (root != nullptr && text_of(root->name) == "svg") {
    picture.read = true;
    picture.width = attribute(root, "width");
    picture.height = attribute(root, "height");
    read_drawing(root->children, picture);
  }
  xmlFreeDoc(document);
  return picture;
}

long drawn_far_from(const image& a, const image& b, std::uint32_t background, int reach) {
  if (a.width != b.width || a.height != b.height) return -1;
  long count = 0;
  for (int y = 0; y < a.height; ++y)
    for (int x = 0; x < a.width; ++x) {
      if (a.at(x, y) == background) continue;
      bool near = false;
      for (int v = std::max(0, y - reach); v <= std::min(b.height - 1, y + reach) && !near; ++v)
        for (int u = std::max(0, x - reach); u <= std::min(b.width - 1, x + reach) && !near; ++u)
          near = b.at(u, v) != background;
      count += !near;
    }
  return count;
}

namespace {

int channel_difference(std::uint32_t a, std::uint32_t b) {
  int largest = 0;
  for (const int shift : {0, 8, 16}) {
    const int one = static_cast<int>(a >> shift & 0xff);
    const int other = static_cast<int>(b >> shift & 0xff);
    largest = std::max(largest, std::abs(one - other));
  }
  return largest;
}

} // namespace

long differing_pixels(const image& a, const image& b, int tolerance) {
  if (a.pixels.size() != b.pixels.size()) return -1;
  long count = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i)
    count += channel_difference(a.pixels[i], b.pixels[i]) > tolerance;
  return count;
}

int largest_channel_difference(const image& a, const image& b) {
  if (a.pixels.size() != b.pixels.size()) return 256;
  int largest = 0;
  for (std::size_t i = 0; i < a.pixels.size(); ++i)
    largest = std::max(largest, channel_difference(a.pixels[i], b.pixels[i]));
  return largest;
}

} // namespace zorv::picturetest
