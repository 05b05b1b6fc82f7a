// The Clifford torus that hoopgen writes, for the tests and benchmarks that need an object of a
// given size: its text, byte for byte, and that text loaded into an object record.
#pragma once

#include "object.hpp"
#include "printf_generators.hpp"
#include "zorv_file.hpp"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <string>

namespace zorv {

// What "hoopgen nx ny" writes.
inline std::string torus_text(int nx, int ny) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  if (out == nullptr) throw std::runtime_error("open_memstream failed");
  printf_hoopgen(out, nx, ny);
  std::fclose(out);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

// The torus loaded as the viewer loads it, with the identity transform.
inline object_record torus_object(int nx, int ny) {
  object_record object{};
  identity_transform(object);
  std::string error;
  if (!parse_object(torus_text(nx, ny), object, error)) throw std::runtime_error(error);
  return object;
}

} // namespace zorv
