#include "picture_files.hpp"

#include <cairo.h>
#include <gif_lib.h>
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

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
  png_read_info(png, info);
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
