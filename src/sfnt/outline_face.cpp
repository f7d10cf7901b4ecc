#include "sfnt/outline_face.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "sfnt/directory.h"

namespace tavrfndl::sfnt {
namespace {

constexpr size_t kHeadLength = 54;
constexpr size_t kMaxpLength = 32;
constexpr size_t kIndexToLocFormat = 50;

bool HasTable(const Directory& directory, Tag tag) {
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

// A signed 16-bit field times scale, kept inside 16 bits.
void ScaleS16(uint8_t* field, uint32_t scale) {
  const int32_t v = static_cast<int16_t>((field[0] << 8) | field[1]) * static_cast<int32_t>(scale);
  PutU16(field, static_cast<uint16_t>(std::clamp<int32_t>(v, INT16_MIN, INT16_MAX)));
}
void ScaleU16(uint8_t* field, uint32_t scale) {
  const uint32_t v = ((uint32_t{field[0]} << 8) | field[1]) * scale;
  PutU16(field, std::min<uint32_t>(v, UINT16_MAX));
}

// The face's metrics in the units of the made font.
void ScaleHead(uint8_t (&head)[kHeadLength], uint32_t scale) {
  ScaleU16(&head[18], scale);                                     // unitsPerEm
  for (size_t at : {36, 38, 40, 42}) ScaleS16(&head[at], scale);  // xMin, yMin, xMax, yMax
}
bool ScaledCopy(std::optional<ByteView> table, std::vector<uint8_t>& out) {
  if (!table) return false;
  out.assign(table->data(), table->data() + table->size());
  return true;
}
void ScaleHhea(std::vector<uint8_t>& hhea, uint32_t scale) {
  if (hhea.size() < 18) return;
  for (size_t at : {4, 6, 8, 12, 14, 16}) ScaleS16(&hhea[at], scale);
  ScaleU16(&hhea[10], scale);  // advanceWidthMax
}
// Advance and bearing pairs, then bearings alone: every field is a distance.
void ScaleHmtx(std::vector<uint8_t>& hmtx, uint16_t longMetrics, uint32_t scale) {
  for (size_t at = 0; at + 2 <= hmtx.size(); at += 2) {
    if (at < 4 * size_t{longMetrics} && at % 4 == 0) {
      ScaleU16(&hmtx[at], scale);
    } else {
      ScaleS16(&hmtx[at], scale);
    }
  }
}

}  // namespace

uint32_t OutlineFaceScale(uint16_t unitsPerEm) {
  return unitsPerEm > 0 && unitsPerEm <= kMaxScaledEm / 2 ? 2 : 1;
}

bool IsOutlineFace(ByteView font) {
  Directory directory;
  if (!directory.ReadAt(font)) return false;
  return !HasTable(directory, "glyf") && !HasTable(directory, "GLYF") &&
         (HasTable(directory, "CFF ") || HasTable(directory, "CFF2"));
}

bool BuildOutlineFaceFont(ByteView font, StandaloneFont& out) {
  Directory directory;
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
  uint16_t unitsPerEm = 0, longMetrics = 0;
  head->ReadU16(18, unitsPerEm);
  const uint32_t scale = OutlineFaceScale(unitsPerEm);
  ScaleHead(newHead, scale);
  std::vector<uint8_t> newHhea, newHmtx;
  const bool metrics = ScaledCopy(hhea, newHhea) && ScaledCopy(hmtx, newHmtx);
  if (metrics && hhea->ReadU16(34, longMetrics)) {
    ScaleHhea(newHhea, scale);
    ScaleHmtx(newHmtx, longMetrics, scale);
  }
  uint8_t newMaxp[kMaxpLength];
  BuildMaxp(numGlyphs, newMaxp);
  // Tables the validator needs even when missing here are named by it, not made up.
  const TableData tables[] = {
      {"cmap", cmap.value_or(ByteView())},
      {"head", ByteView(newHead, sizeof newHead)},
      {"hhea", metrics ? ByteView(newHhea.data(), newHhea.size()) : ByteView()},
      {"hmtx", metrics ? ByteView(newHmtx.data(), newHmtx.size()) : ByteView()},
      {"maxp", ByteView(newMaxp, sizeof newMaxp)},
  };
  return BuildFont(0x00010000, tables, out);
}

}  // namespace tavrfndl::sfnt
