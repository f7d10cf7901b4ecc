#include "truetype/faceinfo.h"

namespace tavrfndl {
namespace {

constexpr size_t kPostItalicAngle = 4;  // Fixed
constexpr size_t kHeadMacStyle = 44;
constexpr uint16_t kMacStyleItalic = 0x0002;
constexpr size_t kOs2FsSelection = 62;
constexpr uint16_t kFsSelectionItalic = 0x0001;

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

}  // namespace tavrfndl
