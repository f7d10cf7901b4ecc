// The fixed page records, written outside the stream writer: each is assembled whole in a work
// buffer and handed to the call's output in one write, so that it is never split between the
// stream writer's hand-offs. Numbers are truncated to their low 16 (or 8) bits on the wire.
#pragma once

#include <cstdint>

#include "pclxl/format.h"
#include "pclxl/joboutput.h"

namespace tavrfndl {

// The most code units one Text record carries (it must fit the 5000-byte work buffer).
inline constexpr int32_t kMaxTextRecordUnits = 1246;

// Each returns the item count of the write: 1 when the record was written, 0 when not.
size_t WriteSetCursor(pclxl::JobOutput& out, int32_t x, int32_t y);
size_t WriteText(pclxl::JobOutput& out, const uint16_t* pwText, int32_t n, const int32_t* pnWidths);
size_t WriteSetROP(pclxl::JobOutput& out, int32_t rop3);
size_t WriteSetPenSource(pclxl::JobOutput& out, pclxl::Attribute source, int32_t value);
size_t WritePaintRectangle(pclxl::JobOutput& out, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
size_t WriteClipRectangle(pclxl::JobOutput& out, int32_t x1, int32_t y1, int32_t x2, int32_t y2);

}  // namespace tavrfndl
