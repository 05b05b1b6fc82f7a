// Feeds arbitrary colour databases and names to the colour reader: the input's bytes up to the
// first NUL are the name, the rest is the database's text.
#include "colours.hpp"

#include <cstddef>
#include <cstdint>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string_view name = input.substr(0, split);
  const std::string_view database =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  const auto colour = zorv::look_up_colour(database, name);
  // A name found in the database is in its text.
  if (colour && !name.starts_with('#') && database.empty()) __builtin_trap();
  return 0;
}
