// Creating the font of a call's GDI font description: every download call creates one
// (CreateFontIndirectA) and deletes the previous call's. The platform layer caches fontconfig's
// matches and the loaded faces, so a repeated description must neither match nor open a file.
// The baseline is the same creation with the caches emptied first (a match, when the font is
// named, and a file mapped and loaded), measured in the same run.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/engine_stats.h"
#include "scenario.h"

namespace tavrfndl::bench {
namespace {

struct FaceCase {
  const char* name;
  const char* font;  // a face name, or a font file path
};

constexpr FaceCase kByName = {"by_name", "DejaVu Sans"};
constexpr FaceCase kByPath = {"by_path", kDejaVuSans};
constexpr int kMisses = 5;

// The description the entry points build for the steady-state engine run.
platform::LOGFONTA Description(const char* font) {
  platform::LOGFONTA lf;
  lf.lfHeight = 100;
  lf.lfWeight = 400;
  std::strncpy(lf.lfFaceName, font, sizeof lf.lfFaceName - 1);
  return lf;
}

bool CreateAndDelete(const platform::LOGFONTA& lf, const char* font) {
  platform::FontEngine& engine = platform::CurrentFontEngine();
  platform::HFONT f = engine.CreateFontIndirectA(lf, font);
  return f != nullptr && engine.DeleteObject(f);
}

// The median cost of a creation on empty caches.
double MissSeconds(const FaceCase& c) {
  const platform::LOGFONTA lf = Description(c.font);
  std::vector<double> times;
  for (int i = 0; i < kMisses; ++i) {
    platform::ReleaseFontEngineCaches();
    const Clock::time_point t0 = Clock::now();
    if (!CreateAndDelete(lf, c.font)) return -1;
    times.push_back(SecondsBetween(t0, Clock::now()));
  }
  std::sort(times.begin(), times.end());
  return times[times.size() / 2];
}

void FaceCreation(benchmark::State& state, const FaceCase& c) {
  if (!FileExists(kDejaVuSans)) {
    state.SkipWithError("missing DejaVu Sans");
    return;
  }
  const double miss = MissSeconds(c);
  const platform::LOGFONTA lf = Description(c.font);
  if (miss < 0 || !CreateAndDelete(lf, c.font)) {
    state.SkipWithError("the font cannot be created");
    return;
  }
  const platform::posix::FontEngineStats before = platform::posix::GetFontEngineStatsForTesting();
  double hits = 0;
  int64_t n = 0;
  bool ok = true;
  for (auto _ : state) {
    const Clock::time_point t0 = Clock::now();
    ok = CreateAndDelete(lf, c.font);
    const double t = SecondsBetween(t0, Clock::now());
    state.SetIterationTime(t);
    hits += t;
    ++n;
    if (!ok) break;
  }
  const platform::posix::FontEngineStats after = platform::posix::GetFontEngineStatsForTesting();
  if (!ok) {
    state.SkipWithError("a creation failed");
    return;
  }
  if (n == 0) return;
  const uint64_t matches = after.fontconfigMatches - before.fontconfigMatches;
  const uint64_t opens = after.fontFileOpens - before.fontFileOpens;
  state.counters["matches"] = benchmark::Counter(static_cast<double>(matches));
  state.counters["file_opens"] = benchmark::Counter(static_cast<double>(opens));
  state.counters["miss_us"] = benchmark::Counter(miss * 1e6);
  state.counters["ratio"] = benchmark::Counter(hits / static_cast<double>(n) / miss);
  if (matches != 0 || opens != 0) {
    state.SkipWithError("a cached description made a fontconfig match or opened a file");
  }
}

BENCHMARK_CAPTURE(FaceCreation, by_name, kByName)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(FaceCreation, by_path, kByPath)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavrfndl::bench
