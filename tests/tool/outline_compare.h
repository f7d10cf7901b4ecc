// Glyph outlines read with FreeType, to compare a font rebuilt from a job with its source.
#pragma once

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cstdint>
#include <string>
#include <vector>

namespace fndl::test {

class FreeTypeFace {
 public:
  explicit FreeTypeFace(const std::string& path);
  explicit FreeTypeFace(std::vector<uint8_t> bytes);
  ~FreeTypeFace();
  FreeTypeFace(const FreeTypeFace&) = delete;
  FreeTypeFace& operator=(const FreeTypeFace&) = delete;

  bool ok() const { return face_ != nullptr; }
  FT_Face get() const { return face_; }

 private:
  FT_Library library_ = nullptr;
  FT_Face face_ = nullptr;
  std::vector<uint8_t> bytes_;
};

// Loads the glyph unscaled and unhinted from both faces and describes the first difference:
// with recurse, the whole outline (composites resolved through their components); without, the
// glyph as stored (a composite's component list, or a simple glyph's points). Empty when equal.
std::string CompareGlyph(FT_Face expected, FT_Face actual, uint16_t glyph, bool recurse);

}  // namespace fndl::test
