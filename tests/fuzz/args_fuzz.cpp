// Feeds arbitrary command lines to the option parser: the input's bytes, split at every NUL, are
// the arguments after the program name.
#include "settings.hpp"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> arguments{"zorv"};
  std::string current;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\0') {
      arguments.push_back(current);
      current.clear();
    } else {
      current += static_cast<char>(data[i]);
    }
  }
  arguments.push_back(current);
  std::vector<const char*> argv;
  for (const std::string& argument : arguments) argv.push_back(argument.c_str());
  argv.push_back(nullptr);

  zorv::viewer_settings settings{};
  zorv::set_defaults(settings);
  const zorv::parse_result result =
      zorv::parse_arguments(settings, static_cast<int>(arguments.size()), argv.data());
  if (result.outcome != zorv::parse_outcome::run) return 0;
  // The X server would refuse a negative width and wrap one beyond 16 bits.
  if (settings.line_width < 0 || settings.line_width > 65535) __builtin_trap();
  // A picture or window side from -geometry is 0 (not given) or from 1 to largest_side; a frame
  // number is 0 (not given) or positive.
  for (const std::int32_t side : {settings.placement.width, settings.placement.height})
    if (side < 0 || side > zorv::largest_side) __builtin_trap();
  if (settings.frame_count < 0) __builtin_trap();
  // The run mode is decided once: a picture file is never hosted, and always has a kind.
  const bool hosted = settings.root || settings.has_window_id;
  if ((settings.mode == zorv::run_mode::picture_file) != !settings.output_file.empty())
    __builtin_trap();
  if ((settings.mode == zorv::run_mode::host_window) != (hosted && settings.output_file.empty()))
    __builtin_trap();
  zorv::increments_in_radians(settings.increments);
  return 0;
}
