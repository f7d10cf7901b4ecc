// The fixed page records written straight to the output file, outside the stream writer: each
// is assembled whole and handed to the file in one write, so that it is never split between the
// stream writer's hand-offs. Numbers are truncated to their low 16 (or 8) bits on the wire.
#pragma once

#include <cstdint>
#include <cstdio>

namespace tavrfndl {

// The most code units one Text record carries (it must fit the 5000-byte work buffer).
inline constexpr int32_t kMaxTextRecordUnits = 1246;

// Each returns the item count of the write: 1 when the record was written, 0 when not.
size_t WriteSetCursor(std::FILE* out, int32_t x, int32_t y);
size_t WriteText(std::FILE* out, const uint16_t* pwText, int32_t n, const int32_t* pnWidths);
size_t WriteSetROP(std::FILE* out, int32_t rop3);
size_t WriteSetPenSource(std::FILE* out, int32_t attributeId, int32_t value);
size_t WritePaintRectangle(std::FILE* out, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
size_t WriteClipRectangle(std::FILE* out, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

}  // namespace tavrfndl
