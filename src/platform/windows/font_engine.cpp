// The font engine on Windows is GDI itself: every member is the GDI call of the same name, on a
// memory device context, with the library's structures copied member by member into the Windows
// ones and back, so that nothing above this folder depends on the two layouts agreeing. Where
// GDI's answer means something else than the library expects, the engine makes up the
// difference: codes are UTF-16 (the wide calls answer for them), a font file path is that file's
// face (font_files.cpp), and the whole font of a collection face is a font of its own
// (collection_face.cpp).
//
// GDI keeps its own font caches; what the engine keeps (the private fonts added for files and
// the last standalone collection face) goes with ReleaseFontEngineCaches.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <type_traits>

#include "platform/platform.h"
#include "platform/windows/code_page.h"
#include "platform/windows/collection_face.h"
#include "platform/windows/font_files.h"
#include "platform/windows/native_outline.h"

namespace tavrfndl::platform {
namespace {

// Captured before <windows.h> turns the names into macros.
constexpr uint32_t kLibraryGdiError = GDI_ERROR;
constexpr uint32_t kLibraryGgoMetrics = GGO_METRICS;
constexpr uint32_t kLibraryGgoGlyphIndex = GGO_GLYPH_INDEX;
constexpr size_t kFaceNameBytes = sizeof(LOGFONTA{}.lfFaceName);

}  // namespace
}  // namespace tavrfndl::platform

#include "platform/windows/win32.h"

namespace tavrfndl::platform {
namespace {

// The library passes its flags and error values through unchanged.
static_assert(kLibraryGdiError == GDI_ERROR);
static_assert(kLibraryGgoMetrics == GGO_METRICS);
static_assert(kLibraryGgoGlyphIndex == GGO_GLYPH_INDEX);
// The native outline records are read as GDI lays them out.
static_assert(TT_POLYGON_TYPE == 24 && TT_PRIM_LINE == 1 && TT_PRIM_QSPLINE == 2 &&
              TT_PRIM_CSPLINE == 3);
static_assert(sizeof(TTPOLYGONHEADER) == 16 && sizeof(POINTFX) == 8 &&
              offsetof(TTPOLYCURVE, apfx) == 4);
static_assert(kFaceNameBytes == LF_FACESIZE);
static_assert(std::is_same_v<int32_t, INT>, "GDI fills the caller's int32_t widths");

::HDC ToWindows(HDC hdc) {
  return reinterpret_cast<::HDC>(hdc);
}
::HFONT ToWindows(HFONT font) {
  return reinterpret_cast<::HFONT>(font);
}
HDC FromWindows(::HDC hdc) {
  return reinterpret_cast<HDC>(hdc);
}
HFONT FromWindows(HGDIOBJ font) {
  return reinterpret_cast<HFONT>(font);
}

// The face name, which the caller may have filled to the last byte without a terminator; Windows
// reads at most LF_FACESIZE - 1 characters of it.
size_t FaceNameLength(const LOGFONTA& lf) {
  return strnlen(lf.lfFaceName, kFaceNameBytes - 1);
}

template <typename WindowsLogFont>
void CopyNumbers(const LOGFONTA& lf, WindowsLogFont& out) {
  out.lfHeight = lf.lfHeight;
  out.lfWidth = lf.lfWidth;
  out.lfEscapement = lf.lfEscapement;
  out.lfOrientation = lf.lfOrientation;
  out.lfWeight = lf.lfWeight;
  out.lfItalic = lf.lfItalic;
  out.lfUnderline = lf.lfUnderline;
  out.lfStrikeOut = lf.lfStrikeOut;
  out.lfCharSet = lf.lfCharSet;
  out.lfOutPrecision = lf.lfOutPrecision;
  out.lfClipPrecision = lf.lfClipPrecision;
  out.lfQuality = lf.lfQuality;
  out.lfPitchAndFamily = lf.lfPitchAndFamily;
}

::FIXED ToWindows(FIXED f) {
  ::FIXED out;
  out.fract = f.fract;
  out.value = f.value;
  return out;
}

class GdiFontEngine final : public FontEngine {
 public:
  HDC CreateCompatibleDC() override { return FromWindows(::CreateCompatibleDC(nullptr)); }

  // A pszFont that names a file is that file's first face; GDI takes any other name from the face
  // name, which holds the first 31 bytes of it.
  HFONT CreateFontIndirectA(const LOGFONTA& lf, const char* pszFont) override {
    HFONT fromFile = nullptr;
    if (windows::CreateFontFromFile(pszFont, lf, &fromFile)) return fromFile;
    char faceName[kFaceNameBytes] = {};
    std::memcpy(faceName, lf.lfFaceName, FaceNameLength(lf));
    if (windows::AnsiCodePageOverridden()) return CreateWithWideFaceName(lf, faceName);
    ::LOGFONTA out{};
    CopyNumbers(lf, out);
    std::memcpy(out.lfFaceName, faceName, sizeof faceName);
    return FromWindows(::CreateFontIndirectA(&out));
  }

  // A failure is null, whichever way GDI reports it.
  HFONT SelectObject(HDC hdc, HFONT font) override {
    HGDIOBJ previous = ::SelectObject(ToWindows(hdc), ToWindows(font));
    return previous == HGDI_ERROR ? nullptr : FromWindows(previous);
  }

  HFONT GetCurrentObject(HDC hdc) override {
    return FromWindows(::GetCurrentObject(ToWindows(hdc), OBJ_FONT));
  }

  bool DeleteObject(HFONT font) override { return ::DeleteObject(ToWindows(font)) != FALSE; }

  bool DeleteDC(HDC hdc) override { return ::DeleteDC(ToWindows(hdc)) != FALSE; }

  uint32_t GetFontData(HDC hdc, uint32_t dwTable, uint32_t dwOffset, void* pvBuffer,
                       uint32_t cjBuffer) override {
    uint32_t collectionFace = 0;
    if (dwTable == 0 &&
        windows::GetCollectionFaceData(hdc, dwOffset, pvBuffer, cjBuffer, &collectionFace)) {
      return collectionFace;
    }
    return ::GetFontData(ToWindows(hdc), dwTable, dwOffset, pvBuffer, cjBuffer);
  }

  // The codes the library asks for are UTF-16 code units of its text, as the POSIX engine takes
  // them, so GDI is asked through the wide call. GetCharWidthA would read them in the code page
  // of the font's character set instead: for code page 1252 that agrees for ASCII and 0xA0-0xFF
  // only, answers 0x80-0x9F with other characters (0x80 is the euro sign) and fails for the
  // ideographic space 0x3000; for a Japanese or Chinese font it reads the codes from 0x80 on as
  // parts of double-byte characters.
  bool GetCharWidthA(HDC hdc, uint32_t iFirst, uint32_t iLast, int32_t* lpBuffer) override {
    if (lpBuffer == nullptr || iFirst > iLast) return false;
    return ::GetCharWidth32W(ToWindows(hdc), iFirst, iLast, lpBuffer) != FALSE;
  }

  // The wide call for the same reason; with GGO_GLYPH_INDEX, which is how the library asks, the
  // two are the same call.
  uint32_t GetGlyphOutlineA(HDC hdc, uint32_t uChar, uint32_t fuFormat, GLYPHMETRICS* lpgm,
                            uint32_t cjBuffer, void* pvBuffer, const MAT2* lpmat2) override {
    if (lpgm == nullptr || lpmat2 == nullptr) return GDI_ERROR;
    ::MAT2 matrix;
    matrix.eM11 = ToWindows(lpmat2->eM11);
    matrix.eM12 = ToWindows(lpmat2->eM12);
    matrix.eM21 = ToWindows(lpmat2->eM21);
    matrix.eM22 = ToWindows(lpmat2->eM22);
    ::GLYPHMETRICS gm{};
    const DWORD result =
        ::GetGlyphOutlineW(ToWindows(hdc), uChar, fuFormat, &gm, cjBuffer, pvBuffer, &matrix);
    if (result == GDI_ERROR) return GDI_ERROR;
    lpgm->gmBlackBoxX = gm.gmBlackBoxX;
    lpgm->gmBlackBoxY = gm.gmBlackBoxY;
    lpgm->gmptGlyphOrigin.x = gm.gmptGlyphOrigin.x;
    lpgm->gmptGlyphOrigin.y = gm.gmptGlyphOrigin.y;
    lpgm->gmCellIncX = gm.gmCellIncX;
    lpgm->gmCellIncY = gm.gmCellIncY;
    return result;
  }

  // GDI's unhinted native outline records at the font's size, parsed.
  bool LoadGlyphOutline(HDC hdc, uint32_t glyph, outline::Outline& out) override {
    constexpr UINT kFormat = GGO_NATIVE | GGO_UNHINTED | GGO_GLYPH_INDEX;
    const ::MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    ::GLYPHMETRICS gm{};
    const DWORD size =
        ::GetGlyphOutlineW(ToWindows(hdc), glyph, kFormat, &gm, 0, nullptr, &identity);
    if (size == GDI_ERROR) return false;
    std::unique_ptr<uint8_t[]> records(new (std::nothrow) uint8_t[size > 0 ? size : 1]);
    if (!records) return false;
    if (size > 0 && ::GetGlyphOutlineW(ToWindows(hdc), glyph, kFormat, &gm, size, records.get(),
                                       &identity) != size) {
      return false;
    }
    return windows::ParseNativeOutline(records.get(), size, out);
  }

  // The size the library allocates is that of its own block, not of Windows' (which appends the
  // font's names): the Windows block is read into a buffer of its own and the members the
  // library uses copied out. As on POSIX, a block smaller than the library's fails rather than
  // being filled in part.
  uint32_t GetOutlineTextMetricsA(HDC hdc, uint32_t cjCopy, OUTLINETEXTMETRICA* potm) override {
    constexpr uint32_t kSize = sizeof(OUTLINETEXTMETRICA);
    const UINT windowsSize = ::GetOutlineTextMetricsA(ToWindows(hdc), 0, nullptr);
    if (windowsSize < sizeof(::OUTLINETEXTMETRICA)) return 0;
    if (potm == nullptr || cjCopy == 0) return kSize;
    if (cjCopy < kSize) return 0;
    // Whole structures, so that the block is aligned for one.
    const size_t count =
        (windowsSize + sizeof(::OUTLINETEXTMETRICA) - 1) / sizeof(::OUTLINETEXTMETRICA);
    std::unique_ptr<::OUTLINETEXTMETRICA[]> block(new (std::nothrow)::OUTLINETEXTMETRICA[count]);
    if (!block) return 0;
    if (::GetOutlineTextMetricsA(ToWindows(hdc), windowsSize, block.get()) == 0) return 0;
    const ::OUTLINETEXTMETRICA& gdi = block[0];
    OUTLINETEXTMETRICA otm;
    otm.otmSize = kSize;
    otm.otmEMSquare = gdi.otmEMSquare;
    otm.otmAscent = gdi.otmAscent;
    otm.otmDescent = gdi.otmDescent;
    otm.otmsUnderscoreSize = gdi.otmsUnderscoreSize;
    otm.otmsUnderscorePosition = gdi.otmsUnderscorePosition;
    *potm = otm;
    return kSize;
  }

 private:
  static HFONT CreateWithWideFaceName(const LOGFONTA& lf, const char* faceName) {
    std::unique_ptr<wchar_t[]> wide = windows::AnsiToWide(faceName);
    if (!wide) return nullptr;
    ::LOGFONTW out{};
    CopyNumbers(lf, out);
    // A name that grows past the face name in UTF-16 is cut as Windows cuts one.
    size_t n = 0;
    for (; n + 1 < LF_FACESIZE && wide[n] != L'\0'; ++n) out.lfFaceName[n] = wide[n];
    out.lfFaceName[n] = L'\0';
    return FromWindows(::CreateFontIndirectW(&out));
  }
};

// Never destroyed: a call still in progress on another thread while the process exits must not
// meet a dead engine.
GdiFontEngine& Engine() {
  alignas(GdiFontEngine) static unsigned char storage[sizeof(GdiFontEngine)];
  static GdiFontEngine* engine = new (storage) GdiFontEngine;
  return *engine;
}

}  // namespace

FontEngine& PlatformFontEngine() {
  return Engine();
}

void ReleaseFontEngineCaches() {
  windows::ReleaseFileFonts();
  windows::ReleaseCollectionFaces();
}

}  // namespace tavrfndl::platform
