// The operating system as the library sees it: the Windows font engine (a memory device context
// with a logical font selected), read-only file mapping and the ANSI code page. Each member keeps
// the name and the meaning of the Windows call it stands for, so that the Windows build maps it
// one to one (glyph outlines excepted, which come as the library reads them); the POSIX build
// answers with fontconfig, FreeType, mmap and iconv.
//
// Nothing above this folder knows which operating system it runs on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "outline/outline.h"

namespace tavrfndl::platform {

inline constexpr uint32_t GDI_ERROR = 0xFFFFFFFFu;
inline constexpr uint32_t GGO_METRICS = 0;
inline constexpr uint32_t GGO_GLYPH_INDEX = 0x80;
inline constexpr uint32_t CP_ACP = 0;

// The Windows LOGFONTA, member for member.
struct LOGFONTA {
  int32_t lfHeight = 0;
  int32_t lfWidth = 0;
  int32_t lfEscapement = 0;
  int32_t lfOrientation = 0;
  int32_t lfWeight = 0;
  uint8_t lfItalic = 0;
  uint8_t lfUnderline = 0;
  uint8_t lfStrikeOut = 0;
  uint8_t lfCharSet = 0;
  uint8_t lfOutPrecision = 0;
  uint8_t lfClipPrecision = 0;
  uint8_t lfQuality = 0;
  uint8_t lfPitchAndFamily = 0;
  char lfFaceName[32] = {};
};

struct FIXED {
  uint16_t fract = 0;
  int16_t value = 0;
};

struct MAT2 {
  FIXED eM11, eM12, eM21, eM22;
};

inline constexpr MAT2 kIdentityMatrix = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};

struct POINT {
  int32_t x = 0;
  int32_t y = 0;
};

struct GLYPHMETRICS {
  uint32_t gmBlackBoxX = 0;
  uint32_t gmBlackBoxY = 0;
  POINT gmptGlyphOrigin;
  int16_t gmCellIncX = 0;
  int16_t gmCellIncY = 0;
};

// The members of OUTLINETEXTMETRICA that the library reads. otmSize is the size the engine
// reports for the block, as on Windows.
struct OUTLINETEXTMETRICA {
  uint32_t otmSize = 0;
  uint32_t otmEMSquare = 0;
  int32_t otmAscent = 0;
  int32_t otmDescent = 0;
  int32_t otmsUnderscoreSize = 0;
  int32_t otmsUnderscorePosition = 0;
};

struct DeviceContext;
struct FontObject;

// Font bytes an engine lends instead of copying them: valid and unchanged while holder lives.
struct LentFontData {
  std::shared_ptr<const void> holder;
  const uint8_t* data = nullptr;
  uint32_t size = 0;
};
using HDC = DeviceContext*;
using HFONT = FontObject*;

// The font engine. Tests replace it with a double through SetFontEngineForTesting.
class FontEngine {
 public:
  virtual ~FontEngine() = default;

  // A memory device context with no reference device; null when none can be made.
  virtual HDC CreateCompatibleDC() = 0;
  // A font for the description. pszFont is the caller's full font name or font file path, of
  // which lfFaceName holds at most 31 bytes; an engine that can use the whole of it does.
  virtual HFONT CreateFontIndirectA(const LOGFONTA& lf, const char* pszFont) = 0;
  // Selects the font into the context; returns the font selected before (null for none).
  virtual HFONT SelectObject(HDC hdc, HFONT font) = 0;
  // The font selected into the context.
  virtual HFONT GetCurrentObject(HDC hdc) = 0;
  virtual bool DeleteObject(HFONT font) = 0;
  virtual bool DeleteDC(HDC hdc) = 0;

  // dwTable is the tag packed first byte least significant, or 0 for the whole font file.
  // With no buffer: the size of the table. With a buffer: the number of bytes copied.
  // GDI_ERROR when the table does not exist or no font is selected.
  virtual uint32_t GetFontData(HDC hdc, uint32_t dwTable, uint32_t dwOffset, void* pvBuffer,
                               uint32_t cjBuffer) = 0;
  // No Windows call stands for this one: the bytes GetFontData would copy for dwTable from
  // offset 0, lent where the engine holds them, so that a whole font or a large table read once
  // is not copied first. False where GetFontData would fail, and from engines that only copy,
  // which is the default (the caller then copies with GetFontData).
  virtual bool LendFontData(HDC /*hdc*/, uint32_t /*dwTable*/, LentFontData& /*out*/) {
    return false;
  }
  // Advance widths of the codes iFirst..iLast in logical units; false on failure.
  virtual bool GetCharWidthA(HDC hdc, uint32_t iFirst, uint32_t iLast, int32_t* lpBuffer) = 0;
  // With GGO_METRICS | GGO_GLYPH_INDEX fills *lpgm for glyph uChar; GDI_ERROR on failure.
  virtual uint32_t GetGlyphOutlineA(HDC hdc, uint32_t uChar, uint32_t fuFormat, GLYPHMETRICS* lpgm,
                                    uint32_t cjBuffer, void* pvBuffer, const MAT2* lpmat2) = 0;
  // With no block: the size of the block; with a block of at least that size: fills it and
  // returns nonzero; 0 on failure.
  virtual uint32_t GetOutlineTextMetricsA(HDC hdc, uint32_t cjCopy, OUTLINETEXTMETRICA* potm) = 0;
  // The unhinted outline of glyph index glyph at the font's size, in units of its em: font units
  // for a font made at lfHeight = -unitsPerEm. Coordinates reach no further than GDI's 16.16
  // fixed point holds (±32768). False for a glyph the font does not have, an outline that
  // cannot be read, or no memory; also from engines that give no outlines, which is the
  // default. After a failure out holds nothing to use.
  virtual bool LoadGlyphOutline(HDC /*hdc*/, uint32_t /*glyph*/, outline::Outline& /*out*/) {
    return false;
  }
};

// The engine the library uses: the platform's own unless a test installed another.
FontEngine& CurrentFontEngine();
// The platform's own engine, never destroyed (a call still running on another thread while the
// process exits must not meet a dead engine).
FontEngine& PlatformFontEngine();
// Installs a test double (null restores the platform's engine). Not exported.
void SetFontEngineForTesting(FontEngine* engine);
// Drops the engine's process-wide caches: the library is back to its state at load.
void ReleaseFontEngineCaches();

// A whole file mapped read-only; move-only, unmapped on destruction.
class MappedFile {
 public:
  MappedFile() = default;
  MappedFile(const uint8_t* data, size_t size, void* handle) noexcept
      : data_(data), size_(size), handle_(handle) {}
  MappedFile(MappedFile&& other) noexcept { *this = static_cast<MappedFile&&>(other); }
  MappedFile& operator=(MappedFile&& other) noexcept {
    if (this != &other) {
      Release();
      data_ = other.data_;
      size_ = other.size_;
      handle_ = other.handle_;
      other.data_ = nullptr;
      other.size_ = 0;
      other.handle_ = nullptr;
    }
    return *this;
  }
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;
  ~MappedFile() { Release(); }

  const uint8_t* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  // Unmaps; the one part each platform provides.
  void Release() noexcept;
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  void* handle_ = nullptr;  // what the platform needs to unmap
};

// Maps the file named by path (ANSI code page) whole and read-only. Nothing is held on failure:
// a missing path, a directory, an empty or unreadable file.
std::optional<MappedFile> MapFileReadOnly(const char* path);

// The whole file mapped read-only, one mapping shared by its holders. Where the platform can
// tell cheaply that a file is unchanged (POSIX: the same device and inode, size, modification
// and status-change times), the mappings of the last few files are kept for the process, so that
// a font file read on every download call is mapped, and its pages faulted in, once instead of
// on every call; a file replaced, rewritten, removed or made unreadable is mapped anew, or fails,
// as with MapFileReadOnly. Null on MapFileReadOnly's failures or when no memory is left.
// ReleaseFontEngineCaches lets go of the kept mappings; holders keep theirs.
std::shared_ptr<const MappedFile> MapFileShared(const char* path);

// MultiByteToWideChar / WideCharToMultiByte for CP_ACP with flags 0: an invalid sequence becomes
// U+FFFD (or '?') and the conversion goes on. cbMultiByte / cchWideChar of -1 means "up to and
// including the terminator". With no output buffer they return the count needed; 0 on failure
// (including an output buffer that is too small).
int MultiByteToWideChar(uint32_t codePage, uint32_t dwFlags, const char* lpMultiByteStr,
                        int cbMultiByte, uint16_t* lpWideCharStr, int cchWideChar);
int WideCharToMultiByte(uint32_t codePage, uint32_t dwFlags, const uint16_t* lpWideCharStr,
                        int cchWideChar, char* lpMultiByteStr, int cbMultiByte);
// Makes CP_ACP the given code set ("CP932", "SHIFT_JIS", ...); null goes back to the locale's.
void SetAnsiCodeSetForTesting(const char* codeset);

}  // namespace tavrfndl::platform
