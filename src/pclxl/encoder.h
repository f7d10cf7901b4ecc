// The one PCL XL encoder (binary binding, low byte first): typed values, arrays, attribute ids,
// operators and embedded data lengths, placed into a byte sink. The stream writer's buffer, the
// page records' fixed work buffer and the tool's growing job framing are all sinks of it, so every
// byte the library and its tool write takes its numbers from format.h through this one piece.
//
// A sink receives the bytes as pieces and blocks:
//   void Piece(const uint8_t* bytes, size_t n);  // one tag byte, or one whole value (n <= 4)
//   void Block(const uint8_t* bytes, size_t n);  // a run of bytes (ubyte array, data, job text)
//   bool Admits(const uint8_t* bytes, size_t n); // false drops the array or data about to start
//   void Operator(uint8_t tag);                   // places an operator tag (a piece)
// A value never spans two Piece calls, so a sink that hands its bytes on when full never splits
// one; the piece boundaries are those of the stream writer, whose hand-offs fall on them.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#include "pclxl/format.h"

namespace tavrfndl::pclxl {

// The enumerations of format.h that go out as a ubyte value (not the tag and id sets).
template <typename E>
concept Enumeration = std::is_enum_v<E> && !std::is_same_v<E, Operator> &&
                      !std::is_same_v<E, Attribute> && !std::is_same_v<E, DataType>;

template <typename Sink>
class Encoder {
 public:
  explicit Encoder(Sink& sink) : sink_(sink) {}

  Encoder& UByte(uint8_t value) { return Tag(DataType::ubyte).Byte(value); }
  template <Enumeration E>
  Encoder& UByte(E value) {
    return UByte(static_cast<uint8_t>(value));
  }
  Encoder& UInt16(uint16_t value) { return Tag(DataType::uint16).Word(value); }
  Encoder& SInt16(int16_t value) {
    return Tag(DataType::sint16).Word(static_cast<uint16_t>(value));
  }
  Encoder& UInt32(uint32_t value) { return Tag(DataType::uint32).Long(value); }
  Encoder& Real32(float value) {
    return Tag(DataType::real32).Long(std::bit_cast<uint32_t>(value));
  }
  Encoder& UInt16XY(uint16_t x, uint16_t y) { return Tag(DataType::uint16_xy).Word(x).Word(y); }
  Encoder& SInt16XY(int16_t x, int16_t y) {
    return Tag(DataType::sint16_xy).Word(static_cast<uint16_t>(x)).Word(static_cast<uint16_t>(y));
  }
  Encoder& Real32XY(float x, float y) {
    return Tag(DataType::real32_xy)
        .Long(std::bit_cast<uint32_t>(x))
        .Long(std::bit_cast<uint32_t>(y));
  }
  Encoder& SInt16Box(int16_t x1, int16_t y1, int16_t x2, int16_t y2) {
    Tag(DataType::sint16_box);
    for (int16_t v : {x1, y1, x2, y2}) Word(static_cast<uint16_t>(v));
    return *this;
  }
  // The array's bytes must be there for its whole count: a sink refuses a missing block before
  // anything of the array is placed.
  Encoder& UByteArray(const uint8_t* data, uint16_t count) {
    if (!sink_.Admits(data, count)) return *this;
    ArrayHeader(DataType::ubyte_array, count);
    sink_.Block(data, count);
    return *this;
  }
  // element(i) gives the i-th of count values.
  template <typename Element>
  Encoder& UInt16Array(uint16_t count, Element element) {
    ArrayHeader(DataType::uint16_array, count);
    for (uint16_t i = 0; i < count; ++i) Word(element(i));
    return *this;
  }
  Encoder& Attr(Attribute id) { return Tag(DataType::attr_ubyte).Byte(static_cast<uint8_t>(id)); }
  Encoder& Op(Operator op) {
    sink_.Operator(static_cast<uint8_t>(op));
    return *this;
  }
  Encoder& DataLength(uint32_t count) { return Tag(DataType::dataLength).Long(count); }
  // The length, then the data that follows an operator.
  Encoder& EmbeddedData(const uint8_t* data, uint32_t count) {
    if (!sink_.Admits(data, count)) return *this;
    DataLength(count);
    sink_.Block(data, count);
    return *this;
  }
  // Bytes outside the binding: the universal exit, PJL and the stream header line.
  Encoder& Raw(const char* text, size_t length) {
    sink_.Block(reinterpret_cast<const uint8_t*>(text), length);
    return *this;
  }

 private:
  Encoder& Byte(uint8_t value) {
    sink_.Piece(&value, 1);
    return *this;
  }
  Encoder& Tag(DataType type) { return Byte(static_cast<uint8_t>(type)); }
  Encoder& Word(uint16_t value) {
    const uint8_t bytes[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    sink_.Piece(bytes, 2);
    return *this;
  }
  Encoder& Long(uint32_t value) {
    const uint8_t bytes[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                              static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    sink_.Piece(bytes, 4);
    return *this;
  }
  // An array's type, then its length as a uint16 value.
  void ArrayHeader(DataType type, uint16_t count) { Tag(type).Tag(DataType::uint16).Word(count); }

  Sink& sink_;
};

// A fixed work buffer of N bytes, for a record that must reach its file whole. An item that
// would outgrow it, or an array without its bytes, spoils the record rather than cutting it.
template <size_t N>
class FixedSink {
 public:
  void Piece(const uint8_t* bytes, size_t n) { Block(bytes, n); }
  void Block(const uint8_t* bytes, size_t n) {
    if (n > N - length_) {
      spoilt_ = true;
      return;
    }
    if (n > 0) std::memcpy(buffer_ + length_, bytes, n);
    length_ += n;
  }
  bool Admits(const uint8_t* bytes, size_t n) {
    if (bytes == nullptr && n > 0) spoilt_ = true;
    return !spoilt_;
  }
  void Operator(uint8_t tag) { Block(&tag, 1); }

  const uint8_t* data() const { return buffer_; }
  size_t size() const { return length_; }
  bool spoilt() const { return spoilt_; }

 private:
  uint8_t buffer_[N] = {};
  size_t length_ = 0;
  bool spoilt_ = false;
};

// A growing byte vector, for output assembled before it is written (the tool's job framing).
class VectorSink {
 public:
  explicit VectorSink(std::vector<uint8_t>& bytes) : bytes_(bytes) {}
  void Piece(const uint8_t* bytes, size_t n) { Block(bytes, n); }
  // Element by element: GCC 12 takes a ranged insert of a few bytes for an overflow.
  void Block(const uint8_t* bytes, size_t n) {
    for (size_t i = 0; i < n; ++i) bytes_.push_back(bytes[i]);
  }
  bool Admits(const uint8_t* bytes, size_t n) const { return bytes != nullptr || n == 0; }
  void Operator(uint8_t tag) { Block(&tag, 1); }

 private:
  std::vector<uint8_t>& bytes_;
};

}  // namespace tavrfndl::pclxl
