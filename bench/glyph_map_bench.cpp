// The character map of a new font: BuildGlyphMap over the first Windows format-4 subtable. The
// goal is absolute (under 1 ms for a map of thousands of segments); the baseline beside it is
// the least any map build does, writing each of the 65535 entries once.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <memory>
#include <string>

#include "fontlist/fontlist.h"
#include "platform/platform.h"
#include "scenario.h"
#include "truetype/tables.h"

namespace tavrfndl::bench {
namespace {

struct MapCase {
  const char* name;
  const char* path;
  bool bTTE;  // true: read from the file; false: from the font engine's font of that file
};

constexpr MapCase kCjkFile = {"cjk_file", kIpaGothic, true};
constexpr MapCase kCjkEngine = {"cjk_engine", kIpaGothic, false};
constexpr MapCase kLatinFile = {"latin_file", kDejaVuSans, true};

struct Scenario {
  std::string error;
  FontSource source;
  platform::HDC hDC = nullptr;
  FONTENTRY entry;
  uint32_t segments = 0;
};

uint32_t SegmentCount(ReferenceFont& font) {
  const Bytes& cmap = font.Table("cmap");
  auto u16 = [view = ByteView(cmap.data(), cmap.size())](size_t at) -> uint32_t {
    uint16_t value = 0;
    return view.ReadU16(at, value) ? value : 0;
  };
  for (uint32_t i = 0; i < u16(2); ++i) {
    const size_t record = 4 + 8 * size_t{i};
    const uint32_t offset = (u16(record + 4) << 16) | u16(record + 6);
    if (u16(record) == 3 && u16(offset) == 4) return u16(offset + 6) / 2;
  }
  return 0;
}

std::string Prepare(const MapCase& c, Scenario& s) {
  if (!FileExists(c.path)) return std::string("missing ") + c.path;
  s.source.bTTE = c.bTTE;
  s.source.path = c.path;
  if (!c.bTTE) {
    platform::FontEngine& engine = platform::CurrentFontEngine();
    platform::LOGFONTA lf;
    lf.lfHeight = 100;
    lf.lfWeight = 400;
    s.hDC = engine.CreateCompatibleDC();
    platform::HFONT font = engine.CreateFontIndirectA(lf, c.path);
    if (s.hDC == nullptr || font == nullptr) return "the font engine cannot load the font";
    engine.SelectObject(s.hDC, font);
    s.source.hDC = s.hDC;
  }
  s.entry.nGlyphs = GetNumberOfGlyphsInFont(s.source);
  s.entry.pdwGlyphMap.reset(new uint32_t[kGlyphMapSize]);
  std::fill_n(s.entry.pdwGlyphMap.get(), kGlyphMapSize, kUnmappedGlyph);
  if (!BuildGlyphMap(s.source, s.entry.nGlyphs, s.entry.GlyphMap())) return "BuildGlyphMap failed";

  // The map against FreeType's reading of the font, as the tests check it: a glyph FreeType
  // finds is the map's; a code it does not map is unmapped (32) or glyph 0.
  ReferenceFont font(c.path);
  if (!font.ok()) return std::string("FreeType cannot read ") + c.path;
  if (s.entry.nGlyphs != font.NumGlyphs()) return "wrong glyph count";
  for (uint32_t code = 0; code < kGlyphMapSize; ++code) {
    const uint32_t expected = font.GlyphIndex(code);
    const uint32_t got = s.entry.pdwGlyphMap[code];
    if (expected != 0 ? got != expected : (got != 0 && got != kUnmappedGlyph)) {
      return "the map differs from FreeType's at code " + std::to_string(code);
    }
  }
  s.segments = SegmentCount(font);
  return {};
}

Scenario& ScenarioFor(const MapCase& c) {
  static Scenario scenarios[3];
  static bool prepared[3] = {false, false, false};
  const std::string name = c.name;
  const int which = name == kCjkFile.name ? 0 : name == kCjkEngine.name ? 1 : 2;
  if (!prepared[which]) {
    prepared[which] = true;
    scenarios[which].error = Prepare(c, scenarios[which]);
  }
  return scenarios[which];
}

void GlyphMap(benchmark::State& state, const MapCase& c) {
  Scenario& s = ScenarioFor(c);
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  std::unique_ptr<uint32_t[]> floorMap(new uint32_t[kGlyphMapSize]);
  Paired paired;
  for (auto _ : state) {
    double build = 0;
    double floor = 0;
    bool ok = true;
    auto runBuild = [&] {
      const Clock::time_point t0 = Clock::now();
      ok = BuildGlyphMap(s.source, s.entry.nGlyphs, s.entry.GlyphMap());
      benchmark::DoNotOptimize(s.entry.pdwGlyphMap.get());
      benchmark::ClobberMemory();
      build = SecondsBetween(t0, Clock::now());
    };
    auto runFloor = [&] {
      const Clock::time_point t0 = Clock::now();
      std::fill_n(floorMap.get(), kGlyphMapSize, kUnmappedGlyph);
      benchmark::DoNotOptimize(floorMap.get());
      benchmark::ClobberMemory();
      floor = SecondsBetween(t0, Clock::now());
    };
    if (paired.MeasuredFirst()) {
      runBuild();
      runFloor();
    } else {
      runFloor();
      runBuild();
    }
    state.SetIterationTime(build);
    paired.Add(build, floor);
    if (!ok) {
      state.SkipWithError("BuildGlyphMap failed");
      break;
    }
  }
  if (paired.iterations() == 0) return;
  state.counters["ms"] = benchmark::Counter(paired.MedianMeasured() * 1e3);
  state.counters["goal_ms"] = benchmark::Counter(1.0);
  state.counters["fill_floor_us"] = benchmark::Counter(paired.MedianBaseline() * 1e6);
  state.counters["segments"] = benchmark::Counter(static_cast<double>(s.segments));
}

BENCHMARK_CAPTURE(GlyphMap, cjk_file, kCjkFile)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(GlyphMap, cjk_engine, kCjkEngine)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(GlyphMap, latin_file, kLatinFile)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavrfndl::bench
