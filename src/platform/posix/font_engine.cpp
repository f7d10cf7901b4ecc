// The font engine on POSIX: fontconfig chooses the face for a logical font, FreeType loads it and
// hints its glyphs, and the face's own bytes answer table reads. The answers keep the meaning
// and the integer rounding of the Windows engine, which is what the rest of the library was
// written against:
//
// - Size: lfHeight > 0 is the cell height (usWinAscent + usWinDescent), lfHeight < 0 the em
//   height, and 0 a cell height of 16 pixels, the size Wine's engine uses for 0 (Windows says
//   only "a default size"). The em is rounded to whole pixels (ppem) before anything is scaled,
//   and every font-unit value is then scaled by ppem / unitsPerEm and rounded half away from
//   zero, as MulDiv does. lfWidth, lfEscapement and lfOrientation are not applied.
// - Face: a pszFont that names an existing regular file is that file (face 0 of a collection);
//   when the file is no usable font the font cannot be created (null), because a substitute
//   would answer with metrics that disagree with the file the caller reads. Any other name goes
//   to fontconfig with the weight and slant, preferring TrueType outlines, and like the Windows
//   font mapper takes the best match when the name matches nothing. Fontconfig's matched face
//   is used as it is: no synthetic bold or oblique is added.
//
// Faces and match results are cached for the process (ReleaseFontEngineCaches empties the
// cache); each font object holds its own FreeType size, so fonts of one face at many sizes share
// one FT_Face and one mapping of the file. Fontconfig's configuration is not the engine's to
// cache: it asks on the process's one, which fontconfig keeps for every caller (face_query.h).
#include <ft2build.h>
#include <sys/stat.h>

#include <atomic>
#include <climits>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <vector>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_OUTLINE_H
#include FT_SIZES_H
#include FT_TRUETYPE_TABLES_H

#include "platform/platform.h"
#include "platform/posix/code_page.h"
#include "platform/posix/engine_stats.h"
#include "platform/posix/face_query.h"
#include "platform/posix/shared_mapping.h"
#include "sfnt/bytes.h"
#include "sfnt/directory.h"

namespace tavrfndl::platform {
namespace {

using sfnt::Directory;

// The cell height Wine's engine gives lfHeight 0.
constexpr int64_t kDefaultCellHeight = 16;
constexpr int32_t kDefaultWeight = 400;
constexpr uint32_t kLargestFontData = 0xFFFFFFFEu;  // below GDI_ERROR
// The codes whose advances a face keeps: those the page text asks GetCharWidthA for.
constexpr uint32_t kReadCodeAdvances = 0x100;

std::atomic<uint64_t> g_fontconfigMatches{0};
std::atomic<uint64_t> g_fontFileOpens{0};

template <typename R, typename F>
R NoThrow(R failure, F&& body) noexcept {
  try {
    return body();
  } catch (...) {
    return failure;
  }
}

// num / den rounded half away from zero, den > 0: Windows' MulDiv rounding.
int64_t RoundDiv(int64_t num, int64_t den) {
  return num >= 0 ? (num + den / 2) / den : -((-num + den / 2) / den);
}

int64_t FloorDiv64(FT_Pos v) {
  return v >= 0 ? v / 64 : -((-v + 63) / 64);
}
int64_t CeilDiv64(FT_Pos v) {
  return -FloorDiv64(-v);
}

bool EqualsIgnoreCaseAscii(const char* a, const char* b) {
  for (; *a != '\0' && *b != '\0'; ++a, ++b) {
    char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a - 'A' + 'a') : *a;
    char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (ca != cb) return false;
  }
  return *a == *b;
}

std::unique_ptr<char[]> CopyString(const char* s) {
  size_t n = strlen(s);
  std::unique_ptr<char[]> copy(new (std::nothrow) char[n + 1]);
  if (copy) memcpy(copy.get(), s, n + 1);
  return copy;
}

// Which file (and which face in it) a face was loaded from; a file replaced or rewritten on disk
// is another identity, so it is loaded anew rather than answered from a stale mapping.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  int64_t mtimeSeconds = 0;
  int64_t mtimeNanoseconds = 0;
  uint32_t faceIndex = 0;

  bool operator==(const FileIdentity&) const = default;
};

bool IdentifyFile(const char* path, uint32_t faceIndex, FileIdentity& out) {
  struct stat st {};
  if (stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  out.device = st.st_dev;
  out.inode = st.st_ino;
  out.size = st.st_size;
  out.mtimeSeconds = st.st_mtim.tv_sec;
  out.mtimeNanoseconds = st.st_mtim.tv_nsec;
  out.faceIndex = faceIndex;
  return true;
}

// One face of one font file, shared by every font object made from it. Immutable after loading
// except FreeType's face (which FreeType does not let two threads use at once), the standalone
// copy made on demand and the character advances read on demand: all under mutex.
struct Face {
  std::atomic<uint32_t> refs{1};
  Face* nextCached = nullptr;  // the engine's face list (cache lock)
  FileIdentity identity;
  MappedFile file;
  Directory directory;
  bool isSfnt = false;
  FT_Library library = nullptr;
  FT_Face ft = nullptr;
  bool symbolCmap = false;

  // Font units.
  int64_t unitsPerEm = 0;
  int64_t cellHeight = 0;  // usWinAscent + usWinDescent, what a positive lfHeight measures
  int64_t typoAscent = 0;
  int64_t typoDescent = 0;
  int64_t underlinePosition = 0;
  int64_t underlineThickness = 0;

  std::mutex mutex;
  sfnt::StandaloneFont standalone;
  // The advances (font units) of the character codes GetCharWidthA is asked for: the text of
  // every run measures them again, each time through the character map and "hmtx". 0: not read
  // yet, 1: read, 2: the font gave none.
  FT_Fixed codeAdvances[kReadCodeAdvances] = {};
  uint8_t codeAdvanceState[kReadCodeAdvances] = {};

  Face() = default;
  Face(const Face&) = delete;
  Face& operator=(const Face&) = delete;
  ~Face() {
    // The FreeType face reads from the mapping: it goes first.
    if (ft != nullptr) FT_Done_Face(ft);
    if (library != nullptr) FT_Done_FreeType(library);
  }
};

void RetainFace(Face* face) {
  face->refs.fetch_add(1, std::memory_order_relaxed);
}

void ReleaseFace(Face* face) {
  if (face != nullptr && face->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) delete face;
}

void ReadMetrics(Face& face) {
  FT_Face ft = face.ft;
  auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2));
  auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(ft, FT_SFNT_HHEA));
  auto* post = static_cast<TT_Postscript*>(FT_Get_Sfnt_Table(ft, FT_SFNT_POST));
  face.unitsPerEm = ft->units_per_EM;
  // Without OS/2 (or with its Windows metrics zero) the cell is what the horizontal header says,
  // and failing that one em.
  face.cellHeight = os2 != nullptr ? int64_t{os2->usWinAscent} + os2->usWinDescent : 0;
  if (face.cellHeight <= 0 && hhea != nullptr) {
    face.cellHeight = int64_t{hhea->Ascender} - hhea->Descender;
  }
  if (face.cellHeight <= 0) face.cellHeight = face.unitsPerEm;
  if (os2 != nullptr) {
    face.typoAscent = os2->sTypoAscender;
    face.typoDescent = os2->sTypoDescender;
  } else {
    face.typoAscent = ft->ascender;
    face.typoDescent = ft->descender;
  }
  if (post != nullptr) {
    face.underlinePosition = post->underlinePosition;
    face.underlineThickness = post->underlineThickness;
  } else {
    face.underlinePosition = ft->underline_position;
    face.underlineThickness = ft->underline_thickness;
  }
}

// Maps and loads face ftIndex of the file (for FreeType the upper 16 bits name an instance of a
// variable font; the directory uses the lower 16). Null when the file is no scalable font.
Face* LoadFace(const char* path, uint32_t ftIndex, const FileIdentity& identity) {
  g_fontFileOpens.fetch_add(1, std::memory_order_relaxed);
  std::optional<MappedFile> mapped = MapFileReadOnly(path);
  if (!mapped || mapped->size() > static_cast<size_t>(LONG_MAX)) return nullptr;
  std::unique_ptr<Face> face(new (std::nothrow) Face);
  if (!face) return nullptr;
  face->file = std::move(*mapped);
  face->identity = identity;
  if (FT_Init_FreeType(&face->library) != 0) {
    face->library = nullptr;
    return nullptr;
  }
  if (FT_New_Memory_Face(face->library, face->file.data(), static_cast<FT_Long>(face->file.size()),
                         static_cast<FT_Long>(ftIndex), &face->ft) != 0) {
    face->ft = nullptr;
    return nullptr;
  }
  if (!FT_IS_SCALABLE(face->ft) || face->ft->units_per_EM == 0) return nullptr;
  face->isSfnt =
      face->directory.ReadFace(ByteView(face->file.data(), face->file.size()), ftIndex & 0xFFFFu);
  // A symbol font has only the (3,0) cmap, which FreeType does not select by itself.
  if (face->ft->charmap == nullptr) FT_Select_Charmap(face->ft, FT_ENCODING_MS_SYMBOL);
  face->symbolCmap =
      face->ft->charmap != nullptr && face->ft->charmap->encoding == FT_ENCODING_MS_SYMBOL;
  ReadMetrics(*face);
  return face.release();
}

// The glyph of a character code (caller holds face.mutex). Codes the font does not map give
// glyph 0, where Windows would take the font's default character: the width differs only for
// codes the font lacks.
FT_UInt GlyphOfCode(const Face& face, uint32_t code) {
  if (face.symbolCmap && code <= 0xFF) {
    // Symbol fonts map the byte codes at U+F000..U+F0FF, as Windows looks them up.
    FT_UInt glyph = FT_Get_Char_Index(face.ft, 0xF000u | code);
    if (glyph != 0) return glyph;
  }
  return FT_Get_Char_Index(face.ft, code);
}

// The advance of a character code in font units; false when the font gives none (caller holds
// face.mutex). Without scaling the answer depends on the face alone, so it is read once.
bool CodeAdvance(Face& face, uint32_t code, FT_Fixed& advance) {
  if (code < kReadCodeAdvances && face.codeAdvanceState[code] != 0) {
    advance = face.codeAdvances[code];
    return face.codeAdvanceState[code] == 1;
  }
  const bool read =
      FT_Get_Advance(face.ft, GlyphOfCode(face, code), FT_LOAD_NO_SCALE, &advance) == 0;
  if (code < kReadCodeAdvances) {
    face.codeAdvances[code] = read ? advance : 0;
    face.codeAdvanceState[code] = read ? 1 : 2;
  }
  return read;
}

int32_t NormalizeWeight(int32_t lfWeight) {
  if (lfWeight <= 0) return kDefaultWeight;  // FW_DONTCARE
  return lfWeight > 1000 ? 1000 : lfWeight;
}

struct MatchEntry {
  std::unique_ptr<char[]> name;
  int32_t weight = 0;
  bool italic = false;
  Face* face = nullptr;
  MatchEntry* next = nullptr;
};

}  // namespace

// A logical font: a face at one size.
struct FontObject {
  std::atomic<uint32_t> refs{1};  // the handle, plus one per call in progress
  uint32_t selections = 0;        // device contexts it is selected into (object lock)
  FontObject* nextLive = nullptr;
  Face* face = nullptr;
  FT_Size size = nullptr;
  int64_t ppem = 0;

  int32_t Scale(int64_t fontUnits) const {
    int64_t v = RoundDiv(fontUnits * ppem, face->unitsPerEm);
    return static_cast<int32_t>(v < INT32_MIN ? INT32_MIN : v > INT32_MAX ? INT32_MAX : v);
  }
};

struct DeviceContext {
  FontObject* font = nullptr;
  DeviceContext* nextLive = nullptr;
};

namespace {

int64_t ComputePpem(const Face& face, int32_t lfHeight) {
  int64_t height = lfHeight == 0 ? kDefaultCellHeight : lfHeight;
  int64_t ppem = height < 0 ? -height : RoundDiv(height * face.unitsPerEm, face.cellHeight);
  if (ppem < 1) ppem = 1;
  return ppem > 0xFFFF ? 0xFFFF : ppem;
}

void DestroyFont(FontObject* font) {
  if (font->size != nullptr) {
    std::lock_guard<std::mutex> lock(font->face->mutex);
    FT_Done_Size(font->size);
  }
  ReleaseFace(font->face);
  delete font;
}

void ReleaseFont(FontObject* font) {
  if (font != nullptr && font->refs.fetch_sub(1, std::memory_order_acq_rel) == 1) {
    DestroyFont(font);
  }
}

// A font kept alive for the length of one call.
class FontRef {
 public:
  explicit FontRef(FontObject* font) : font_(font) {}
  ~FontRef() { ReleaseFont(font_); }
  FontRef(const FontRef&) = delete;
  FontRef& operator=(const FontRef&) = delete;
  FontObject* operator->() const { return font_; }
  FontObject& operator*() const { return *font_; }
  explicit operator bool() const { return font_ != nullptr; }

 private:
  FontObject* font_;
};

// The bytes GetFontData answers for dwTable: 0 the whole font (a face of a collection as a font
// of its own), "ttcf" the collection file of a face in one, else the face's table. Nothing when
// there is no such data.
std::optional<ByteView> FontDataOf(Face& face, uint32_t dwTable) {
  ByteView whole(face.file.data(), face.file.size());
  if (dwTable == 0) {
    if (!face.directory.inCollection()) return whole;
    std::lock_guard<std::mutex> lock(face.mutex);
    if (!face.standalone.bytes && !sfnt::BuildStandaloneFont(face.directory, face.standalone)) {
      return std::nullopt;
    }
    // Built once and never changed: readable after the lock is gone.
    return face.standalone.view();
  }
  if (dwTable == sfnt::kCollectionTag.EngineId()) {
    // Windows answers "ttcf" with the whole collection file of a face that is in one.
    if (!face.directory.inCollection()) return std::nullopt;
    return whole;
  }
  if (!face.isSfnt) return std::nullopt;
  return face.directory.Find(sfnt::Tag::FromEngineId(dwTable));
}

uint32_t CopyFontData(ByteView data, uint32_t offset, void* buffer, uint32_t cjBuffer) {
  if (data.size() > kLargestFontData) return GDI_ERROR;
  uint32_t size = static_cast<uint32_t>(data.size());
  if (buffer == nullptr || cjBuffer == 0) return size;
  // Reading from the very end gives nothing; from past it, an error.
  if (offset > size) return GDI_ERROR;
  ByteView part = data.SubClamped(offset, cjBuffer);
  if (!part.empty()) memcpy(buffer, part.data(), part.size());
  return static_cast<uint32_t>(part.size());
}

bool IsIdentity(const MAT2& m) {
  auto is = [](FIXED f, int16_t value) { return f.fract == 0 && f.value == value; };
  return is(m.eM11, 1) && is(m.eM12, 0) && is(m.eM21, 0) && is(m.eM22, 1);
}

outline::PointKind KindOf(char tag) {
  switch (FT_CURVE_TAG(tag)) {
    case FT_CURVE_TAG_ON:
      return outline::PointKind::kOnCurve;
    case FT_CURVE_TAG_CONIC:
      return outline::PointKind::kQuadratic;
    default:  // FreeType takes any other tag as cubic
      return outline::PointKind::kCubic;
  }
}

// Within what GDI's 16.16 fixed-point outlines hold: both engines refuse the same glyphs.
bool InFixedRange(double v) {
  return v >= -32768.0 && v < 32768.0;
}

// The outline's points scaled to the font's size, and its contours.
bool CopyOutline(const FT_Outline& from, double scale, outline::Outline& out) {
  const auto count = static_cast<size_t>(from.n_points > 0 ? from.n_points : 0);
  out.points.resize(count);
  for (size_t i = 0; i < count; ++i) {
    const outline::Point at = {static_cast<double>(from.points[i].x) * scale,
                               static_cast<double>(from.points[i].y) * scale};
    if (!InFixedRange(at.x) || !InFixedRange(at.y)) return false;
    out.points[i] = {at, KindOf(from.tags[i])};
  }
  out.contourEnds.resize(static_cast<size_t>(from.n_contours > 0 ? from.n_contours : 0));
  for (size_t c = 0; c < out.contourEnds.size(); ++c) {
    out.contourEnds[c] = static_cast<size_t>(from.contours[c]) + 1;
  }
  return true;
}

// The unhinted outline of a glyph, loaded in font units and scaled to the font's whole-pixel em:
// exact font units for a font made at lfHeight = -unitsPerEm.
bool LoadOutline(FontObject& font, uint32_t glyph, outline::Outline& out) {
  Face& face = *font.face;
  std::lock_guard<std::mutex> lock(face.mutex);
  constexpr FT_Int32 kFontUnits = FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;
  if (face.unitsPerEm <= 0 || glyph >= static_cast<FT_UInt>(face.ft->num_glyphs) ||
      FT_Load_Glyph(face.ft, glyph, kFontUnits) != 0 ||
      face.ft->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
    return false;
  }
  const double scale = static_cast<double>(font.ppem) / static_cast<double>(face.unitsPerEm);
  return CopyOutline(face.ft->glyph->outline, scale, out);
}

class PosixFontEngine final : public FontEngine {
 public:
  HDC CreateCompatibleDC() override {
    return NoThrow<HDC>(nullptr, [&]() -> HDC {
      auto* dc = new (std::nothrow) DeviceContext;
      if (dc == nullptr) return nullptr;
      std::lock_guard<std::mutex> lock(objectsMutex_);
      dc->nextLive = dcs_;
      dcs_ = dc;
      return dc;
    });
  }

  HFONT CreateFontIndirectA(const LOGFONTA& lf, const char* pszFont) override {
    return NoThrow<HFONT>(nullptr, [&] { return CreateFont(lf, pszFont); });
  }

  HFONT SelectObject(HDC hdc, HFONT font) override {
    return NoThrow<HFONT>(nullptr, [&]() -> HFONT {
      std::lock_guard<std::mutex> lock(objectsMutex_);
      if (!IsLive(hdc) || !IsLive(font)) return nullptr;
      FontObject* previous = hdc->font;
      if (previous == font) return previous;
      ++font->selections;
      hdc->font = font;
      if (previous != nullptr) --previous->selections;
      return previous;
    });
  }

  HFONT GetCurrentObject(HDC hdc) override {
    return NoThrow<HFONT>(nullptr, [&]() -> HFONT {
      std::lock_guard<std::mutex> lock(objectsMutex_);
      return IsLive(hdc) ? hdc->font : nullptr;
    });
  }

  // As on Windows, a font still selected into a device context cannot be deleted, and a handle
  // that is not (or no longer) a font fails.
  bool DeleteObject(HFONT font) override {
    return NoThrow(false, [&] {
      {
        std::lock_guard<std::mutex> lock(objectsMutex_);
        if (!IsLive(font) || font->selections > 0) return false;
        Unlink(fonts_, font);
      }
      ReleaseFont(font);
      return true;
    });
  }

  bool DeleteDC(HDC hdc) override {
    return NoThrow(false, [&] {
      {
        std::lock_guard<std::mutex> lock(objectsMutex_);
        if (!IsLive(hdc)) return false;
        if (hdc->font != nullptr) --hdc->font->selections;
        Unlink(dcs_, hdc);
      }
      delete hdc;
      return true;
    });
  }

  uint32_t GetFontData(HDC hdc, uint32_t dwTable, uint32_t dwOffset, void* pvBuffer,
                       uint32_t cjBuffer) override {
    return NoThrow(GDI_ERROR, [&] {
      FontRef font(AcquireSelected(hdc));
      if (!font) return GDI_ERROR;
      std::optional<ByteView> data = FontDataOf(*font->face, dwTable);
      if (!data) return GDI_ERROR;
      return CopyFontData(*data, dwOffset, pvBuffer, cjBuffer);
    });
  }

  // The face's bytes are its mapping (or its standalone copy), both kept as long as the face.
  bool LendFontData(HDC hdc, uint32_t dwTable, LentFontData& out) override {
    return NoThrow(false, [&] {
      FontRef font(AcquireSelected(hdc));
      if (!font) return false;
      std::optional<ByteView> data = FontDataOf(*font->face, dwTable);
      if (!data || data->size() > kLargestFontData) return false;
      Face* face = font->face;
      RetainFace(face);
      // Released by the holder's deleter, also when the holder cannot be made.
      out.holder = std::shared_ptr<const void>(face, ReleaseFace);
      out.data = data->data();
      out.size = static_cast<uint32_t>(data->size());
      return true;
    });
  }

  // The advance of each code, scaled linearly from the font's horizontal metrics at the font's
  // whole-pixel em. Windows' engine reports the hinted advance (or the font's "hdmx" record for
  // the size), which a font's instructions can move one pixel away from this value for some
  // glyphs at some sizes. FreeType's default interpreter leaves horizontal advances at the
  // rounded linear value, which is what Wine reports and what is given here.
  bool GetCharWidthA(HDC hdc, uint32_t iFirst, uint32_t iLast, int32_t* lpBuffer) override {
    return NoThrow(false, [&] {
      if (lpBuffer == nullptr || iFirst > iLast) return false;
      FontRef font(AcquireSelected(hdc));
      if (!font) return false;
      Face& face = *font->face;
      std::lock_guard<std::mutex> lock(face.mutex);
      for (uint32_t code = iFirst;; ++code) {
        FT_Fixed advance = 0;
        if (!CodeAdvance(face, code, advance)) return false;
        lpBuffer[code - iFirst] = font->Scale(advance);
        if (code == iLast) break;
      }
      return true;
    });
  }

  // Metrics only (GGO_METRICS, optionally GGO_GLYPH_INDEX), with the identity matrix: other
  // formats and transforms fail. The outline is hinted in both directions for a bilevel target,
  // as GDI grid-fits for GetGlyphOutline; the black box is the outline's control box widened to
  // whole pixels, 1 x 1 for a glyph with no outline. The cell advance is the one GetCharWidthA
  // gives. Success returns 1 (Windows leaves the value open; anything but GDI_ERROR).
  uint32_t GetGlyphOutlineA(HDC hdc, uint32_t uChar, uint32_t fuFormat, GLYPHMETRICS* lpgm,
                            uint32_t /*cjBuffer*/, void* /*pvBuffer*/,
                            const MAT2* lpmat2) override {
    return NoThrow(GDI_ERROR, [&] {
      if (lpgm == nullptr || lpmat2 == nullptr || !IsIdentity(*lpmat2)) return GDI_ERROR;
      if ((fuFormat & ~GGO_GLYPH_INDEX) != GGO_METRICS) return GDI_ERROR;
      FontRef font(AcquireSelected(hdc));
      if (!font) return GDI_ERROR;
      Face& face = *font->face;
      std::lock_guard<std::mutex> lock(face.mutex);
      FT_UInt glyph = (fuFormat & GGO_GLYPH_INDEX) != 0 ? uChar : GlyphOfCode(face, uChar);
      if (glyph >= static_cast<FT_UInt>(face.ft->num_glyphs)) return GDI_ERROR;
      if (FT_Activate_Size(font->size) != 0 ||
          FT_Load_Glyph(face.ft, glyph,
                        FT_LOAD_NO_BITMAP | FT_LOAD_NO_AUTOHINT | FT_LOAD_TARGET_MONO) != 0 ||
          face.ft->glyph->format != FT_GLYPH_FORMAT_OUTLINE) {
        return GDI_ERROR;
      }
      FT_Fixed advance = 0;
      if (FT_Get_Advance(face.ft, glyph, FT_LOAD_NO_SCALE, &advance) != 0) return GDI_ERROR;
      GLYPHMETRICS gm;
      const FT_Outline& outline = face.ft->glyph->outline;
      if (outline.n_points > 0) {
        FT_BBox box;
        FT_Outline_Get_CBox(&outline, &box);
        int64_t left = FloorDiv64(box.xMin), right = CeilDiv64(box.xMax);
        int64_t bottom = FloorDiv64(box.yMin), top = CeilDiv64(box.yMax);
        gm.gmBlackBoxX = static_cast<uint32_t>(right > left ? right - left : 1);
        gm.gmBlackBoxY = static_cast<uint32_t>(top > bottom ? top - bottom : 1);
        gm.gmptGlyphOrigin.x = static_cast<int32_t>(left);
        gm.gmptGlyphOrigin.y = static_cast<int32_t>(top);
      } else {
        gm.gmBlackBoxX = 1;
        gm.gmBlackBoxY = 1;
      }
      int32_t cellInc = font->Scale(advance);
      gm.gmCellIncX = static_cast<int16_t>(cellInc > INT16_MAX ? INT16_MAX : cellInc);
      gm.gmCellIncY = 0;
      *lpgm = gm;
      return 1u;
    });
  }

  // A block smaller than the engine's fails rather than being filled in part.
  uint32_t GetOutlineTextMetricsA(HDC hdc, uint32_t cjCopy, OUTLINETEXTMETRICA* potm) override {
    return NoThrow(0u, [&]() -> uint32_t {
      FontRef font(AcquireSelected(hdc));
      if (!font) return 0;
      constexpr uint32_t kSize = sizeof(OUTLINETEXTMETRICA);
      if (potm == nullptr || cjCopy == 0) return kSize;
      if (cjCopy < kSize) return 0;
      const Face& face = *font->face;
      OUTLINETEXTMETRICA otm;
      otm.otmSize = kSize;
      otm.otmEMSquare = static_cast<uint32_t>(face.unitsPerEm);
      otm.otmAscent = font->Scale(face.typoAscent);
      otm.otmDescent = font->Scale(face.typoDescent);
      otm.otmsUnderscoreSize = font->Scale(face.underlineThickness);
      otm.otmsUnderscorePosition = font->Scale(face.underlinePosition);
      *potm = otm;
      return kSize;
    });
  }

  bool LoadGlyphOutline(HDC hdc, uint32_t glyph, outline::Outline& out) override {
    return NoThrow(false, [&] {
      FontRef font(AcquireSelected(hdc));
      return font && LoadOutline(*font, glyph, out);
    });
  }

  void ReleaseCaches() noexcept {
    NoThrow(0, [&] {
      std::lock_guard<std::mutex> lock(cacheMutex_);
      while (matches_ != nullptr) {
        MatchEntry* entry = matches_;
        matches_ = entry->next;
        ReleaseFace(entry->face);
        delete entry;
      }
      while (faces_ != nullptr) {
        Face* face = faces_;
        faces_ = face->nextCached;
        face->nextCached = nullptr;
        ReleaseFace(face);
      }
      rescanFonts_ = true;
      return 0;
    });
  }

 private:
  template <typename T>
  static void Unlink(T*& head, T* item) {
    for (T** link = &head; *link != nullptr; link = &(*link)->nextLive) {
      if (*link == item) {
        *link = item->nextLive;
        return;
      }
    }
  }

  // Handles are checked against the live objects so that a stale or foreign handle fails as
  // it does on Windows instead of being dereferenced (object lock held).
  bool IsLive(const DeviceContext* dc) const {
    for (const DeviceContext* d = dcs_; d != nullptr; d = d->nextLive) {
      if (d == dc) return true;
    }
    return false;
  }
  bool IsLive(const FontObject* font) const {
    for (const FontObject* f = fonts_; f != nullptr; f = f->nextLive) {
      if (f == font) return true;
    }
    return false;
  }

  FontObject* AcquireSelected(HDC hdc) {
    std::lock_guard<std::mutex> lock(objectsMutex_);
    if (!IsLive(hdc) || hdc->font == nullptr) return nullptr;
    hdc->font->refs.fetch_add(1, std::memory_order_relaxed);
    return hdc->font;
  }

  HFONT CreateFont(const LOGFONTA& lf, const char* pszFont) {
    char faceName[sizeof(lf.lfFaceName) + 1] = {};
    memcpy(faceName, lf.lfFaceName, strnlen(lf.lfFaceName, sizeof(lf.lfFaceName)));
    const char* name = pszFont != nullptr && *pszFont != '\0' ? pszFont : faceName;

    Face* face = nullptr;
    {
      std::lock_guard<std::mutex> lock(cacheMutex_);
      FileIdentity identity;
      if (*name != '\0' && IdentifyFile(name, 0, identity)) {
        face = FaceOfFile(name, 0, identity);
      } else {
        face = MatchFace(name, NormalizeWeight(lf.lfWeight), lf.lfItalic != 0);
      }
    }
    if (face == nullptr) return nullptr;

    auto* font = new (std::nothrow) FontObject;
    if (font == nullptr) {
      ReleaseFace(face);
      return nullptr;
    }
    font->face = face;
    font->ppem = ComputePpem(*face, lf.lfHeight);
    bool sized = false;
    {
      std::lock_guard<std::mutex> lock(face->mutex);
      if (FT_New_Size(face->ft, &font->size) != 0) font->size = nullptr;
      sized = font->size != nullptr && FT_Activate_Size(font->size) == 0 &&
              FT_Set_Pixel_Sizes(face->ft, 0, static_cast<FT_UInt>(font->ppem)) == 0;
    }
    if (!sized) {
      DestroyFont(font);
      return nullptr;
    }
    std::lock_guard<std::mutex> lock(objectsMutex_);
    font->nextLive = fonts_;
    fonts_ = font;
    return font;
  }

  // The cached face of that file identity, or the face loaded now and cached (cache lock held).
  // The caller owns one reference.
  Face* FaceOfFile(const char* path, uint32_t ftIndex, const FileIdentity& identity) {
    for (Face* face = faces_; face != nullptr; face = face->nextCached) {
      if (face->identity == identity) {
        RetainFace(face);
        return face;
      }
    }
    Face* face = LoadFace(path, ftIndex, identity);
    if (face == nullptr) return nullptr;
    RetainFace(face);
    face->nextCached = faces_;
    faces_ = face;
    return face;
  }

  // The best-ranked face the library can download that loads (cache lock held): an sfnt with
  // TrueType or CFF outlines (the CFF face's glyphs are converted as they are sent). The caller
  // owns one reference.
  Face* FirstSfntFace(const char* name, int32_t weight, bool italic) {
    // Face names are in the ANSI code page; fontconfig's family names are UTF-8.
    std::unique_ptr<char[]> family = *name != '\0' ? posix::AnsiToUtf8(name) : nullptr;
    // Names matched again after the caches were emptied find the fonts installed since.
    if (rescanFonts_) posix::RescanInstalledFaces();
    rescanFonts_ = false;
    g_fontconfigMatches.fetch_add(1, std::memory_order_relaxed);
    posix::SfntFaces faces(family ? family.get() : name, weight, italic);
    while (faces.Next()) {
      FileIdentity identity;
      if (!IdentifyFile(faces.File(), faces.Index(), identity)) continue;
      if (Face* face = FaceOfFile(faces.File(), faces.Index(), identity)) return face;
    }
    return nullptr;
  }

  // Fontconfig's best face for the name, weight and slant, remembered for the process (cache
  // lock held). The caller owns one reference.
  Face* MatchFace(const char* name, int32_t weight, bool italic) {
    for (MatchEntry* entry = matches_; entry != nullptr; entry = entry->next) {
      if (entry->weight == weight && entry->italic == italic &&
          EqualsIgnoreCaseAscii(entry->name.get(), name)) {
        RetainFace(entry->face);
        return entry->face;
      }
    }
    Face* face = FirstSfntFace(name, weight, italic);
    if (face == nullptr) return nullptr;

    // Not remembering the match (no memory) costs only a later match.
    std::unique_ptr<MatchEntry> entry(new (std::nothrow) MatchEntry);
    if (entry) entry->name = CopyString(name);
    if (entry && entry->name) {
      entry->weight = weight;
      entry->italic = italic;
      entry->face = face;
      RetainFace(face);
      entry->next = matches_;
      matches_ = entry.release();
    }
    return face;
  }

  std::mutex objectsMutex_;
  DeviceContext* dcs_ = nullptr;
  FontObject* fonts_ = nullptr;

  std::mutex cacheMutex_;
  Face* faces_ = nullptr;
  MatchEntry* matches_ = nullptr;
  bool rescanFonts_ = false;
};

// Never destroyed: a font still in use while the process exits must not meet a dead engine.
PosixFontEngine& Engine() {
  alignas(PosixFontEngine) static unsigned char storage[sizeof(PosixFontEngine)];
  static PosixFontEngine* engine = new (storage) PosixFontEngine;
  return *engine;
}

}  // namespace

FontEngine& PlatformFontEngine() {
  return Engine();
}

void ReleaseFontEngineCaches() {
  Engine().ReleaseCaches();
  posix::ReleaseSharedMappings();
}

namespace posix {

FontEngineStats GetFontEngineStatsForTesting() {
  FontEngineStats stats;
  stats.fontconfigMatches = g_fontconfigMatches.load(std::memory_order_relaxed);
  stats.fontFileOpens = g_fontFileOpens.load(std::memory_order_relaxed);
  return stats;
}

}  // namespace posix
}  // namespace tavrfndl::platform
