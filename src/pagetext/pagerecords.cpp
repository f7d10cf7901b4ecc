#include "pagetext/pagerecords.h"

namespace tavrfndl {
namespace {

constexpr uint8_t kUByte = 0xC0;
constexpr uint8_t kUInt16 = 0xC1;
constexpr uint8_t kUInt16Array = 0xC9;
constexpr uint8_t kSInt16XY = 0xD3;
constexpr uint8_t kSInt16Box = 0xE3;
constexpr uint8_t kAttrUByte = 0xF8;

constexpr uint8_t kROP3 = 0x2C;
constexpr uint8_t kBoundingBox = 0x42;
constexpr uint8_t kPoint = 0x4C;
constexpr uint8_t kClipRegion = 0x53;
constexpr uint8_t kTextData = 0xAB;
constexpr uint8_t kXSpacingData = 0xAF;

constexpr uint8_t kSetClipRectangle = 0x68;
constexpr uint8_t kSetCursor = 0x6B;
constexpr uint8_t kSetPenSource = 0x79;
constexpr uint8_t kSetROP = 0x7B;
constexpr uint8_t kNewPath = 0x85;
constexpr uint8_t kPaintPath = 0x86;
constexpr uint8_t kRectanglePath = 0xA1;
constexpr uint8_t kText = 0xA8;

constexpr size_t kWorkBufferSize = 5000;
constexpr size_t kTextRecordFixedBytes = 13;
static_assert(kTextRecordFixedBytes + 4 * kMaxTextRecordUnits <= kWorkBufferSize);

// Assembles one record front to back in its own work buffer of N bytes. A record that would
// outgrow the buffer is never written, rather than written cut short.
template <size_t N>
class Record {
 public:
  void Byte(int32_t value) {
    if (length_ == N) {
      overflowed_ = true;
      return;
    }
    buffer_[length_++] = static_cast<uint8_t>(value);
  }
  // Coordinates and widths go out as their low 16 bits: a value past the 16-bit range wraps
  // rather than clamps, as the printer would read the same two bytes either way.
  void Word(int32_t value) {
    Byte(value);
    Byte(value >> 8);
  }
  void Attribute(uint8_t id) {
    Byte(kAttrUByte);
    Byte(id);
  }
  void Box(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
    Byte(kSInt16Box);
    Word(x1);
    Word(y1);
    Word(x2);
    Word(y2);
  }
  // One item of the whole record's size: the file stream receives the record as one piece, so it
  // can never be split around the stream writer's hand-offs.
  size_t WriteTo(std::FILE* out) const {
    if (out == nullptr || overflowed_) return 0;
    return std::fwrite(buffer_, length_, 1, out);
  }

 private:
  uint8_t buffer_[N] = {};
  size_t length_ = 0;
  bool overflowed_ = false;
};

}  // namespace

size_t WriteSetCursor(std::FILE* out, int32_t x, int32_t y) {
  Record<8> record;
  record.Byte(kSInt16XY);
  record.Word(x);
  record.Word(y);
  record.Attribute(kPoint);
  record.Byte(kSetCursor);
  return record.WriteTo(out);
}

size_t WriteText(std::FILE* out, const uint16_t* pwText, int32_t n, const int32_t* pnWidths) {
  if (n < 0 || n > kMaxTextRecordUnits) return 0;
  if (n > 0 && (pwText == nullptr || pnWidths == nullptr)) return 0;
  Record<kWorkBufferSize> record;
  record.Byte(kUInt16Array);
  record.Byte(kUInt16);
  record.Word(n);
  for (int32_t i = 0; i < n; ++i) record.Word(pwText[i]);
  record.Attribute(kTextData);
  record.Byte(kUInt16Array);
  record.Byte(kUInt16);
  record.Word(n);
  for (int32_t i = 0; i < n; ++i) record.Word(pnWidths[i]);
  record.Attribute(kXSpacingData);
  record.Byte(kText);
  return record.WriteTo(out);
}

size_t WriteSetROP(std::FILE* out, int32_t rop3) {
  Record<5> record;
  record.Byte(kUByte);
  record.Byte(rop3);
  record.Attribute(kROP3);
  record.Byte(kSetROP);
  return record.WriteTo(out);
}

size_t WriteSetPenSource(std::FILE* out, int32_t attributeId, int32_t value) {
  Record<5> record;
  record.Byte(kUByte);
  record.Byte(value);
  record.Attribute(static_cast<uint8_t>(attributeId));
  record.Byte(kSetPenSource);
  return record.WriteTo(out);
}

size_t WritePaintRectangle(std::FILE* out, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  Record<14> record;
  record.Byte(kNewPath);
  record.Box(x1, y1, x2, y2);
  record.Attribute(kBoundingBox);
  record.Byte(kRectanglePath);
  record.Byte(kPaintPath);
  return record.WriteTo(out);
}

size_t WriteClipRectangle(std::FILE* out, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  Record<16> record;
  record.Byte(kUByte);
  record.Byte(0);  // clip region 0: keep the interior of the box
  record.Attribute(kClipRegion);
  record.Box(x1, y1, x2, y2);
  record.Attribute(kBoundingBox);
  record.Byte(kSetClipRectangle);
  return record.WriteTo(out);
}

}  // namespace tavrfndl
