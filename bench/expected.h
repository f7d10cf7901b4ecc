// What the library must write for the benchmarks' inputs, worked out from the font file with
// FreeType and from the library's rules (geometry, advances, record order), the bytes placed with
// the library's one PCL XL encoder: a benchmark whose output drifts reports an error instead of a
// figure.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "support/fontfile.h"

namespace tavrfndl::bench {

using Bytes = std::vector<uint8_t>;

// A TrueType file read through FreeType, with its tables kept once read.
class ReferenceFont {
 public:
  explicit ReferenceFont(const std::string& path) : file_(path) {}
  ReferenceFont(const ReferenceFont&) = delete;
  ReferenceFont& operator=(const ReferenceFont&) = delete;

  bool ok() const { return file_.ok(); }
  uint32_t NumGlyphs() const { return file_.NumGlyphs(); }
  uint32_t GlyphIndex(uint32_t code) const { return file_.GlyphIndex(code); }
  // Empty when the font has no such table.
  const Bytes& Table(const char* tag);
  // The glyph's bytes in "glyf"; empty for an empty glyph or one "loca" does not cover.
  Bytes GlyphBytes(uint32_t glyph);
  // The advance the font engine gives a character at an em of ppem pixels, as the library asks
  // for the em in engine mode: the "hmtx" advance scaled to it, rounded half away from zero as
  // MulDiv rounds.
  int32_t EmAdvance(uint32_t code, int32_t ppem);

 private:
  testing::FontFile file_;
  std::map<std::string, Bytes> tables_;
};

// One character record: the code it goes out under and its data (6-byte header, glyph bytes).
struct CharRecord {
  uint16_t code = 0;
  Bytes data;
};

// The records of the characters in order, each composite followed by its components under code
// 0xFFFF, a component that is a composite itself by its own, depth first (one that names a
// composite it lies in is not expanded again; nesting and records per character are bounded as
// the library bounds them). Empty with *error set when a character has no glyph or an empty one.
std::vector<CharRecord> ExpectedCharRecords(ReferenceFont& font, const std::u16string& chars,
                                            std::string* error);

// The font's name on the printer: OT:<id in hex>:<face or path>:n.
std::string PclFontName(uint32_t fontId, const std::string& font);

// Stream pieces, byte for byte.
Bytes SelectionOperators(const std::string& pclName, float charSize);
Bytes ClipOperator();
Bytes SetCursorOperator(int32_t x, int32_t y);
Bytes TextOperator(const std::u16string& text, const std::vector<int32_t>& widths);

// The page records of a run starting at (x, y): one line when it fits; otherwise (a text without
// spaces only) lines broken in front of the first character whose right edge passes the right
// limit, each next line at (startX, y + lineSpacing). Empty with *error set for a text that needs
// breaking at spaces, which the benchmarks do not send.
Bytes PageRecords(const std::u16string& text, const std::vector<int32_t>& widths, int32_t x,
                  int32_t y, int32_t startX, int32_t lineSpacing, std::string* error);

// Everything one download call must append.
struct DownloadExpectation {
  std::string pclName;
  ReferenceFont* newFont = nullptr;  // the font whose header must come first; null: no header
  float charSize = 0;
  std::vector<CharRecord> chars;  // empty: no BeginChar .. EndChar
  Bytes page;                     // SetClipRectangle and the lines
};

// Empty when out is exactly what e describes; otherwise the first difference. The font header is
// checked piece by piece and table by table against the font (its directory order is the
// library's to choose); everything else byte for byte.
std::string CheckDownloadOutput(const Bytes& out, const DownloadExpectation& e);

}  // namespace tavrfndl::bench
