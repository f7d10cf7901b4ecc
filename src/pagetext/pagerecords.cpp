#include "pagetext/pagerecords.h"

#include "pclxl/encoder.h"

namespace tavrfndl {
namespace {

using pclxl::Attribute;
using pclxl::Operator;

constexpr size_t kWorkBufferSize = 5000;
constexpr size_t kTextRecordFixedBytes = 13;
static_assert(kTextRecordFixedBytes + 4 * kMaxTextRecordUnits <= kWorkBufferSize);

// Coordinates and widths go out as their low 16 bits: a value past the 16-bit range wraps
// rather than clamps, as the printer would read the same two bytes either way.
int16_t Low16(int32_t value) {
  return static_cast<int16_t>(value);
}

// Assembles one record front to back in a work buffer of N bytes and writes it whole; a record
// that would outgrow the buffer is never written, rather than written cut short.
template <size_t N, typename Build>
size_t WriteRecord(pclxl::JobOutput& out, Build build) {
  pclxl::FixedSink<N> buffer;
  pclxl::Encoder<pclxl::FixedSink<N>> encoder(buffer);
  build(encoder);
  if (buffer.spoilt()) return 0;
  return out.WriteRecord(buffer.data(), buffer.size());
}

}  // namespace

size_t WriteSetCursor(pclxl::JobOutput& out, int32_t x, int32_t y) {
  return WriteRecord<8>(out, [&](auto& record) {
    record.SInt16XY(Low16(x), Low16(y)).Attr(Attribute::Point).Op(Operator::SetCursor);
  });
}

size_t WriteText(pclxl::JobOutput& out, const uint16_t* pwText, int32_t n,
                 const int32_t* pnWidths) {
  if (n < 0 || n > kMaxTextRecordUnits) return 0;
  if (n > 0 && (pwText == nullptr || pnWidths == nullptr)) return 0;
  const auto count = static_cast<uint16_t>(n);
  return WriteRecord<kWorkBufferSize>(out, [&](auto& record) {
    record.UInt16Array(count, [&](uint16_t i) { return pwText[i]; })
        .Attr(Attribute::TextData)
        .UInt16Array(count, [&](uint16_t i) { return static_cast<uint16_t>(pnWidths[i]); })
        .Attr(Attribute::XSpacingData)
        .Op(Operator::Text);
  });
}

size_t WriteSetROP(pclxl::JobOutput& out, int32_t rop3) {
  return WriteRecord<5>(out, [&](auto& record) {
    record.UByte(static_cast<uint8_t>(rop3)).Attr(Attribute::ROP3).Op(Operator::SetROP);
  });
}

size_t WriteSetPenSource(pclxl::JobOutput& out, Attribute source, int32_t value) {
  return WriteRecord<5>(out, [&](auto& record) {
    record.UByte(static_cast<uint8_t>(value)).Attr(source).Op(Operator::SetPenSource);
  });
}

size_t WritePaintRectangle(pclxl::JobOutput& out, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  return WriteRecord<14>(out, [&](auto& record) {
    record.Op(Operator::NewPath)
        .SInt16Box(Low16(x1), Low16(y1), Low16(x2), Low16(y2))
        .Attr(Attribute::BoundingBox)
        .Op(Operator::RectanglePath)
        .Op(Operator::PaintPath);
  });
}

size_t WriteClipRectangle(pclxl::JobOutput& out, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  return WriteRecord<16>(out, [&](auto& record) {
    record.UByte(pclxl::ClipRegion::eInterior)
        .Attr(Attribute::ClipRegion)
        .SInt16Box(Low16(x1), Low16(y1), Low16(x2), Low16(y2))
        .Attr(Attribute::BoundingBox)
        .Op(Operator::SetClipRectangle);
  });
}

}  // namespace tavrfndl
