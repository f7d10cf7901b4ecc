// Fuzz target: font bytes.
//
// Input: the font file, then the run's text as n UTF-16 units (little-endian), then n itself in
// the last byte (at most 64; an input too short for n units takes what there is). The font is
// written to a file of its own and a run is printed with it in file mode (bTTE 1), the way a
// driver prints a run: on a result 1 the run goes on behind the missing character. The same run
// is printed again (the glyphs are then on the printer), and once more through the font engine
// (bTTE 0 naming the same file, so the engine's table copies are read as well). Then the fonts
// are removed. The whole job must be a self-consistent stream, and every font it defines one a
// strict printer can use (tests/support/strict_consumer.h: its tables inside the GT segment,
// the font FreeType-loadable, every glyph sent loadable hinted and unhinted).
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "support/strict_consumer.h"
#include "tavrfndl.h"

namespace tavrfndl::fuzz {
namespace {

constexpr size_t kMaxTextUnits = 64;
constexpr uint32_t kFileFontId = 1;
constexpr uint32_t kEngineFontId = 2;

size_t WideLength(const FNDL_WCHAR* s, size_t max) {
  size_t n = 0;
  while (n < max && s[n] != 0) ++n;
  return n;
}

// One run, continued behind every character without a glyph, as a driver does; at most as many
// calls as the text has characters, plus one.
void PrintRun(const std::string& fontPath, const std::vector<uint16_t>& text, uint32_t fontId,
              int32_t bTTE, const char* context) {
  TEXTINFOW t{};
  for (size_t i = 0; i < text.size(); ++i) t.chText[i] = text[i];
  t.FontHeight = 120;
  t.bUnderline = 1;
  PAGEINFOW page{};
  PutField(page.chFont, fontPath);
  PutField(page.chOutFile, JobPath());
  page.nFontId = fontId;
  page.nResolution = 600;
  page.nLineSpacing = 100;
  page.lfWeight = 400;
  page.bTTE = bTTE;
  const size_t length = WideLength(t.chText, std::size(t.chText));

  for (size_t call = 0; call <= length; ++call) {
    const int32_t before = t.nOffsetToText;
    page.nNextX = -7;
    const int32_t r = FNDLFontDownloadW(&t, &page);
    CheckResult(r, context);
    CheckJobBounded(context);
    if (r == FNDL_RESULT_OK || r == FNDL_RESULT_PAGE_FULL) {
      if (page.nNextX != 0) Violation(std::string(context) + ": nNextX set without result 1");
    }
    if (r == FNDL_RESULT_PAGE_FULL) {
      if (t.bPageFull != 1) Violation(std::string(context) + ": page full without bPageFull");
      return;
    }
    if (r != FNDL_RESULT_NO_GLYPH) return;
    // The stop character is at nOffsetToText: inside the text, at or behind where this call
    // started.
    if (t.nOffsetToText < before || static_cast<size_t>(t.nOffsetToText) >= length) {
      Violation(std::string(context) + ": result 1 with nOffsetToText " +
                std::to_string(t.nOffsetToText) + " (started at " + std::to_string(before) +
                ", text of " + std::to_string(length) + ")");
    }
    if (static_cast<size_t>(t.nOffsetToText) + 1 >= length) return;
    ++t.nOffsetToText;
    const int32_t x = page.nNextX;
    const int32_t y = FNDLGetCursor();
    FNDLSetCursor(&x, &y);
  }
}

}  // namespace
}  // namespace tavrfndl::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tavrfndl::fuzz::LimitOutput();
  tavrfndl::fuzz::ScratchDir();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavrfndl::fuzz;
  if (size == 0) return 0;
  size_t units = data[size - 1] % (kMaxTextUnits + 1);
  if (2 * units > size - 1) units = (size - 1) / 2;
  const size_t fontSize = size - 1 - 2 * units;
  // An empty file sets the font file error, which never clears for the process and would turn
  // every later result into 3; the hostile-font tests cover it.
  if (fontSize == 0) return 0;
  std::vector<uint16_t> text;
  for (size_t i = 0; i < units; ++i) {
    const uint8_t* unit = data + fontSize + 2 * i;
    const uint16_t c = static_cast<uint16_t>(unit[0] | (unit[1] << 8));
    if (c == 0) break;
    text.push_back(c);
  }
  if (text.empty()) text = {'H', 'a', 'm', 'b', 'u', 'r', 'g'};

  static const std::string fontPath = ScratchPath("font.ttf");
  WriteNewFile(fontPath, data, fontSize);
  WriteNewFile(JobPath(), nullptr, 0);

  int32_t x = 300;
  int32_t y = 400;
  FNDLSetCursor(&x, &y);
  PrintRun(fontPath, text, kFileFontId, 1, "file mode");
  PrintRun(fontPath, text, kFileFontId, 1, "file mode, glyphs already sent");
  PrintRun(fontPath, text, kEngineFontId, 0, "engine mode");
  // Read before the release, which defines and removes a placeholder font of no tables: the
  // harness's font, not one the input made the library send.
  const tavrfndl::testing::StrictConsumerReport printer =
      tavrfndl::testing::ReadAsStrictPrinter(ReadFile(JobPath()));
  ReleaseLibrary({kFileFontId, kEngineFontId});

  CheckStream(ReadFile(JobPath()), "job");
  if (!printer.ok()) Violation("job: a strict printer rejects it:\n" + printer.Summary(5));
  return 0;
}
