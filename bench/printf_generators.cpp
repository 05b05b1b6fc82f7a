// printf_generators - the generators written plainly with printf, for the benchmark's baseline:
//
//   printf_generators hoopgen|hoopstack|ripplegen <nx> <ny> > /dev/null
#include "printf_generators.hpp"

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: printf_generators hoopgen|hoopstack|ripplegen <nx> <ny>\n");
    return 2;
  }
  const int nx = std::atoi(argv[2]);
  const int ny = std::atoi(argv[3]);
  if (std::strcmp(argv[1], "hoopgen") == 0)
    zorv::printf_hoopgen(stdout, nx, ny);
  else if (std::strcmp(argv[1], "hoopstack") == 0)
    zorv::printf_hoopstack(stdout, nx, ny);
  else if (std::strcmp(argv[1], "ripplegen") == 0)
    zorv::printf_ripplegen(stdout, nx, ny);
  else
    return 2;
  return std::fflush(stdout) == 0 ? 0 : 1;
}
