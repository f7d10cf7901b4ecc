// What the benchmarks share: fonts, the program's temporary files, records filled as a driver
// fills them, and the pairing of each measured figure with its baseline.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "expected.h"
#include "tavrfndl.h"

namespace tavrfndl::bench {

inline constexpr const char* kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
// A TrueType CJK face: about 15,000 glyphs and a character map of thousands of segments.
inline constexpr const char* kIpaGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";

using Clock = std::chrono::steady_clock;

inline double SecondsBetween(Clock::time_point from, Clock::time_point to) {
  return std::chrono::duration<double>(to - from).count();
}

// A file in the program's own temporary folder, which goes away when the program ends.
std::string TempPath(const std::string& name);
// Output files are removed, not truncated, between iterations: ext4 writes a file that was cut to
// nothing back to disk when it is next closed, which would put disk writes into the closing
// fclose of both the measured call and its floor.
void RemoveFile(const std::string& path);
size_t FileSize(const std::string& path);
Bytes ReadFile(const std::string& path);
bool FileExists(const std::string& path);

PAGEINFOW MakePage(const std::string& font, const std::string& outFile, uint32_t fontId,
                   uint32_t resolution, uint32_t lineSpacing, int32_t bTTE);
TEXTINFOW MakeText(const std::u16string& text, int32_t fontHeight);

// The library keeps its font list (and the font engine's caches) until the last font is
// removed. A font that stays for the whole program keeps every benchmark in a running job's
// state, however many fonts the others add and remove. Empty on success.
std::string EnsureStandingFont();
// Where removals go: the output file of the call that made the list.
const std::string& StandingListPath();

// A figure and its baseline, each iteration measuring both back to back (in alternating order,
// so neither always runs on the other's warm caches). Medians, not means: on a shared machine one
// descheduled iteration would move a mean by more than the effects measured here.
class Paired {
 public:
  bool MeasuredFirst() const { return measured_.size() % 2 == 0; }
  void Add(double measuredSeconds, double baselineSeconds) {
    measured_.push_back(measuredSeconds);
    baseline_.push_back(baselineSeconds);
  }
  int64_t iterations() const { return static_cast<int64_t>(measured_.size()); }
  double MedianMeasured() const;
  double MedianBaseline() const;
  // The median of the iterations' measured / baseline.
  double MedianRatio() const;
  // us and <baselineName>_us (medians), ratio (median ratio), and the goal for the ratio.
  void Report(benchmark::State& state, const char* baselineName, double goal) const;

 private:
  std::vector<double> measured_;
  std::vector<double> baseline_;
};

}  // namespace tavrfndl::bench
