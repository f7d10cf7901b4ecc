// FontFile for the Windows test programs, which have no FreeType: the directory, "maxp" and the
// Unicode "cmap" subtable are read here, with no code shared with the library, so that the
// driver tests still check the library's output against the font's own bytes.
#include <cstdint>
#include <new>
#include <string>
#include <vector>

#include "shared_read.h"
#include "support/fontfile.h"

namespace tavrfndl::testing {
namespace {

using Bytes = std::vector<uint8_t>;

// Reads past the end give 0: a damaged font then has no table or glyph rather than a crash.
uint32_t U16(const Bytes& b, size_t at) {
  return BeU16(b, at);
}
uint32_t U32(const Bytes& b, size_t at) {
  return BeU32(b, at);
}

const Bytes& FileOf(const void* face) {
  return *static_cast<const Bytes*>(face);
}

// The offset of face 0's table directory: a collection names it in its header.
size_t DirectoryOffset(const Bytes& file) {
  return U32(file, 0) == 0x74746366u /* ttcf */ ? U32(file, 12) : 0;
}

uint32_t Format4Glyph(const Bytes& t, size_t at, uint32_t code) {
  if (code > 0xFFFF) return 0;
  const size_t segments = U16(t, at + 6) / 2;
  const size_t ends = at + 14;
  const size_t starts = ends + 2 * segments + 2;
  const size_t deltas = starts + 2 * segments;
  const size_t rangeOffsets = deltas + 2 * segments;
  for (size_t i = 0; i < segments; ++i) {
    if (code > U16(t, ends + 2 * i)) continue;
    const uint32_t start = U16(t, starts + 2 * i);
    if (code < start) return 0;
    const uint32_t delta = U16(t, deltas + 2 * i);
    const uint32_t rangeOffset = U16(t, rangeOffsets + 2 * i);
    if (rangeOffset == 0) return (code + delta) & 0xFFFF;
    const uint32_t glyph = U16(t, rangeOffsets + 2 * i + rangeOffset + 2 * (code - start));
    return glyph == 0 ? 0 : (glyph + delta) & 0xFFFF;
  }
  return 0;
}

uint32_t Format12Glyph(const Bytes& t, size_t at, uint32_t code) {
  const uint32_t groups = U32(t, at + 12);
  for (uint32_t i = 0; i < groups; ++i) {
    const size_t g = at + 16 + 12 * size_t{i};
    if (code >= U32(t, g) && code <= U32(t, g + 4)) return U32(t, g + 8) + (code - U32(t, g));
  }
  return 0;
}

}  // namespace

FontFile::FontFile(const std::string& path) {
  Bytes bytes = ReadSharedFile(path);
  if (bytes.size() < 12) return;
  face_ = new (std::nothrow) Bytes(std::move(bytes));
}

FontFile::~FontFile() {
  delete static_cast<Bytes*>(face_);
}

uint32_t FontFile::NumGlyphs() const {
  return U16(Table("maxp"), 4);
}

// The subtable FreeType would choose: the full Unicode one (format 12) when there is one, else
// the BMP one (format 4).
uint32_t FontFile::GlyphIndex(uint32_t codePoint) const {
  const Bytes cmap = Table("cmap");
  size_t format4 = 0, format12 = 0;
  for (uint32_t i = 0; i < U16(cmap, 2); ++i) {
    const size_t record = 4 + 8 * size_t{i};
    const uint32_t platform = U16(cmap, record), encoding = U16(cmap, record + 2);
    const size_t at = U32(cmap, record + 4);
    const bool unicode = platform == 0 || (platform == 3 && (encoding == 1 || encoding == 10));
    if (!unicode) continue;
    if (U16(cmap, at) == 4 && format4 == 0) format4 = at;
    if (U16(cmap, at) == 12 && format12 == 0) format12 = at;
  }
  if (format12 != 0) return Format12Glyph(cmap, format12, codePoint);
  if (format4 != 0) return Format4Glyph(cmap, format4, codePoint);
  return 0;
}

std::vector<uint8_t> FontFile::Table(const char* tag) const {
  if (face_ == nullptr) return {};
  const Bytes& file = FileOf(face_);
  const size_t directory = DirectoryOffset(file);
  const uint32_t wanted = (uint32_t{static_cast<uint8_t>(tag[0])} << 24) |
                          (uint32_t{static_cast<uint8_t>(tag[1])} << 16) |
                          (uint32_t{static_cast<uint8_t>(tag[2])} << 8) |
                          static_cast<uint8_t>(tag[3]);
  for (uint32_t i = 0; i < U16(file, directory + 4); ++i) {
    const size_t record = directory + 12 + 16 * size_t{i};
    if (U32(file, record) != wanted) continue;
    const size_t offset = U32(file, record + 8), length = U32(file, record + 12);
    if (offset > file.size() || length > file.size() - offset) return {};
    return Bytes(file.begin() + static_cast<std::ptrdiff_t>(offset),
                 file.begin() + static_cast<std::ptrdiff_t>(offset + length));
  }
  return {};
}

uint32_t FontFile::UnitsPerEm() const {
  return U16(Table("head"), 18);
}

// Glyphs past the last full metric share its advance.
uint32_t FontFile::Advance(uint32_t glyph) const {
  const uint32_t metrics = U16(Table("hhea"), 34);
  if (metrics == 0) return 0;
  return U16(Table("hmtx"), 4 * size_t{glyph < metrics ? glyph : metrics - 1});
}

std::vector<uint8_t> FontFile::GlyphBytes(uint32_t glyph) const {
  const Bytes head = Table("head");
  const Bytes loca = Table("loca");
  const Bytes glyf = Table("glyf");
  const bool shortLoca = U16(head, 50) == 0;
  auto entry = [&](uint32_t i) -> size_t {
    return shortLoca ? 2 * size_t{U16(loca, 2 * size_t{i})} : U32(loca, 4 * size_t{i});
  };
  const size_t from = entry(glyph), to = entry(glyph + 1);
  if (from > to || to > glyf.size()) return {};
  return Bytes(glyf.begin() + static_cast<std::ptrdiff_t>(from),
               glyf.begin() + static_cast<std::ptrdiff_t>(to));
}

}  // namespace tavrfndl::testing
