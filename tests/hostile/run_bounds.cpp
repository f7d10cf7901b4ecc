// Bounds on a run of this test program. Its fonts and records are built to make the library loop
// or write without end, and a regression would otherwise fill the disk (a job file grows by
// gigabytes a minute) and hold the test run for good (ctest gives these tests no timeout). Every
// file the process writes stops growing at 1 GiB, and the process ends after 20 minutes.
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

constexpr rlim_t kMaxFileBytes = rlim_t{1} << 30;
constexpr unsigned kMaxSeconds = 20 * 60;

[[maybe_unused]] const bool kBounded = [] {
  // A write past the limit then fails (EFBIG) instead of killing the process, so the test that
  // caused it fails on its broken output.
  signal(SIGXFSZ, SIG_IGN);
  rlimit limit{};
  if (getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur > kMaxFileBytes) {
    limit.rlim_cur = kMaxFileBytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  alarm(kMaxSeconds);
  return true;
}();

}  // namespace
