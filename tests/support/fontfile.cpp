#include "support/fontfile.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

namespace tavrfndl::testing {

FontFile::FontFile(const std::string& path) {
  FT_Library lib = nullptr;
  if (FT_Init_FreeType(&lib)) return;
  library_ = lib;
  FT_Face face = nullptr;
  if (FT_New_Face(lib, path.c_str(), 0, &face) == 0) face_ = face;
}

FontFile::~FontFile() {
  if (face_) FT_Done_Face(static_cast<FT_Face>(face_));
  if (library_) FT_Done_FreeType(static_cast<FT_Library>(library_));
}

uint32_t FontFile::NumGlyphs() const {
  return static_cast<uint32_t>(static_cast<FT_Face>(face_)->num_glyphs);
}

uint32_t FontFile::GlyphIndex(uint32_t codePoint) const {
  return FT_Get_Char_Index(static_cast<FT_Face>(face_), codePoint);
}

std::vector<uint8_t> FontFile::Table(const char* tag) const {
  const FT_ULong t = FT_MAKE_TAG(tag[0], tag[1], tag[2], tag[3]);
  FT_ULong length = 0;
  if (FT_Load_Sfnt_Table(static_cast<FT_Face>(face_), t, 0, nullptr, &length)) return {};
  std::vector<uint8_t> bytes(length);
  FT_Load_Sfnt_Table(static_cast<FT_Face>(face_), t, 0, bytes.data(), &length);
  return bytes;
}

uint32_t FontFile::UnitsPerEm() const {
  return static_cast<FT_Face>(face_)->units_per_EM;
}

uint32_t FontFile::Advance(uint32_t glyph) const {
  std::vector<uint8_t> hhea = Table("hhea");
  std::vector<uint8_t> hmtx = Table("hmtx");
  const uint32_t metrics = BeU16(hhea, 34);
  const uint32_t i = glyph < metrics ? glyph : metrics - 1;
  return BeU16(hmtx, 4 * i);
}

std::vector<uint8_t> FontFile::GlyphBytes(uint32_t glyph) const {
  std::vector<uint8_t> head = Table("head");
  std::vector<uint8_t> loca = Table("loca");
  std::vector<uint8_t> glyf = Table("glyf");
  const bool shortLoca = head.at(50) == 0 && head.at(51) == 0;
  auto entry = [&](uint32_t i) -> uint32_t {
    return shortLoca ? 2u * BeU16(loca, 2 * i) : BeU32(loca, 4 * i);
  };
  const uint32_t from = entry(glyph);
  const uint32_t to = entry(glyph + 1);
  return std::vector<uint8_t>(glyf.begin() + from, glyf.begin() + to);
}

}  // namespace tavrfndl::testing
