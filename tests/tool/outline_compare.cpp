#include "outline_compare.h"

#include <cstdio>

namespace fndl::test {

FreeTypeFace::FreeTypeFace(const std::string& path) {
  if (FT_Init_FreeType(&library_)) return;
  if (FT_New_Face(library_, path.c_str(), 0, &face_)) face_ = nullptr;
}

FreeTypeFace::FreeTypeFace(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {
  if (FT_Init_FreeType(&library_)) return;
  if (FT_New_Memory_Face(library_, bytes_.data(), static_cast<FT_Long>(bytes_.size()), 0, &face_)) {
    face_ = nullptr;
  }
}

FreeTypeFace::~FreeTypeFace() {
  if (face_) FT_Done_Face(face_);
  if (library_) FT_Done_FreeType(library_);
}

namespace {

struct Loaded {
  FT_Error error = 0;
  FT_Glyph_Format format{};
  std::vector<FT_Vector> points;
  std::vector<char> tags;
  std::vector<short> contours;
  std::vector<std::string> subglyphs;
  FT_Pos advance = 0;
};

Loaded Load(FT_Face face, uint16_t glyph, bool recurse) {
  Loaded out;
  FT_Int32 flags = FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;
  if (!recurse) flags |= FT_LOAD_NO_RECURSE;
  out.error = FT_Load_Glyph(face, glyph, flags);
  if (out.error) return out;
  FT_GlyphSlot slot = face->glyph;
  out.format = slot->format;
  out.advance = slot->metrics.horiAdvance;
  if (slot->format == FT_GLYPH_FORMAT_COMPOSITE) {
    for (FT_UInt i = 0; i < slot->num_subglyphs; ++i) {
      FT_Int index, a1, a2;
      FT_UInt subFlags;
      FT_Matrix m;
      FT_Get_SubGlyph_Info(slot, i, &index, &subFlags, &a1, &a2, &m);
      char text[160];
      std::snprintf(text, sizeof(text), "glyph %d flags %u args %d %d matrix %ld %ld %ld %ld",
                    index, subFlags, a1, a2, m.xx, m.xy, m.yx, m.yy);
      out.subglyphs.push_back(text);
    }
    return out;
  }
  const FT_Outline& o = slot->outline;
  out.points.assign(o.points, o.points + o.n_points);
  for (short i = 0; i < o.n_points; ++i) out.tags.push_back(static_cast<char>(o.tags[i] & 3));
  out.contours.assign(o.contours, o.contours + o.n_contours);
  return out;
}

}  // namespace

std::string CompareGlyph(FT_Face expected, FT_Face actual, uint16_t glyph, bool recurse) {
  Loaded e = Load(expected, glyph, recurse), a = Load(actual, glyph, recurse);
  std::string where = "glyph " + std::to_string(glyph) + ": ";
  if (e.error || a.error) {
    return where + "load errors " + std::to_string(e.error) + " / " + std::to_string(a.error);
  }
  if (e.format != a.format) return where + "different glyph formats";
  if (e.subglyphs != a.subglyphs) return where + "different components";
  if (e.contours != a.contours) return where + "different contours";
  if (e.tags != a.tags) return where + "different on-curve flags";
  for (size_t i = 0; i < e.points.size(); ++i) {
    if (e.points[i].x != a.points[i].x || e.points[i].y != a.points[i].y) {
      return where + "point " + std::to_string(i) + " differs";
    }
  }
  if (e.advance != a.advance) return where + "different advance";
  return {};
}

}  // namespace fndl::test
