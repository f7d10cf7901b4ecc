// Fuzz target: the records a driver hands over, and the order of its calls.
//
// The input is a script of up to kMaxSteps calls. Its first byte chooses the ANSI code set; then
// each step starts with one byte choosing the call: a W or an A download whose every number
// comes from the input, FNDLSetCursor / FNDLGetCursor, a W or an A removal, or a call with null
// pointers. Texts come from the input as they stand; paths never do: the job file is always this
// process's scratch file (or, when the input asks for a job file that cannot be opened, the
// scratch folder itself), and a font file is one of a fixed set of scratch copies (good fonts,
// hostile fonts, an empty file, a folder, a missing file, a path of 255 characters). Face names
// in engine mode come from a fixed set as well. After the script every font is removed.
//
// Besides crashes, hangs, leaks and out-of-bounds accesses, a step fails the input when:
// - a result is not one of the four defined ones;
// - a call whose record breaks the contract (a field without its terminator, nOffsetToText
//   outside the text) does anything but return 3 and leave the records and the job file alone;
// - nNextX is not 0 after result 0 or 2, bPageFull is not 1 after result 2, or nOffsetToText
//   after result 1 does not point into the text at or behind the call's start;
// - FNDLSetCursor or FNDLGetCursor does not give back the vertical position just set;
// - the job file ever shrinks, or is not a self-consistent stream at the end.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/platform.h"
#include "tavrfndl.h"

namespace tavrfndl::fuzz {
namespace {

constexpr int kMaxSteps = 48;
constexpr uint32_t kFontIds = 6;  // numbers 0..5, so that removals and reuse meet downloads
constexpr size_t kTextUnits = 516;

struct Paths {
  std::vector<std::string> fontFiles;  // file mode
  std::vector<std::string> faceNames;  // engine mode
};

void CopyInto(const std::string& from, const std::string& to) {
  WriteNewFile(to, ReadFile(from));
}

const Paths& FontPaths() {
  static const Paths paths = [] {
    Paths p;
    std::vector<std::filesystem::path> sources;
    const std::filesystem::path dejavu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
    std::error_code ec;
    if (std::filesystem::is_regular_file(dejavu, ec)) sources.push_back(dejavu);
    for (const char* folder : {"good", "bad"}) {
      const std::filesystem::path dir =
          std::filesystem::path(TAVRFNDL_SOURCE_DIR) / "tests" / "fonts" / folder;
      std::vector<std::filesystem::path> found;
      for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
        if (entry.is_regular_file() && entry.path().extension() == ".ttf") {
          found.push_back(entry.path());
        }
      }
      std::sort(found.begin(), found.end());
      sources.insert(sources.end(), found.begin(), found.end());
    }
    if (sources.empty()) Violation("no font files under " TAVRFNDL_SOURCE_DIR "/tests/fonts");
    for (size_t i = 0; i < sources.size(); ++i) {
      p.fontFiles.push_back(ScratchPath("font-" + std::to_string(i) + ".ttf"));
      CopyInto(sources[i].string(), p.fontFiles.back());
    }
    // A path of exactly 255 characters, the longest the records hold: the font name built from
    // it must be shortened.
    const std::string dir = ScratchDir() + "/";
    std::string longPath = dir + std::string(255 - dir.size() - 4, 'n') + ".ttf";
    CopyInto(sources.front().string(), longPath);
    p.fontFiles.push_back(longPath);
    p.fontFiles.push_back(ScratchPath("missing.ttf"));
    p.fontFiles.push_back(ScratchDir());

    p.faceNames = {
        "DejaVu Sans",           "DejaVu Serif",      "",
        "Tavrfndl No Such Face", p.fontFiles.front(), p.fontFiles[p.fontFiles.size() / 2]};
    return p;
  }();
  return paths;
}

// The code sets a driver's process may run in: UTF-8 (also what the C locale gives), a Western
// single-byte one and a Japanese double-byte one.
void ChooseCodeSet(uint8_t choice) {
  static const char* const kCodeSets[] = {nullptr, "CP1252", "CP932"};
  platform::SetAnsiCodeSetForTesting(kCodeSets[choice % std::size(kCodeSets)]);
}

struct Numbers {
  int32_t fontHeight, bBold, bItalic, bUnderline, nReserved, nOffsetToText, nStartX, bPageFull;
  uint32_t nFontId, nPaperWidth;
  int32_t pageReserved;
  uint32_t nResolution, nLineSpacing;
  int32_t lf[13];
  int32_t bTTE, nNextX;
};

Numbers ReadNumbers(InputReader& in) {
  Numbers n{};
  n.fontHeight = in.I32();
  n.bBold = in.I32();
  n.bItalic = in.I32();
  n.bUnderline = in.I32();
  n.nReserved = in.I32();
  n.nOffsetToText = in.I32();
  n.nStartX = in.I32();
  n.bPageFull = in.I32();
  n.nFontId = in.U8() % kFontIds;
  n.nPaperWidth = in.U32();
  n.pageReserved = in.I32();
  n.nResolution = in.U32();
  n.nLineSpacing = in.U32();
  for (int32_t& v : n.lf) v = in.I32();
  n.bTTE = in.I32();
  n.nNextX = in.I32();
  return n;
}

template <typename Text, typename Page>
void ApplyNumbers(const Numbers& n, Text& t, Page& p) {
  t.FontHeight = n.fontHeight;
  t.bBold = n.bBold;
  t.bItalic = n.bItalic;
  t.bUnderline = n.bUnderline;
  t.nReserved = n.nReserved;
  t.nOffsetToText = n.nOffsetToText;
  t.nStartX = n.nStartX;
  t.bPageFull = n.bPageFull;
  p.nFontId = n.nFontId;
  p.nPaperWidth = n.nPaperWidth;
  p.nReserved = n.pageReserved;
  p.nResolution = n.nResolution;
  p.nLineSpacing = n.nLineSpacing;
  int32_t* lf[] = {&p.lfHeight,        &p.lfWidth,        &p.lfEscapement,    &p.lfOrientation,
                   &p.lfWeight,        &p.lfItalic,       &p.lfUnderline,     &p.lfStrikeOut,
                   &p.lfCharSet,       &p.lfOutPrecision, &p.lfClipPrecision, &p.lfQuality,
                   &p.lfPitchAndFamily};
  for (size_t i = 0; i < std::size(lf); ++i) *lf[i] = n.lf[i];
  p.bTTE = n.bTTE;
  p.nNextX = n.nNextX;
}

// Flags of one download step.
constexpr uint8_t kTextUnterminated = 0x01;
constexpr uint8_t kFontUnterminated = 0x02;
constexpr uint8_t kOutUnterminated = 0x04;
constexpr uint8_t kJobUnopenable = 0x08;

std::string FontName(const Numbers& n, uint8_t choice) {
  const Paths& paths = FontPaths();
  if (n.bTTE != 0) return paths.fontFiles[choice % paths.fontFiles.size()];
  return paths.faceNames[choice % paths.faceNames.size()];
}

// Runs one download step and checks what the header promises about it.
template <typename Text, typename Page, typename Call>
void Download(InputReader& in, Call call, bool wide) {
  const uint8_t flags = in.U8();
  const uint8_t fontChoice = in.U8();
  const size_t length = in.U16() % kTextUnits;
  Text t{};
  Page p{};
  for (size_t i = 0; i < length; ++i) {
    if (wide) {
      t.chText[i] = static_cast<decltype(+t.chText[0])>(in.U16());
    } else {
      t.chText[i] = static_cast<decltype(+t.chText[0])>(in.U8());
    }
  }
  const Numbers numbers = ReadNumbers(in);
  ApplyNumbers(numbers, t, p);

  // Fields the library must find terminated. The text keeps what the input gave (an embedded
  // terminator is the input's choice); the paths are always set here.
  PutField(p.chFont, FontName(numbers, fontChoice));
  PutField(p.chOutFile, (flags & kJobUnopenable) ? ScratchDir() : JobPath());
  bool broken = false;
  if (flags & kTextUnterminated) {
    for (auto& c : t.chText) c = c ? c : 'x';
    broken = true;
  }
  if (flags & kFontUnterminated) {
    for (auto& c : p.chFont) c = c ? c : 'f';
    broken = true;
  }
  if (flags & kOutUnterminated) {
    for (auto& c : p.chOutFile) c = c ? c : 'o';
    broken = true;
  }
  // A W offset outside the text is a broken contract too (an A offset counts UTF-16 units of
  // the converted text, which this harness does not compute).
  size_t textLength = 0;
  while (textLength < std::size(t.chText) && t.chText[textLength] != 0) ++textLength;
  if (wide && !broken &&
      (t.nOffsetToText < 0 || static_cast<size_t>(t.nOffsetToText) > textLength)) {
    broken = true;
  }

  const Text textBefore = t;
  const Page pageBefore = p;
  const size_t jobBefore = FileSize(JobPath());
  const int32_t r = call(&t, &p);
  const char* context = wide ? "FNDLFontDownloadW" : "FNDLFontDownloadA";
  CheckResult(r, context);
  CheckJobBounded(context);
  const size_t jobAfter = FileSize(JobPath());
  if (jobAfter < jobBefore) Violation(std::string(context) + ": the job file shrank");
  if (broken) {
    if (r != FNDL_RESULT_FAILED) Violation(std::string(context) + ": broken record accepted");
    if (std::memcmp(&t, &textBefore, sizeof t) != 0 ||
        std::memcmp(&p, &pageBefore, sizeof p) != 0) {
      Violation(std::string(context) + ": broken record changed");
    }
    if (jobAfter != jobBefore) Violation(std::string(context) + ": broken record wrote");
    return;
  }
  if ((r == FNDL_RESULT_OK || r == FNDL_RESULT_PAGE_FULL) && p.nNextX != 0) {
    Violation(std::string(context) + ": nNextX " + std::to_string(p.nNextX) + " after result " +
              std::to_string(r));
  }
  if (r == FNDL_RESULT_PAGE_FULL && t.bPageFull != 1) {
    Violation(std::string(context) + ": result 2 without bPageFull");
  }
  if (r == FNDL_RESULT_NO_GLYPH && wide &&
      (t.nOffsetToText < textBefore.nOffsetToText ||
       static_cast<size_t>(t.nOffsetToText) >= textLength)) {
    Violation(std::string(context) + ": result 1 with nOffsetToText " +
              std::to_string(t.nOffsetToText) + " (from " +
              std::to_string(textBefore.nOffsetToText) + ", text of " + std::to_string(textLength) +
              ")");
  }
}

}  // namespace
}  // namespace tavrfndl::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  tavrfndl::fuzz::LimitOutput();
  tavrfndl::fuzz::FontPaths();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace tavrfndl::fuzz;
  InputReader in(data, size);
  WriteNewFile(JobPath(), nullptr, 0);
  ChooseCodeSet(in.U8());
  for (int step = 0; step < kMaxSteps && !in.empty(); ++step) {
    switch (in.U8() % 8) {
      case 0:
      case 1:
        Download<TEXTINFOW, PAGEINFOW>(in, FNDLFontDownloadW, true);
        break;
      case 2:
        Download<TEXTINFOA, PAGEINFOA>(in, FNDLFontDownloadA, false);
        break;
      case 3: {
        const int32_t x = in.I32();
        const int32_t y = in.I32();
        if (FNDLSetCursor(&x, &y) != y || FNDLGetCursor() != y) {
          Violation("the cursor does not hold the position just set");
        }
        break;
      }
      case 4: {
        // Either coordinate alone.
        const bool setX = in.U8() & 1;
        const int32_t v = in.I32();
        const int32_t y = FNDLGetCursor();
        const int32_t r = setX ? FNDLSetCursor(&v, nullptr) : FNDLSetCursor(nullptr, &v);
        if (r != (setX ? y : v)) Violation("FNDLSetCursor with one null coordinate");
        break;
      }
      case 5: {
        const uint32_t id = in.U8() % kFontIds;
        FNDLRemoveFontW(&id);
        break;
      }
      case 6: {
        const uint32_t id = in.U8() % kFontIds;
        FNDLRemoveFontA(&id);
        break;
      }
      default: {
        TEXTINFOW tw{};
        PAGEINFOW pw{};
        TEXTINFOA ta{};
        PAGEINFOA pa{};
        if (FNDLFontDownloadW(nullptr, &pw) != FNDL_RESULT_FAILED ||
            FNDLFontDownloadW(&tw, nullptr) != FNDL_RESULT_FAILED ||
            FNDLFontDownloadA(nullptr, &pa) != FNDL_RESULT_FAILED ||
            FNDLFontDownloadA(&ta, nullptr) != FNDL_RESULT_FAILED) {
          Violation("a null record accepted");
        }
        FNDLRemoveFontW(nullptr);
        FNDLRemoveFontA(nullptr);
        break;
      }
    }
  }
  std::vector<uint32_t> ids;
  for (uint32_t id = 0; id < kFontIds; ++id) ids.push_back(id);
  ReleaseLibrary(ids);
  tavrfndl::platform::SetAnsiCodeSetForTesting(nullptr);
  CheckStream(ReadFile(JobPath()), "job");
  return 0;
}
