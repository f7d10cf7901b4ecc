// The PCL XL stream writer: a small buffered encoder for the binary, little-endian binding.
//
// It places operator tags, attribute ids (attr_ubyte form) and typed values, checks every tag and
// id against two fixed acceptance tables, and enters a sticky error state at the first refused
// one, after which it places nothing. Its buffer goes to a flush callback chosen by the client
// whenever a piece does not fit, after every operator, and at close. It writes no framing of its
// own: its output continues a stream the print job has already opened.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "pclxl/encoder.h"

namespace tavrfndl {

struct XlStream;

// Must consume all nBytes bytes in order before it returns and leave nBufferUsed at 0.
using XlStreamFlushProc = void (*)(XlStream* pStream, uint32_t dwFlushContext,
                                   const uint8_t* pbyBuffer, uint32_t nBytes);

struct XlStream {
  uint8_t* pbyBuffer;
  int32_t nBufferSize;
  int32_t nBufferUsed;
  uint32_t dwBytesWritten;
  int16_t nError;
  int16_t nErrorCount;
  XlStreamFlushProc pfnFlush;
  uint32_t dwFlushContext;
  void* pClientData;  // the client's; the writer never reads or writes it
};

inline constexpr int16_t kXlErrorOperator = -2;
inline constexpr int16_t kXlErrorAttribute = -3;
inline constexpr int16_t kXlErrorNoMemory = -4;
inline constexpr int16_t kXlErrorBufferSize = -5;
// A block (array or embedded data) with a count but no bytes.
inline constexpr int16_t kXlErrorNoData = -6;
inline constexpr int16_t kXlErrorNoFlush = -8;

// Smallest buffer that holds every piece (a 4-byte value) when empty.
inline constexpr int32_t kXlMinBufferSize = 4;

// A new writer, or null: no callback, a size below kXlMinBufferSize, or no memory.
XlStream* XlStreamCreate(int32_t nBufferSize, XlStreamFlushProc pfnFlush, uint32_t dwFlushContext);
// Hands off what is buffered (even nothing, even in the error state), releases the writer and
// returns the count of all bytes ever placed.
uint32_t XlStreamClose(XlStream* pStream);

void XlStreamOperator(XlStream* pStream, uint16_t tag);
void XlStreamAttribute(XlStream* pStream, uint16_t id);
void XlStreamUByte(XlStream* pStream, uint8_t value);
void XlStreamUInt16(XlStream* pStream, uint16_t value);
void XlStreamSInt16(XlStream* pStream, int16_t value);
void XlStreamUInt32(XlStream* pStream, uint32_t value);
void XlStreamReal32(XlStream* pStream, float value);
void XlStreamReal32XY(XlStream* pStream, float x, float y);
// A null pbyData with a count above 0 places nothing and enters the error state (-6).
void XlStreamUByteArray(XlStream* pStream, const uint8_t* pbyData, uint16_t count);
void XlStreamDataLength(XlStream* pStream, uint32_t count);
void XlStreamEmbeddedData(XlStream* pStream, const uint8_t* pbyData, uint32_t count);

// Closes the writer when the owner lets go of it.
struct XlStreamCloser {
  void operator()(XlStream* pStream) const { XlStreamClose(pStream); }
};
using XlStreamPtr = std::unique_ptr<XlStream, XlStreamCloser>;

namespace pclxl {

// The stream writer as a sink of the encoder: its room test, hand-offs and sticky error state,
// exactly as the functions above place their pieces. Null or in the error state: places nothing.
class StreamSink {
 public:
  explicit StreamSink(XlStream* stream) : stream_(stream) {}
  void Piece(const uint8_t* bytes, size_t n);
  void Block(const uint8_t* bytes, size_t n);
  // False when silent, and for a block with a count but no bytes, which enters the error state.
  bool Admits(const uint8_t* bytes, size_t n);
  // Places the tag and hands the buffer off (unless silent).
  void Operator(uint8_t tag);

 private:
  XlStream* stream_;
};

// The encoder over one writer, for the typed sequences.
class StreamEncoder : private StreamSink, public Encoder<StreamSink> {
 public:
  explicit StreamEncoder(XlStream* stream)
      : StreamSink(stream), Encoder<StreamSink>(static_cast<StreamSink&>(*this)) {}
};

// Hands off what a healthy writer has placed since its last hand-off, if anything. A writer in
// the error state keeps its bytes for the closing hand-off, as ever.
void HandOffPending(XlStream* stream);

}  // namespace pclxl
}  // namespace tavrfndl
