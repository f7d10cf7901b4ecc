#include "sfnt/outline_face.h"

#include <cstring>

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

}  // namespace

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
  uint8_t newMaxp[kMaxpLength];
  BuildMaxp(numGlyphs, newMaxp);
  // Tables the validator needs even when missing here are named by it, not made up.
  const TableData tables[] = {
      {"cmap", cmap.value_or(ByteView())},         {"head", ByteView(newHead, sizeof newHead)},
      {"hhea", hhea.value_or(ByteView())},         {"hmtx", hmtx.value_or(ByteView())},
      {"maxp", ByteView(newMaxp, sizeof newMaxp)},
  };
  return BuildFont(0x00010000, tables, out);
}

}  // namespace tavrfndl::sfnt
