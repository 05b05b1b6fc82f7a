// Feeds arbitrary colour databases and names to the colour reader: the input's bytes up to the
// first NUL are the name, the rest is the database's text.
#include "colours.hpp"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

bool starts_with_form(std::string_view name, std::string_view form) {
  if (name.size() < form.size()) return false;
  for (std::size_t i = 0; i < form.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(name[i])) != form[i]) return false;
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const std::string_view name = input.substr(0, split);
  const std::string_view database =
      split == std::string_view::npos ? std::string_view() : input.substr(split + 1);
  const auto colour = zorv::look_up_colour(database, name);
  // Without a database only X's forms give a colour.
  const bool form =
      name.starts_with('#') || starts_with_form(name, "rgb:") || starts_with_form(name, "rgbi:");
  if (colour && !form && database.empty()) __builtin_trap();
  // A text read here is never left to a display.
  if (colour && zorv::needs_display(name)) __builtin_trap();
  // rgb: forms give the same colour whatever the database.
  if (starts_with_form(name, "rgb:") && zorv::look_up_colour({}, name) != colour) __builtin_trap();
  return 0;
}
