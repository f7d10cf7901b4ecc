// Bounds on a run of this test program. Its fonts and records are built to make the library loop
// or write without end, and a regression would otherwise fill the disk (a job file grows by
// gigabytes a minute) long before ctest's timeout ends the test, or hold a run of the program
// started by hand for good. Every file the process writes stops growing at 1 GiB, and the
// process ends after 20 minutes.
#include <unistd.h>

#include "hostile/file_size_cap.h"

namespace {

constexpr rlim_t kMaxFileBytes = rlim_t{1} << 30;
constexpr unsigned kMaxSeconds = 20 * 60;

[[maybe_unused]] const bool kBounded = [] {
  tavrfndl::testing::CapFileSizes(kMaxFileBytes);
  alarm(kMaxSeconds);
  return true;
}();

}  // namespace
