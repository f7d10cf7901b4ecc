// A cap on every file the process writes, for programs whose input may make the library write
// without end: past the cap a write fails (EFBIG) instead of killing the process with SIGXFSZ,
// so the program reports the broken output and names what caused it before the disk fills.
#pragma once

#include <signal.h>
#include <sys/resource.h>

namespace tavrfndl::testing {

inline void CapFileSizes(rlim_t maxBytes) {
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur > maxBytes) {
    limit.rlim_cur = maxBytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
}

}  // namespace tavrfndl::testing
