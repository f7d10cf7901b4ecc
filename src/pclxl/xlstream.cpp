#include "pclxl/xlstream.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>

namespace tavrfndl {
namespace {

struct TagRange {
  uint8_t first;
  uint8_t last;
};

// Each entry is 0 (refused) or its own index, so the entry doubles as the byte to place and the
// tables can be checked against a printer's list by eye.
template <size_t N>
constexpr std::array<uint8_t, 256> BuildAcceptanceTable(const TagRange (&ranges)[N]) {
  std::array<uint8_t, 256> table{};
  for (const TagRange& range : ranges) {
    for (unsigned tag = range.first; tag <= range.last; ++tag) {
      table[tag] = static_cast<uint8_t>(tag);
    }
  }
  return table;
}

constexpr TagRange kOperatorRanges[] = {
    {0x41, 0x44}, {0x46, 0x4C}, {0x4F, 0x56}, {0x5B, 0x82}, {0x84, 0x86},
    {0x91, 0x91}, {0x93, 0x93}, {0x95, 0x99}, {0x9B, 0x9B}, {0x9D, 0xA3},
    {0xA8, 0xAA}, {0xB0, 0xB6}, {0xB8, 0xB9}, {0xBF, 0xBF},
};

constexpr TagRange kAttributeRanges[] = {
    {0x01, 0x1C}, {0x21, 0x2D}, {0x2F, 0x36}, {0x41, 0x54}, {0x61, 0x69}, {0x6B, 0x73},
    {0x81, 0x82}, {0x86, 0x86}, {0x88, 0x8C}, {0x8F, 0x8F}, {0x91, 0xAD}, {0xAF, 0xB1},
};

constexpr std::array<uint8_t, 256> kOperatorTable = BuildAcceptanceTable(kOperatorRanges);
constexpr std::array<uint8_t, 256> kAttributeTable = BuildAcceptanceTable(kAttributeRanges);

constexpr size_t CountAccepted(const std::array<uint8_t, 256>& table) {
  size_t count = 0;
  for (uint8_t entry : table) count += entry != 0 ? 1 : 0;
  return count;
}
static_assert(CountAccepted(kOperatorTable) == 90, "operator ranges overlap or are mistyped");
static_assert(CountAccepted(kAttributeTable) == 128, "attribute ranges overlap or are mistyped");

bool IsSilent(const XlStream* pStream) {
  return pStream == nullptr || pStream->nError != 0;
}

void HandOff(XlStream* pStream) {
  pStream->pfnFlush(pStream, pStream->dwFlushContext, pStream->pbyBuffer,
                    static_cast<uint32_t>(pStream->nBufferUsed));
}

// The room test is made per piece, not per byte, so that a value never straddles two hand-offs:
// a callback looking at one hand-off always sees whole values.
void PlacePiece(XlStream* pStream, const uint8_t* pbyPiece, int32_t k) {
  if (IsSilent(pStream)) return;
  if (pStream->nBufferSize - pStream->nBufferUsed < k) {
    HandOff(pStream);
    pStream->nBufferUsed = 0;
  }
  if (pStream->nError != 0) return;
  for (int32_t i = 0; i < k; ++i) pStream->pbyBuffer[pStream->nBufferUsed + i] = pbyPiece[i];
  pStream->nBufferUsed += k;
  pStream->dwBytesWritten += static_cast<uint32_t>(k);
}

void PlaceBlock(XlStream* pStream, const uint8_t* pbyData, uint32_t count) {
  // A block is a run of one-byte pieces, so it streams through a buffer of any size: the buffer
  // is filled to the last byte and handed off when the next byte finds no room. The run is
  // copied a full buffer at a time, with the hand-offs where byte-by-byte placing puts them:
  // glyph and table data are most of what the writer carries.
  uint32_t placed = 0;
  while (placed < count && !IsSilent(pStream)) {
    if (pStream->nBufferUsed >= pStream->nBufferSize) {
      HandOff(pStream);
      pStream->nBufferUsed = 0;
      if (pStream->nError != 0) return;
    }
    const uint32_t room = static_cast<uint32_t>(pStream->nBufferSize - pStream->nBufferUsed);
    const uint32_t n = std::min(room, count - placed);
    std::memcpy(pStream->pbyBuffer + pStream->nBufferUsed, pbyData + placed, n);
    pStream->nBufferUsed += static_cast<int32_t>(n);
    pStream->dwBytesWritten += n;
    placed += n;
  }
}

void EnterErrorState(XlStream* pStream, int16_t code) {
  ++pStream->nErrorCount;
  pStream->nError = code;
}

// Data announced by a length that has already gone out cannot be left out without the printer
// reading the following operators as that data, so a missing block silences the writer instead.
bool RefuseMissingData(XlStream* pStream, const uint8_t* pbyData, size_t count) {
  if (pbyData != nullptr || count == 0) return false;
  EnterErrorState(pStream, kXlErrorNoData);
  return true;
}

}  // namespace

XlStream* XlStreamCreate(int32_t nBufferSize, XlStreamFlushProc pfnFlush, uint32_t dwFlushContext) {
  if (pfnFlush == nullptr || nBufferSize < kXlMinBufferSize) return nullptr;
  XlStream* pStream = new (std::nothrow) XlStream{};
  if (pStream == nullptr) return nullptr;
  pStream->pbyBuffer = new (std::nothrow) uint8_t[static_cast<size_t>(nBufferSize)];
  if (pStream->pbyBuffer == nullptr) {
    delete pStream;
    return nullptr;
  }
  pStream->nBufferSize = nBufferSize;
  pStream->pfnFlush = pfnFlush;
  pStream->dwFlushContext = dwFlushContext;
  return pStream;
}

uint32_t XlStreamClose(XlStream* pStream) {
  if (pStream == nullptr) return 0;
  // The closing hand-off happens even in the error state: the bytes placed before the first
  // error are still owed to the client.
  HandOff(pStream);
  const uint32_t dwBytesWritten = pStream->dwBytesWritten;
  delete[] pStream->pbyBuffer;
  delete pStream;
  return dwBytesWritten;
}

void XlStreamOperator(XlStream* pStream, uint16_t tag) {
  if (IsSilent(pStream)) return;
  if (tag >= kOperatorTable.size() || kOperatorTable[tag] == 0) {
    EnterErrorState(pStream, kXlErrorOperator);
    return;
  }
  pclxl::StreamEncoder(pStream).Op(static_cast<pclxl::Operator>(kOperatorTable[tag]));
}

void XlStreamAttribute(XlStream* pStream, uint16_t id) {
  if (IsSilent(pStream)) return;
  if (id >= kAttributeTable.size() || kAttributeTable[id] == 0) {
    EnterErrorState(pStream, kXlErrorAttribute);
    return;
  }
  pclxl::StreamEncoder(pStream).Attr(static_cast<pclxl::Attribute>(kAttributeTable[id]));
}

void XlStreamUByte(XlStream* pStream, uint8_t value) {
  pclxl::StreamEncoder(pStream).UByte(value);
}

void XlStreamUInt16(XlStream* pStream, uint16_t value) {
  pclxl::StreamEncoder(pStream).UInt16(value);
}

void XlStreamSInt16(XlStream* pStream, int16_t value) {
  pclxl::StreamEncoder(pStream).SInt16(value);
}

void XlStreamUInt32(XlStream* pStream, uint32_t value) {
  pclxl::StreamEncoder(pStream).UInt32(value);
}

void XlStreamReal32(XlStream* pStream, float value) {
  pclxl::StreamEncoder(pStream).Real32(value);
}

void XlStreamReal32XY(XlStream* pStream, float x, float y) {
  pclxl::StreamEncoder(pStream).Real32XY(x, y);
}

void XlStreamUByteArray(XlStream* pStream, const uint8_t* pbyData, uint16_t count) {
  pclxl::StreamEncoder(pStream).UByteArray(pbyData, count);
}

void XlStreamDataLength(XlStream* pStream, uint32_t count) {
  pclxl::StreamEncoder(pStream).DataLength(count);
}

void XlStreamEmbeddedData(XlStream* pStream, const uint8_t* pbyData, uint32_t count) {
  pclxl::StreamEncoder(pStream).EmbeddedData(pbyData, count);
}

namespace pclxl {

void StreamSink::Piece(const uint8_t* bytes, size_t n) {
  PlacePiece(stream_, bytes, static_cast<int32_t>(n));
}

void StreamSink::Block(const uint8_t* bytes, size_t n) {
  PlaceBlock(stream_, bytes, static_cast<uint32_t>(n));
}

bool StreamSink::Admits(const uint8_t* bytes, size_t n) {
  return !IsSilent(stream_) && !RefuseMissingData(stream_, bytes, n);
}

void StreamSink::Operator(uint8_t tag) {
  if (IsSilent(stream_)) return;
  PlacePiece(stream_, &tag, 1);
  // Handing off after every operator leaves no bytes buffered between operators: what the
  // client writes to the same file between operators lands behind everything it gave the writer.
  HandOff(stream_);
}

void HandOffPending(XlStream* stream) {
  if (IsSilent(stream) || stream->nBufferUsed == 0) return;
  HandOff(stream);
  stream->nBufferUsed = 0;
}

}  // namespace pclxl
}  // namespace tavrfndl
