// First download: a font number the printer has not seen, with 500 distinct characters: the font
// header, 500 character records (and the components of composites), the selection and the
// page, against the I/O floor of the same file calls. Every iteration is a new font: a fresh
// number, removed again and its output file deleted outside the measured time.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "io_capture.h"
#include "scenario.h"

namespace tavrfndl::bench {
namespace {

constexpr size_t kDistinctChars = 500;
constexpr int32_t kFontHeight = 400;  // 72 dpi: every character advances 40 units
constexpr uint32_t kResolution = 72;
constexpr uint32_t kLineSpacing = 50;
constexpr int32_t kCursorX = 0;
constexpr int32_t kCursorY = 1000;
// Font numbers with eight hex digits, so every iteration's font name (and so every write) has
// the same length as the recorded one.
constexpr uint32_t kFirstFontId = 0x10000000;

struct Face {
  const char* name;
  const char* path;
  char16_t firstCode;  // the characters are the first 500 with a glyph from here on
};

constexpr Face kLatin = {"latin", kDejaVuSans, 0x21};
constexpr Face kCjk = {"cjk", kIpaGothic, 0x4E00};

struct Scenario {
  std::string error;
  std::string out;
  std::string floorOut;
  std::u16string chars;
  FileCalls calls;
  size_t bytesPerCall = 0;
  size_t records = 0;  // character records, components included
};

uint32_t NextFontId() {
  static uint32_t next = kFirstFontId;
  return next++;
}

// A new font: downloads chars under a number never used before and returns it.
int32_t Download(const Face& face, const Scenario& s, uint32_t fontId) {
  PAGEINFOW page = MakePage(face.path, s.out, fontId, kResolution, kLineSpacing, 1);
  TEXTINFOW text = MakeText(s.chars, kFontHeight);
  return FNDLFontDownloadW(&text, &page);
}

void Forget(const Scenario& s, uint32_t fontId) {
  FNDLRemoveFontW(&fontId);
  RemoveFile(s.out);
  RemoveFile(s.floorOut);
}

std::string Prepare(const Face& face, Scenario& s) {
  if (std::string e = EnsureStandingFont(); !e.empty()) return e;
  if (!FileExists(face.path)) return std::string("missing ") + face.path;
  s.out = TempPath(std::string("first-") + face.name + ".pxl");
  s.floorOut = TempPath(std::string("first-") + face.name + "-floor.pxl");

  ReferenceFont font(face.path);
  if (!font.ok()) return std::string("FreeType cannot read ") + face.path;
  for (uint32_t c = face.firstCode; c < 0xFFFF && s.chars.size() < kDistinctChars; ++c) {
    if (c == u' ') continue;
    const uint32_t glyph = font.GlyphIndex(c);
    if (glyph != 0 && !font.GlyphBytes(glyph).empty()) s.chars.push_back(static_cast<char16_t>(c));
  }
  if (s.chars.size() != kDistinctChars) return "the font has fewer than 500 characters";

  const uint32_t fontId = NextFontId();
  FNDLSetCursor(&kCursorX, &kCursorY);
  FileCallRecorder recorder;
  const int32_t result = Download(face, s, fontId);
  s.calls = recorder.Stop();
  if (result != FNDL_RESULT_OK) return "the download failed";
  if (std::string e = s.calls.CheckOneAppendSession(); !e.empty()) return e;
  const Bytes out = ReadFile(s.out);
  if (out != s.calls.Concatenated()) return "the recorded writes are not what the file received";

  DownloadExpectation expected;
  expected.pclName = PclFontName(fontId, face.path);
  expected.newFont = &font;
  expected.charSize = static_cast<float>(kFontHeight / 10 * kResolution / 72);
  std::string error;
  expected.chars = ExpectedCharRecords(font, s.chars, &error);
  if (!error.empty()) return error;
  const std::vector<int32_t> widths(s.chars.size(), kFontHeight / 10 * kResolution / 72);
  expected.page = PageRecords(s.chars, widths, kCursorX, kCursorY, 0, kLineSpacing, &error);
  if (!error.empty()) return error;
  if (std::string e = CheckDownloadOutput(out, expected); !e.empty()) return "output: " + e;

  if (!Replay(s.calls, s.floorOut) || ReadFile(s.floorOut) != out) {
    return "the replay does not write what the library wrote";
  }
  s.bytesPerCall = out.size();
  s.records = expected.chars.size();
  Forget(s, fontId);
  return {};
}

Scenario& ScenarioFor(const Face& face) {
  static Scenario latin;
  static Scenario cjk;
  static bool prepared[2] = {false, false};
  const int which = std::string(face.name) == kLatin.name ? 0 : 1;
  Scenario& s = which == 0 ? latin : cjk;
  if (!prepared[which]) {
    prepared[which] = true;
    s.error = Prepare(face, s);
  }
  return s;
}

// One new font through the library, timed; false when the call failed or wrote another number
// of bytes than the checked one.
bool TimedDownload(const Face& face, const Scenario& s, double& seconds, uint32_t& fontId) {
  fontId = NextFontId();
  FNDLSetCursor(&kCursorX, &kCursorY);
  const Clock::time_point t0 = Clock::now();
  const int32_t result = Download(face, s, fontId);
  seconds = SecondsBetween(t0, Clock::now());
  return result == FNDL_RESULT_OK && FileSize(s.out) == s.bytesPerCall;
}

void FirstDownload(benchmark::State& state, const Face& face) {
  Scenario& s = ScenarioFor(face);
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  {
    // A download outside the measured time, so that caches another benchmark emptied are warm.
    const uint32_t fontId = NextFontId();
    FNDLSetCursor(&kCursorX, &kCursorY);
    Download(face, s, fontId);
    Forget(s, fontId);
  }
  Paired paired;
  for (auto _ : state) {
    double library = 0;
    double floor = 0;
    uint32_t fontId = 0;
    bool ok = true;
    auto runFloor = [&] {
      const Clock::time_point t0 = Clock::now();
      Replay(s.calls, s.floorOut);
      floor = SecondsBetween(t0, Clock::now());
    };
    if (paired.MeasuredFirst()) {
      ok = TimedDownload(face, s, library, fontId);
      runFloor();
    } else {
      runFloor();
      ok = TimedDownload(face, s, library, fontId);
    }
    state.SetIterationTime(library);
    paired.Add(library, floor);
    Forget(s, fontId);
    if (!ok) {
      state.SkipWithError("a download failed or wrote another number of bytes");
      break;
    }
    if (paired.iterations() % 64 == 0) RemoveFile(StandingListPath());
  }
  paired.Report(state, "io_floor", 2.0);
  if (paired.iterations() == 0) return;
  const double perCall = paired.MedianMeasured();
  state.counters["bytes"] = benchmark::Counter(static_cast<double>(s.bytesPerCall));
  state.counters["records"] = benchmark::Counter(static_cast<double>(s.records));
  state.counters["ns_per_glyph"] = benchmark::Counter(perCall / kDistinctChars * 1e9);
  state.counters["ns_per_byte"] =
      benchmark::Counter(perCall / static_cast<double>(s.bytesPerCall) * 1e9);
}

// The cost of an output byte on the CJK face over that on the Latin face, both measured in each
// iteration: a large face must not cost more per byte for being large.
void FirstDownloadCjkOverLatin(benchmark::State& state) {
  Scenario& latin = ScenarioFor(kLatin);
  Scenario& cjk = ScenarioFor(kCjk);
  if (!latin.error.empty() || !cjk.error.empty()) {
    state.SkipWithError((latin.error + cjk.error).c_str());
    return;
  }
  // Per output byte: the CJK download is the figure, the Latin one its baseline.
  Paired perByte;
  for (auto _ : state) {
    double a = 0;
    double b = 0;
    uint32_t latinId = 0;
    uint32_t cjkId = 0;
    bool ok = true;
    if (perByte.MeasuredFirst()) {
      ok = TimedDownload(kCjk, cjk, b, cjkId) && TimedDownload(kLatin, latin, a, latinId);
    } else {
      ok = TimedDownload(kLatin, latin, a, latinId) && TimedDownload(kCjk, cjk, b, cjkId);
    }
    state.SetIterationTime(b);
    perByte.Add(b / static_cast<double>(cjk.bytesPerCall),
                a / static_cast<double>(latin.bytesPerCall));
    if (latinId != 0) Forget(latin, latinId);
    if (cjkId != 0) Forget(cjk, cjkId);
    if (!ok) {
      state.SkipWithError("a download failed or wrote another number of bytes");
      break;
    }
    if (perByte.iterations() % 64 == 0) RemoveFile(StandingListPath());
  }
  if (perByte.iterations() == 0) return;
  state.counters["cjk_ns_per_byte"] = benchmark::Counter(perByte.MedianMeasured() * 1e9);
  state.counters["latin_ns_per_byte"] = benchmark::Counter(perByte.MedianBaseline() * 1e9);
  state.counters["ratio"] = benchmark::Counter(perByte.MedianRatio());
  state.counters["goal"] = benchmark::Counter(1.3);
}

BENCHMARK_CAPTURE(FirstDownload, latin, kLatin)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(FirstDownload, cjk, kCjk)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(FirstDownloadCjkOverLatin)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavrfndl::bench
