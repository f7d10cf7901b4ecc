#include "truetype/faceinfo.h"

#include <algorithm>

namespace tavrfndl {
namespace {

constexpr size_t kPostItalicAngle = 4;  // Fixed
constexpr size_t kHeadUnitsPerEm = 18;
constexpr size_t kHeadMacStyle = 44;
constexpr uint16_t kMacStyleItalic = 0x0002;
constexpr size_t kOs2FsSelection = 62;
constexpr uint16_t kFsSelectionItalic = 0x0001;
constexpr size_t kOs2WinDescent = 76;
constexpr size_t kHheaDescender = 6;

bool HasBit(FontTables& tables, const char* tag, size_t offset, uint16_t bit) {
  const std::optional<ByteView> table = tables.Find(tag);
  uint16_t value = 0;
  return table && table->ReadU16(offset, value) && (value & bit) != 0;
}

}  // namespace

bool IsSlantedFace(FontTables& tables) {
  const std::optional<ByteView> post = tables.Find("post");
  uint32_t italicAngle = 0;
  if (post && post->ReadU32(kPostItalicAngle, italicAngle) && italicAngle != 0) return true;
  return HasBit(tables, "head", kHeadMacStyle, kMacStyleItalic) ||
         HasBit(tables, "OS/2", kOs2FsSelection, kFsSelectionItalic);
}

FaceDescent ReadFaceDescent(FontTables& tables) {
  FaceDescent out;
  const std::optional<ByteView> head = tables.Find("head");
  if (!head || !head->ReadU16(kHeadUnitsPerEm, out.unitsPerEm)) return out;
  const std::optional<ByteView> os2 = tables.Find("OS/2");
  const std::optional<ByteView> hhea = tables.Find("hhea");
  uint16_t winDescent = 0;
  int16_t descender = 0;
  if (os2 && os2->ReadU16(kOs2WinDescent, winDescent) && winDescent > 0) {
    out.descent = winDescent;
  } else if (hhea && hhea->ReadS16(kHheaDescender, descender) && descender < 0) {
    out.descent = static_cast<uint16_t>(-int32_t{descender});
  }
  out.descent = std::min(out.descent, out.unitsPerEm);
  return out;
}

}  // namespace tavrfndl
