// First download from a font with CFF outlines, whose glyphs are converted to TrueType ones as they
// are sent, against the same 500 characters from a TrueType font of the same design (Nimbus Sans,
// the URW Helvetica, and Liberation Sans, metric-compatible with Arial): the cost of an output
// byte, both measured in each iteration. The CFF side also converts each glyph.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <benchmark/benchmark.h>

#include <string>

#include "scenario.h"

namespace tavrfndl::bench {
namespace {

constexpr const char* kCff = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";
constexpr const char* kTrueType =
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
constexpr size_t kDistinctChars = 500;
constexpr int32_t kFontHeight = 400;
constexpr uint32_t kFirstFontId = 0x20000000;

// The first 500 characters from '!' on that both faces map.
std::u16string SharedCharacters() {
  std::u16string chars;
  FT_Library library = nullptr;
  FT_Face a = nullptr, b = nullptr;
  if (FT_Init_FreeType(&library) != 0) return chars;
  if (FT_New_Face(library, kCff, 0, &a) == 0 && FT_New_Face(library, kTrueType, 0, &b) == 0) {
    for (uint32_t c = 0x21; c < 0xFFFF && chars.size() < kDistinctChars; ++c) {
      if (FT_Get_Char_Index(a, c) != 0 && FT_Get_Char_Index(b, c) != 0 && c != 0xA0) {
        chars.push_back(static_cast<char16_t>(c));
      }
    }
  }
  if (a) FT_Done_Face(a);
  if (b) FT_Done_Face(b);
  FT_Done_FreeType(library);
  return chars;
}

// A new font number with the characters, in file mode: seconds, and the bytes written.
bool Timed(const char* font, const std::u16string& chars, double& seconds, size_t& bytes) {
  static uint32_t fontId = kFirstFontId;
  const std::string out = TempPath("cff-first.pxl");
  RemoveFile(out);
  const int32_t x = 0, y = 1000;
  FNDLSetCursor(&x, &y);
  PAGEINFOW page = MakePage(font, out, ++fontId, 72, 50, 1);
  TEXTINFOW text = MakeText(chars, kFontHeight);
  const Clock::time_point t0 = Clock::now();
  const int32_t result = FNDLFontDownloadW(&text, &page);
  seconds = SecondsBetween(t0, Clock::now());
  bytes = FileSize(out);
  FNDLRemoveFontW(&fontId);
  RemoveFile(out);
  return result == FNDL_RESULT_OK;
}

void FirstDownloadCffOverTrueType(benchmark::State& state) {
  const std::u16string chars = SharedCharacters();
  if (chars.size() != kDistinctChars) {
    state.SkipWithError("needs fonts-urw-base35 and fonts-liberation2");
    return;
  }
  Paired perByte;
  size_t cffBytes = 0, trueTypeBytes = 0;
  for (auto _ : state) {
    double cff = 0, trueType = 0;
    const bool ok =
        perByte.MeasuredFirst()
            ? Timed(kCff, chars, cff, cffBytes) && Timed(kTrueType, chars, trueType, trueTypeBytes)
            : Timed(kTrueType, chars, trueType, trueTypeBytes) && Timed(kCff, chars, cff, cffBytes);
    if (!ok || cffBytes == 0 || trueTypeBytes == 0) {
      state.SkipWithError("a download failed");
      break;
    }
    state.SetIterationTime(cff);
    perByte.Add(cff / static_cast<double>(cffBytes), trueType / static_cast<double>(trueTypeBytes));
  }
  if (perByte.iterations() == 0) return;
  state.counters["cff_ns_per_byte"] = benchmark::Counter(perByte.MedianMeasured() * 1e9);
  state.counters["truetype_ns_per_byte"] = benchmark::Counter(perByte.MedianBaseline() * 1e9);
  // The bytes of one download each, for the time a glyph costs.
  state.counters["cff_bytes"] = benchmark::Counter(static_cast<double>(cffBytes));
  state.counters["truetype_bytes"] = benchmark::Counter(static_cast<double>(trueTypeBytes));
  state.counters["ratio"] = benchmark::Counter(perByte.MedianRatio());
  state.counters["goal"] = benchmark::Counter(2.0);
}

BENCHMARK(FirstDownloadCffOverTrueType)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavrfndl::bench
