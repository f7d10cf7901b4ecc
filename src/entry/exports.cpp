// The six entry points and the state they share for the life of the process.
//
// Every export takes one process-wide lock and catches everything: no exception and no C++ type
// crosses the C interface. A call first checks its records against their contract and refuses a
// broken one with FNDL_RESULT_FAILED before it opens, writes or changes anything.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <optional>

#include "entry/download.h"
#include "entry/widestring.h"
#include "fontlist/fontlist.h"
#include "pagetext/downloadcontext.h"
#include "pagetext/pagetext.h"
#include "pclxl/joboutput.h"
#include "pclxl/sequences.h"
#include "pclxl/xlstream.h"
#include "platform/platform.h"
#include "tavrfndl.h"

namespace tavrfndl {
namespace {

constexpr int32_t kWriterBufferSize = 4096;
constexpr size_t kTextUnits = std::size(TEXTINFOW{}.chText);  // 516 with the terminator
constexpr size_t kPathBytes = 256;

// Process-wide state. Zero at load; nothing runs at load or unload. The writer and the list
// outlive the calls that made them, until the last font is removed.
struct ProcessState {
  FONTLIST* list = nullptr;
  XlStream* writer = nullptr;
  int32_t bTTE = 0;
  int32_t bFontFileError = 0;
  int32_t nCursorX = 0;
  int32_t nCursorY = 0;
  DownloadFindings findings;  // of the last download call
};

ProcessState g_state;
std::mutex g_lock;

// The output file of one call, the destination of the writer's hand-offs and of the page
// records, detached from the writer before it is closed: a writer whose call has ended has no
// file, and its closing hand-off has nothing to write.
class OutputFile {
 public:
  explicit OutputFile(const char* path) : output_(std::fopen(path, "ab")) {}
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() {
    output_.Detach(g_state.writer);
    if (output_.file()) std::fclose(output_.file());
  }
  bool ok() const { return output_.file() != nullptr; }
  pclxl::JobOutput& output() { return output_; }

 private:
  pclxl::JobOutput output_;
};

// Deletes a device context and the font selected into it. The context goes first: a font that
// is still selected into a context cannot be deleted on every engine.
void DeleteDeviceContext(platform::HDC hDC) {
  if (!hDC) return;
  platform::FontEngine& engine = platform::CurrentFontEngine();
  platform::HFONT font = engine.GetCurrentObject(hDC);
  engine.DeleteDC(hDC);
  if (font) engine.DeleteObject(font);
}

// Back to the state at load, but for the cursor and the two flags.
void ReleaseAll() {
  if (g_state.list) DeleteDeviceContext(g_state.list->hDC);
  delete g_state.list;
  g_state.list = nullptr;
  if (g_state.writer) XlStreamClose(g_state.writer);
  g_state.writer = nullptr;
  platform::ReleaseFontEngineCaches();
}

template <size_t N, typename Char>
bool Terminated(const Char (&field)[N]) {
  for (size_t i = 0; i < N; ++i) {
    if (field[i] == 0) return true;
  }
  return false;
}

// The call's records in the form the rest of the library works with.
struct WorkingCall {
  TEXTINFOW text{};
  DOWNLOADCONTEXT context;
  int32_t bTTE = 0;
};

// The height of the font engine's font. In engine mode its em is the character size the printer
// draws with (a negative height asks for the em, a positive one for the taller cell), so that its
// advances and underline are in the page's units at any resolution; an em of at least 1 (0 would
// be the engine's default size) and at most what a 16-bit coordinate holds. File mode keeps
// FontHeight: its advances are the character size, and the engine only measures its underline.
int32_t EngineFontHeight(int32_t fontHeight, uint32_t nResolution, int32_t bTTE) {
  if (bTTE != 0) return fontHeight;
  const uint32_t size = std::clamp<uint32_t>(CharacterSize(fontHeight, nResolution), 1, 0xFFFF);
  return -static_cast<int32_t>(size);
}

template <typename TextInfo, typename PageInfo>
void CopyNumbers(const TextInfo& in, const PageInfo& page, WorkingCall& call) {
  call.text.FontHeight = in.FontHeight;
  call.text.bBold = in.bBold;
  call.text.bItalic = in.bItalic;
  call.text.bUnderline = in.bUnderline;
  call.text.nReserved = in.nReserved;
  call.text.nOffsetToText = in.nOffsetToText;
  call.text.nStartX = in.nStartX;
  call.text.bPageFull = in.bPageFull;
  call.context.nFontId = page.nFontId;
  call.context.nResolution = page.nResolution;
  call.context.nLineSpacing = page.nLineSpacing;
  call.context.nNextX = -1;
  call.bTTE = page.bTTE;

  platform::LOGFONTA& lf = call.context.logFont;
  lf.lfHeight = EngineFontHeight(in.FontHeight, page.nResolution, page.bTTE);
  lf.lfWidth = 0;
  lf.lfEscapement = page.lfEscapement;
  lf.lfOrientation = page.lfOrientation;
  lf.lfWeight = page.lfWeight;
  lf.lfItalic = static_cast<uint8_t>(in.bItalic ? in.bItalic : page.lfItalic);
  lf.lfUnderline = static_cast<uint8_t>(in.bUnderline ? in.bUnderline : page.lfUnderline);
  lf.lfStrikeOut = static_cast<uint8_t>(page.lfStrikeOut);
  lf.lfCharSet = static_cast<uint8_t>(page.lfCharSet);
  lf.lfOutPrecision = static_cast<uint8_t>(page.lfOutPrecision);
  lf.lfClipPrecision = static_cast<uint8_t>(page.lfClipPrecision);
  lf.lfQuality = static_cast<uint8_t>(page.lfQuality);
  lf.lfPitchAndFamily = static_cast<uint8_t>(page.lfPitchAndFamily);
}

// Drops the first nOffsetToText units; false when the offset lies outside the text.
bool CutToOffset(TEXTINFOW& text) {
  const size_t length = WideLength(text.chText, kTextUnits);
  if (text.nOffsetToText < 0 || static_cast<size_t>(text.nOffsetToText) > length) return false;
  if (text.nOffsetToText == 0) return true;
  WideString tail = CopyTailW(text.chText, length - static_cast<size_t>(text.nOffsetToText));
  if (!tail) return false;
  const size_t rest = length - static_cast<size_t>(text.nOffsetToText);
  std::copy_n(tail.get(), rest + 1, text.chText);
  return true;
}

// A W string converted to the ANSI code page; null when it does not fit maxBytes (with the
// terminator) or cannot be converted. One conversion into a block of maxBytes: a result too long
// for it fails like one that cannot be converted, and every call converts two strings, so
// measuring first would double the cost.
std::unique_ptr<char[]> ToAnsi(const uint16_t* s, size_t maxBytes) {
  std::unique_ptr<char[]> out(new (std::nothrow) char[maxBytes]);
  if (!out) return nullptr;
  const int written = platform::WideCharToMultiByte(platform::CP_ACP, 0, s, -1, out.get(),
                                                    static_cast<int>(maxBytes));
  if (written <= 0) return nullptr;
  out[static_cast<size_t>(written) - 1] = 0;
  return out;
}

std::unique_ptr<char[]> CopyAnsi(const char* s) {
  const size_t length = std::strlen(s);
  std::unique_ptr<char[]> out(new (std::nothrow) char[length + 1]);
  if (out) std::memcpy(out.get(), s, length + 1);
  return out;
}

bool PrepareW(const TEXTINFOW& in, const PAGEINFOW& page, WorkingCall& call) {
  if (!Terminated(in.chText) || !Terminated(page.chFont) || !Terminated(page.chOutFile)) {
    return false;
  }
  CopyNumbers(in, page, call);
  // The font name becomes the entry's 255-character chFont and, in file mode, the path glyphs
  // are read from: a longer ANSI form would name another file.
  call.context.pszFont = ToAnsi(page.chFont, kPathBytes);
  std::unique_ptr<char[]> outFile = ToAnsi(page.chOutFile, kPathBytes);
  if (!call.context.pszFont || !outFile) return false;
  std::memcpy(call.context.chOutFile, outFile.get(), std::strlen(outFile.get()) + 1);
  std::memcpy(call.text.chText, in.chText, sizeof in.chText);
  return CutToOffset(call.text);
}

bool PrepareA(const TEXTINFOA& in, const PAGEINFOA& page, WorkingCall& call) {
  if (!Terminated(in.chText) || !Terminated(page.chFont) || !Terminated(page.chOutFile)) {
    return false;
  }
  CopyNumbers(in, page, call);
  call.context.pszFont = CopyAnsi(page.chFont);
  if (!call.context.pszFont) return false;
  std::memcpy(call.context.chOutFile, page.chOutFile, sizeof page.chOutFile);
  // Each byte gives at most one UTF-16 unit, so the text fits; the check guards the field all
  // the same.
  const int units = platform::MultiByteToWideChar(
      platform::CP_ACP, 0, in.chText, static_cast<int>(std::strlen(in.chText)), nullptr, 0);
  if (units < 0 || static_cast<size_t>(units) >= kTextUnits) return false;
  if (units > 0 && platform::MultiByteToWideChar(platform::CP_ACP, 0, in.chText,
                                                 static_cast<int>(std::strlen(in.chText)),
                                                 call.text.chText, units) != units) {
    return false;
  }
  call.text.chText[units] = 0;
  return CutToOffset(call.text);
}

// A memory device context with the call's font selected.
platform::HDC CreateFontContext(const WorkingCall& call) {
  platform::FontEngine& engine = platform::CurrentFontEngine();
  platform::LOGFONTA lf = call.context.logFont;
  // The face name holds 31 bytes; the engine also gets the whole name (a file path may be longer).
  std::strncpy(lf.lfFaceName, call.context.pszFont.get(), sizeof lf.lfFaceName - 1);
  platform::HDC hDC = engine.CreateCompatibleDC();
  platform::HFONT font = engine.CreateFontIndirectA(lf, call.context.pszFont.get());
  if (hDC && font) {
    engine.SelectObject(hDC, font);
  } else if (font) {
    engine.DeleteObject(font);
  }
  return hDC;
}

// Installs a new writer for this call, handing off to its output, keeping the previous one if
// none can be made.
bool ReplaceWriter(pclxl::JobOutput& output) {
  XlStream* writer = XlStreamCreate(kWriterBufferSize, pclxl::JobOutput::Flush, 0);
  if (!writer) return false;
  output.Attach(writer);
  if (g_state.writer) XlStreamClose(g_state.writer);
  g_state.writer = writer;
  return true;
}

// The page-text result, or nothing when the call failed before the page text (then nothing is
// written back into the caller's records).
std::optional<int32_t> Download(WorkingCall& call) {
  g_state.bTTE = call.bTTE;
  platform::HDC hDC = CreateFontContext(call);
  OutputFile out(call.context.chOutFile);
  if (!out.ok() || !ReplaceWriter(out.output())) {
    DeleteDeviceContext(hDC);
    return std::nullopt;
  }
  if (!g_state.list) {
    g_state.list = new (std::nothrow) FONTLIST;
    if (!g_state.list) {
      DeleteDeviceContext(hDC);
      return std::nullopt;
    }
    std::memcpy(g_state.list->chOutFile, call.context.chOutFile, kPathBytes);
  }
  FONTLIST& list = *g_state.list;
  if (list.hDC != hDC) DeleteDeviceContext(list.hDC);
  list.hDC = hDC;

  // A failed download keeps a list that holds fonts: they are still on the printer, and sending
  // a header again under an existing name would make the printer reject the job. A list left
  // without a font goes, so that the next call starts one on its own output path (the one its
  // fonts' removal is sent to).
  DownloadFailure failure = DownloadFailure::kNone;
  if (!DownloadFontW(list, g_state.writer, call.text, call.context, call.bTTE != 0,
                     &g_state.bFontFileError, &failure, &g_state.findings)) {
    if (list.nFonts == 0) ReleaseAll();
    return std::nullopt;
  }
  PageCursor cursor{&g_state.nCursorX, &g_state.nCursorY};
  return WriteToCoverPageW(list, out.output(), call.text, call.context, call.bTTE != 0, cursor);
}

int32_t FinalResult(int32_t r) {
  if (r == FNDL_RESULT_NO_GLYPH || r == FNDL_RESULT_PAGE_FULL || r == FNDL_RESULT_FAILED) return r;
  return g_state.bFontFileError ? FNDL_RESULT_FAILED : FNDL_RESULT_OK;
}

template <typename TextInfo, typename PageInfo, typename Prepare>
int32_t FontDownload(TextInfo* pText, PageInfo* pPage, Prepare prepare) {
  if (!pText || !pPage) return FNDL_RESULT_FAILED;
  try {
    std::lock_guard<std::mutex> hold(g_lock);
    g_state.findings = DownloadFindings();
    auto call = std::unique_ptr<WorkingCall>(new (std::nothrow) WorkingCall);
    if (!call || !prepare(*pText, *pPage, *call)) return FNDL_RESULT_FAILED;
    const std::optional<int32_t> r = Download(*call);
    if (!r) return FNDL_RESULT_FAILED;
    pPage->nNextX = call->context.nNextX == -1 ? 0 : call->context.nNextX;
    if (call->text.bPageFull) pText->bPageFull = call->text.bPageFull;
    if (call->text.nOffsetToText) pText->nOffsetToText = call->text.nOffsetToText;
    return FinalResult(*r);
  } catch (...) {
    return FNDL_RESULT_FAILED;
  }
}

void RemoveFont(const uint32_t* pnFontId) {
  if (!pnFontId) return;
  try {
    std::lock_guard<std::mutex> hold(g_lock);
    FONTLIST* list = g_state.list;
    if (!list || list->nFonts == 0) return;
    // When the list's file cannot be opened nothing changes: the fonts are still on the
    // printer, and a later removal can succeed.
    OutputFile out(list->chOutFile);
    if (!out.ok() || !g_state.writer) return;
    out.output().Attach(g_state.writer);
    const FONTENTRY* entry = FindDownloadedFontW(*list, *pnFontId);
    if (entry) {
      if (entry->chPCLFontName[0]) {
        const auto* name = reinterpret_cast<const uint8_t*>(entry->chPCLFontName);
        XlRemoveFont(g_state.writer, name,
                     static_cast<uint32_t>(std::strlen(entry->chPCLFontName)));
      }
      RemoveFontEntry(*list, entry);
    }
    if (list->nFonts == 0) ReleaseAll();
  } catch (...) {
  }
}

}  // namespace

DownloadFindings LastDownloadFindings() {
  std::lock_guard<std::mutex> hold(g_lock);
  return g_state.findings;
}

}  // namespace tavrfndl

using tavrfndl::g_lock;
using tavrfndl::g_state;

extern "C" {

TAVRFNDL_API int32_t FNDLFontDownloadW(TEXTINFOW* pText, PAGEINFOW* pPage) {
  return tavrfndl::FontDownload(pText, pPage, tavrfndl::PrepareW);
}

TAVRFNDL_API int32_t FNDLFontDownloadA(TEXTINFOA* pText, PAGEINFOA* pPage) {
  return tavrfndl::FontDownload(pText, pPage, tavrfndl::PrepareA);
}

TAVRFNDL_API void FNDLRemoveFontW(const uint32_t* pnFontId) {
  tavrfndl::RemoveFont(pnFontId);
}

TAVRFNDL_API void FNDLRemoveFontA(const uint32_t* pnFontId) {
  tavrfndl::RemoveFont(pnFontId);
}

TAVRFNDL_API int32_t FNDLGetCursor(void) {
  try {
    std::lock_guard<std::mutex> hold(g_lock);
    return g_state.nCursorY;
  } catch (...) {
    return g_state.nCursorY;
  }
}

TAVRFNDL_API int32_t FNDLSetCursor(const int32_t* pnX, const int32_t* pnY) {
  try {
    std::lock_guard<std::mutex> hold(g_lock);
    if (pnX) g_state.nCursorX = *pnX;
    if (pnY) g_state.nCursorY = *pnY;
    return g_state.nCursorY;
  } catch (...) {
    return g_state.nCursorY;
  }
}

}  // extern "C"
