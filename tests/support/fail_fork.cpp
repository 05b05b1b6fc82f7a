// A test seam for the viewer's failed fork, loaded into the real zorv with LD_PRELOAD: every
// fork fails as it does when the process table or the memory is exhausted.
#include <cerrno>
#include <sys/types.h>

extern "C" pid_t fork() {
  errno = EAGAIN;
  return -1;
}
