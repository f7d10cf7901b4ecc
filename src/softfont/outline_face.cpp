// Faces whose glyphs are not TrueType "glyf" data (OpenType fonts with CFF outlines). A format-0
// soft font carries TrueType glyphs only, so such a face goes to the printer as a TrueType font
// of its own making: a header of the face's own metrics ("head", "hhea", "hmtx") and a "maxp"
// whose maxima the converted glyphs are held to, and each glyph, when it is first sent, taken
// from the font engine's unhinted outline in font units and converted to quadratic curves.
#include <algorithm>
#include <cstring>
#include <iterator>
#include <new>

#include "outline/outline.h"
#include "sfnt/directory.h"
#include "softfont/softfont.h"

namespace tavrfndl {
namespace {

constexpr size_t kHeadLength = 54;
constexpr size_t kMaxpLength = 32;
constexpr size_t kIndexToLocFormat = 50;

// maxp maxPoints and maxContours of a converted face. A rasterizer sizes its glyph zone from
// them, so they are kept to what outlines need (the CJK glyphs of Noto Sans CJK reach about
// 600 points after conversion) and a glyph past them is not sent.
constexpr uint16_t kMaxOutlinePoints = 4096;
constexpr uint16_t kMaxOutlineContours = 512;

bool HasTable(const sfnt::Directory& directory, sfnt::Tag tag) {
  return directory.FindRecord(tag).has_value();
}

// "maxp" version 1.0 for glyphs without instructions or components.
void BuildMaxp(uint16_t numGlyphs, uint8_t (&maxp)[kMaxpLength]) {
  std::memset(maxp, 0, sizeof maxp);
  PutU32(&maxp[0], 0x00010000);
  PutU16(&maxp[4], numGlyphs);
  PutU16(&maxp[6], kMaxOutlinePoints);
  PutU16(&maxp[8], kMaxOutlineContours);
  PutU16(&maxp[14], 1);  // maxZones: no twilight zone is used
}

}  // namespace

bool IsOutlineFace(ByteView font) {
  sfnt::Directory directory;
  if (!directory.ReadAt(font)) return false;
  return !HasTable(directory, "glyf") && !HasTable(directory, "GLYF") &&
         (HasTable(directory, "CFF ") || HasTable(directory, "CFF2"));
}

bool BuildOutlineFaceFont(ByteView font, sfnt::StandaloneFont& out) {
  sfnt::Directory directory;
  if (!directory.ReadAt(font)) return false;
  const auto cmap = directory.Find("cmap");
  const auto head = directory.Find("head");
  const auto hhea = directory.Find("hhea");
  const auto hmtx = directory.Find("hmtx");
  const auto maxp = directory.Find("maxp");
  uint16_t numGlyphs = 0;
  if (!head || head->size() < kHeadLength || !maxp || !maxp->ReadU16(4, numGlyphs)) return false;
  uint8_t newHead[kHeadLength];
  std::memcpy(newHead, head->data(), kHeadLength);
  PutU16(&newHead[kIndexToLocFormat], 1);  // the records' glyphs have no "loca" of their own
  uint8_t newMaxp[kMaxpLength];
  BuildMaxp(numGlyphs, newMaxp);
  // Tables the validator needs even when missing here are named by it, not made up.
  const sfnt::TableData tables[] = {
      {"cmap", cmap.value_or(ByteView())},         {"head", ByteView(newHead, sizeof newHead)},
      {"hhea", hhea.value_or(ByteView())},         {"hmtx", hmtx.value_or(ByteView())},
      {"maxp", ByteView(newMaxp, sizeof newMaxp)},
  };
  return sfnt::BuildFont(0x00010000, tables, out);
}

std::optional<ByteView> OutlineGlyphData(platform::HDC emFont, uint16_t glyph, uint32_t unitsPerEm,
                                         std::vector<uint8_t>& storage) {
  platform::FontEngine& engine = platform::CurrentFontEngine();
  constexpr uint32_t kFormat =
      platform::GGO_NATIVE | platform::GGO_UNHINTED | platform::GGO_GLYPH_INDEX;
  platform::GLYPHMETRICS gm;
  const uint32_t size =
      engine.GetGlyphOutlineW(emFont, glyph, kFormat, &gm, 0, nullptr, &platform::kIdentityMatrix);
  if (emFont == nullptr || size == platform::GDI_ERROR) return std::nullopt;
  try {
    std::vector<uint8_t> records(size);
    if (size > 0 && engine.GetGlyphOutlineW(emFont, glyph, kFormat, &gm, size, records.data(),
                                            &platform::kIdentityMatrix) != size) {
      return std::nullopt;
    }
    std::vector<outline::Contour> contours;
    std::vector<outline::QuadContour> quadratic;
    outline::EncodedGlyph encoded;
    if (!outline::ParseNativeOutline(records.data(), records.size(), contours) ||
        !outline::ConvertContours(contours, outline::ToleranceForEm(unitsPerEm), quadratic) ||
        !outline::EncodeSimpleGlyph(quadratic, encoded) || encoded.points > kMaxOutlinePoints ||
        encoded.contours > kMaxOutlineContours || encoded.bytes.size() > kMaxGlyphDataSize) {
      return std::nullopt;
    }
    storage = std::move(encoded.bytes);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  return ByteView(storage.data(), storage.size());
}

}  // namespace tavrfndl
