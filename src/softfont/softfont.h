// Soft-font building: the font header that puts a TrueType font on the printer, and the
// character records that add its glyphs one by one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "fontlist/fontlist.h"
#include "pclxl/xlstream.h"
#include "sfnt/bytes.h"
#include "sfnt/directory.h"
#include "sfnt/findings.h"
#include "sfnt/glyf.h"
#include "tavrfndl.h"
#include "truetype/tables.h"

namespace tavrfndl {

// A character record carries a 16-bit size (record length - 2), so the glyph data of one record
// cannot exceed this.
inline constexpr uint32_t kMaxGlyphDataSize = 65529;
// The code under which the components of a composite glyph are sent.
inline constexpr uint16_t kComponentCharCode = 0xFFFF;

// "OT:<nFontId in hex>:<chFont>:n" into entry.chPCLFontName. A chFont too long for the 255
// characters of the name is shortened, the same way every time, so every operator of the font
// names it identically.
void BuildPCLFontName(FONTENTRY& entry);

// The whole font data of a source: the mapped file, or the engine's whole font.
struct WholeFont {
  std::shared_ptr<const platform::MappedFile> file;
  TableBuffer engine;  // lent by the engine where it can, else copied
  ByteView view;
};
// False when the file cannot be mapped (which sets *pbFontFileError) or the engine cannot give
// the whole font.
bool LoadWholeFont(const FontSource& source, WholeFont& out);

// Sends the header of font data as they are, without validating them. The header tables are
// copied from font, or with engineTables from the font engine's tables of that device context.
bool SendFontHeader(FONTENTRY& entry, XlStream* pStream, ByteView font,
                    platform::HDC engineTables = nullptr);

// The call's font at a height of one em in font units, for the outlines of a face without
// "glyf": the engine gives outlines at the font's size, and font units need no rescaling. Made
// when the first glyph needs it, so that runs whose glyphs are all on the printer pay nothing,
// and released at the end of the call.
class EmFont {
 public:
  EmFont(const platform::LOGFONTA& lf, const char* name, uint16_t unitsPerEm)
      : lf_(lf), name_(name), unitsPerEm_(unitsPerEm) {}
  EmFont(const EmFont&) = delete;
  EmFont& operator=(const EmFont&) = delete;
  ~EmFont();
  // The device context with the font selected; null when the engine cannot make them.
  platform::HDC dc();
  uint16_t unitsPerEm() const { return unitsPerEm_; }

 private:
  platform::LOGFONTA lf_;
  const char* name_;
  uint16_t unitsPerEm_;
  bool made_ = false;
  platform::HDC dc_ = nullptr;
  platform::HFONT font_ = nullptr;
};

// Glyph glyph of the face as a simple TrueType glyph in storage, from emFont's outline; nothing
// when the engine gives no outline or the converted glyph exceeds what the face's "maxp"
// promises.
std::optional<ByteView> OutlineGlyphData(FontTables& tables, EmFont& emFont, uint16_t glyph,
                                         std::vector<uint8_t>& storage);

// Sends the font header of a new font (BeginFontHeader ... EndFontHeader). Returns true when it
// went out; false when nothing was sent because the font data could not be read or failed
// validation (the reasons then go to findings, when given): a printer that reads a header whose
// tables are cut or impossible rejects the rest of the job.
bool DownloadFontHeader(FONTENTRY& entry, XlStream* pStream, const FontSource& source,
                        sfnt::Findings* findings = nullptr);

// The glyph data of glyph number glyph, located through "loca" and "head"; nothing when a table
// is missing, the offsets are unusable, or the bytes leave "glyf". An empty glyph is a view of
// size 0.
std::optional<ByteView> GetGlyfData(FontTables& tables, uint16_t glyph);
bool CheckIfCompositeGlyph(ByteView glyph);
// Sends the components of composite glyph glyphIndex under code 0xFFFF, and the components of
// components (sfnt::WalkComponents), an empty one as its 6-byte record; false when it stopped at
// one that could not be read or at a bound.
bool HandleCompositeGlyphW(const sfnt::GlyphTable& table, ByteView glyph, XlStream* pStream,
                           uint16_t glyphIndex);
// Sends one character (its composite's components too); a glyph without outline goes out as
// its 6-byte record and counts as sent. False when it failed: no glyph, or one that is not a
// valid TrueType glyph or has an invalid component (nothing goes out; the reason goes to
// findings, when given).
bool DOWNLOADTYPE15(FontTables& tables, XlStream* pStream, const FONTENTRY& entry, uint16_t code,
                    uint16_t glyph, sfnt::Findings* findings = nullptr, EmFont* emFont = nullptr);

// Sends the glyphs of the run's characters the printer does not have yet, recording each
// character's glyph index in anGlyphIndex (one entry per character of the text). Font data come
// from the list's device context (engine) or the entry's own font file (file mode). The caller
// has selected the font first.
// For a face without "glyf" the glyphs come from the outlines of emFont (see EmFont).
bool AddCharsToFontW(FONTLIST& list, FONTENTRY& entry, bool bNewFont, XlStream* pStream,
                     const TEXTINFOW& text, std::span<uint32_t> anGlyphIndex, bool bTTE,
                     int32_t* pbFontFileError, sfnt::Findings* findings = nullptr,
                     EmFont* emFont = nullptr);

}  // namespace tavrfndl
