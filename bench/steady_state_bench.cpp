// Steady state: a driver's typical run, an 80-character line in a font whose glyphs the printer
// already has, against the I/O floor: the same fopen / fwrite / fflush / fclose sequence with
// the same byte counts, replayed from bytes recorded once.
#include <benchmark/benchmark.h>

#include <string>

#include "io_capture.h"
#include "scenario.h"

namespace tavrfndl::bench {
namespace {

constexpr char16_t kLine[] =
    u"Invoice 2024-117: 12 boxes of paper, 3 toner cartridges; total due EUR 1,284.50.";
static_assert(sizeof kLine / sizeof kLine[0] == 81, "an 80-character line");

constexpr int32_t kCursorX = 300;
constexpr int32_t kCursorY = 1000;
// The output files are deleted this often, outside the measured time.
constexpr int64_t kRemoveEvery = 512;

struct Mode {
  const char* name;
  int32_t bTTE;
  const char* font;  // face name or file path
  uint32_t fontId;
  int32_t fontHeight;
  uint32_t resolution;
};

// File mode at FontHeight 400 and 72 dpi: every character advances 40 units. Engine mode at the
// usual 10 point on a 600 dpi page: the advances are the font's own at an em of 83 pixels.
constexpr Mode kFileMode = {"file", 1, kDejaVuSans, 0x100, 400, 72};
constexpr Mode kEngineMode = {"engine", 0, "DejaVu Sans", 0x101, 100, 600};

struct Scenario {
  std::string error;
  std::string out;
  std::string floorOut;
  PAGEINFOW page{};
  TEXTINFOW text{};
  FileCalls calls;
  size_t bytesPerCall = 0;
};

std::string Prepare(const Mode& mode, Scenario& s) {
  if (std::string e = EnsureStandingFont(); !e.empty()) return e;
  s.out = TempPath(std::string("steady-") + mode.name + ".pxl");
  s.floorOut = TempPath(std::string("steady-") + mode.name + "-floor.pxl");
  s.page = MakePage(mode.font, s.out, mode.fontId, mode.resolution, 50, mode.bTTE);
  s.text = MakeText(kLine, mode.fontHeight);

  // The first run downloads the line's glyphs; from the second on the font is complete.
  PAGEINFOW page = s.page;
  TEXTINFOW text = s.text;
  FNDLSetCursor(&kCursorX, &kCursorY);
  if (FNDLFontDownloadW(&text, &page) != FNDL_RESULT_OK) return "the first run failed";
  RemoveFile(s.out);

  page = s.page;
  text = s.text;
  FNDLSetCursor(&kCursorX, &kCursorY);
  FileCallRecorder recorder;
  const int32_t result = FNDLFontDownloadW(&text, &page);
  s.calls = recorder.Stop();
  if (result != FNDL_RESULT_OK) return "the steady run failed";
  if (std::string e = s.calls.CheckOneAppendSession(); !e.empty()) return e;
  const Bytes out = ReadFile(s.out);
  if (out != s.calls.Concatenated()) return "the recorded writes are not what the file received";

  ReferenceFont font(kDejaVuSans);
  if (!font.ok()) return "FreeType cannot read DejaVu Sans";
  // The character size: every advance in file mode, the em the font engine is asked for in
  // engine mode.
  const int32_t size = mode.fontHeight / 10 * static_cast<int32_t>(mode.resolution) / 72;
  std::u16string line(kLine);
  std::vector<int32_t> widths;
  for (char16_t c : line) widths.push_back(mode.bTTE ? size : font.EmAdvance(c, size));
  DownloadExpectation expected;
  expected.pclName = PclFontName(mode.fontId, mode.font);
  expected.charSize = static_cast<float>(size);
  std::string error;
  expected.page = PageRecords(line, widths, kCursorX, kCursorY, 0, 50, &error);
  if (!error.empty()) return error;
  if (std::string e = CheckDownloadOutput(out, expected); !e.empty()) return "output: " + e;

  if (!Replay(s.calls, s.floorOut) || ReadFile(s.floorOut) != out) {
    return "the replay does not write what the library wrote";
  }
  s.bytesPerCall = out.size();
  RemoveFile(s.out);
  RemoveFile(s.floorOut);
  return {};
}

Scenario& ScenarioFor(const Mode& mode) {
  static Scenario file;
  static Scenario engine;
  static bool prepared[2] = {false, false};
  const int which = mode.bTTE ? 0 : 1;
  Scenario& s = which == 0 ? file : engine;
  if (!prepared[which]) {
    prepared[which] = true;
    s.error = Prepare(mode, s);
  }
  return s;
}

// One call of the library and its floor, back to back; the call's time and result.
int32_t RunPair(const Scenario& s, Paired& paired, double& library) {
  PAGEINFOW page = s.page;
  TEXTINFOW text = s.text;
  FNDLSetCursor(&kCursorX, &kCursorY);
  int32_t result = FNDL_RESULT_FAILED;
  double floor = 0;
  auto runLibrary = [&] {
    const Clock::time_point t0 = Clock::now();
    result = FNDLFontDownloadW(&text, &page);
    library = SecondsBetween(t0, Clock::now());
  };
  auto runFloor = [&] {
    const Clock::time_point t0 = Clock::now();
    Replay(s.calls, s.floorOut);
    floor = SecondsBetween(t0, Clock::now());
  };
  if (paired.MeasuredFirst()) {
    runLibrary();
    runFloor();
  } else {
    runFloor();
    runLibrary();
  }
  paired.Add(library, floor);
  return result;
}

// A run outside the measured time, so that caches another benchmark emptied are warm again.
void WarmUp(const Scenario& s) {
  PAGEINFOW page = s.page;
  TEXTINFOW text = s.text;
  FNDLSetCursor(&kCursorX, &kCursorY);
  FNDLFontDownloadW(&text, &page);
  RemoveFile(s.out);
  RemoveFile(s.floorOut);
}

void SteadyState(benchmark::State& state, const Mode& mode) {
  Scenario& s = ScenarioFor(mode);
  if (!s.error.empty()) {
    state.SkipWithError(s.error.c_str());
    return;
  }
  WarmUp(s);
  Paired paired;
  int64_t sinceRemoval = 0;
  for (auto _ : state) {
    double library = 0;
    const int32_t result = RunPair(s, paired, library);
    state.SetIterationTime(library);
    if (result != FNDL_RESULT_OK) {
      state.SkipWithError("a steady run failed");
      break;
    }
    if (++sinceRemoval == kRemoveEvery) {
      if (FileSize(s.out) != s.bytesPerCall * static_cast<size_t>(sinceRemoval)) {
        state.SkipWithError("a steady run wrote another number of bytes");
        break;
      }
      RemoveFile(s.out);
      RemoveFile(s.floorOut);
      sinceRemoval = 0;
    }
  }
  paired.Report(state, "io_floor", 1.5);
  state.counters["bytes"] = benchmark::Counter(static_cast<double>(s.bytesPerCall));
  state.counters["fwrites"] = benchmark::Counter(static_cast<double>(s.calls.Writes()));
  state.counters["fflushes"] = benchmark::Counter(static_cast<double>(s.calls.Flushes()));
}

BENCHMARK_CAPTURE(SteadyState, file, kFileMode)->UseManualTime()->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(SteadyState, engine, kEngineMode)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace tavrfndl::bench
