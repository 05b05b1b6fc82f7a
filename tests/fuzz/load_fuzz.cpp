// Feeds arbitrary bytes to the object-file parser, the code path load_object uses, and checks
// that whatever it accepts is safe to draw: every array as long as its count and every line index
// inside the point list.
#include "object.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  zorv::object_record object{};
  zorv::identity_transform(object);
  std::string error;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (!zorv::parse_object(text, object, error)) {
    if (error.empty()) __builtin_trap(); // a rejection must say why
    return 0;
  }
  if (object.point_count < 0 || object.line_count < 0) __builtin_trap();
  if (object.points.size() != static_cast<std::size_t>(object.point_count) ||
      object.projected.size() != object.points.size() ||
      object.lines.size() != static_cast<std::size_t>(object.line_count))
    __builtin_trap();
  for (const zorv::line& l : object.lines)
    if (l.first < 0 || l.first >= object.point_count || l.second < 0 ||
        l.second >= object.point_count)
      __builtin_trap();
  if (std::memchr(object.name, '\0', zorv::name_size) == nullptr) __builtin_trap();
  return 0;
}
