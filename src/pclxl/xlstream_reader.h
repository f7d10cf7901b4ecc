// The reader of PCL XL streams in the binary bindings: the tool's listing and preview, the tests
// and the fuzz targets read what the library and the tool write with it. It is not part of the
// shared library.
//
// What a successful read guarantees: every value, array and embedded block an operator carries
// lies wholly inside the input (array elements and data are read in place, so the input must
// outlive the operators); every attribute has a value; every value before an operator has its
// attribute id. Nothing is checked about which attributes an operator wants: that is the
// business of whoever interprets the operator.
//
// The reader never reads past the input, never recurses and holds at most one operator's
// attribute list, so any byte sequence ends in kEnd or kError after at most one step per byte.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "pclxl/format.h"

namespace tavrfndl::pclxl {

enum class XlShape { kScalar, kArray, kXY, kBox };

// One typed value as the stream carries it.
struct XlValue {
  DataType type = DataType::ubyte;
  XlShape shape = XlShape::kScalar;
  // Scalars use [0], xy pairs [0] and [1], boxes all four. Every integer type fits a double.
  double number[4] = {};
  // Arrays: the elements stay in the input, in the stream's byte order.
  const uint8_t* elements = nullptr;
  uint32_t count = 0;
  bool bigEndian = false;

  bool IsReal() const;
  // Bytes per element or per coordinate: 1, 2 or 4.
  unsigned ElementSize() const;
  // Array element i (i < count); 0 for anything else.
  double Element(size_t i) const;
};

struct XlAttribute {
  uint16_t id = 0;  // an attr_uint16 id may lie outside the Attribute enumeration
  XlValue value;
  size_t offset = 0;  // where the value's data type tag is
};

struct XlOperator {
  Operator tag = Operator::BeginSession;  // any byte of the operator range, named or not
  size_t start = 0;   // where its first attribute begins (the operator byte when it has none)
  size_t offset = 0;  // where the operator byte is
  std::vector<XlAttribute> attributes;
  // Embedded data that follows the operator (dataLength or dataLengthByte), read in place.
  bool hasData = false;
  size_t dataOffset = 0;  // of the first data byte
  const uint8_t* data = nullptr;
  uint32_t dataLength = 0;

  // The last attribute with this id (a repeated attribute overrides the earlier one), or null.
  const XlAttribute* Find(Attribute id) const;
  // The same by number, for ids outside the Attribute enumeration (attr_uint16).
  const XlAttribute* Find(uint16_t id) const;
};

// Something in front of the binary stream: a universal exit or a PJL line.
struct XlPrologueItem {
  enum class Kind { kExit, kPjl };  // a universal exit or a PJL line
  Kind kind = Kind::kPjl;
  size_t offset = 0;
  std::string text;  // the PJL line without its line end
};

// The ASCII line that opens a PCL XL stream, e.g. ") HP-PCL XL;2;0;Comment".
struct XlStreamHeader {
  size_t offset = 0;
  char binding = 0;  // ')' binary low byte first, '(' binary high byte first, '\'' ASCII
  std::string line;  // without the line feed
  std::string protocolName, protocolClass, revision, comment;
};

class XlStreamReader {
 public:
  // The whole job: UEL and PJL lines, the stream header, then the binary stream.
  XlStreamReader(const uint8_t* data, size_t size);
  // A piece of a binary stream without the prologue (what one library call appends).
  static XlStreamReader Fragment(const uint8_t* data, size_t size, bool bigEndian = false);

  enum class Result { kOperator, kEnd, kError };

  // Reads everything up to the first byte of the binary stream. Next() calls it when needed;
  // a listing calls it first to show the prologue. False on error.
  bool ReadPrologue();
  // The next operator with its attributes and its embedded data.
  Result Next(XlOperator& op);

  const std::vector<XlPrologueItem>& prologue() const { return prologue_; }
  const XlStreamHeader& header() const { return header_; }
  bool bigEndian() const { return bigEndian_; }

  // After kEnd: whether a universal exit ended the stream, and where the stream ended.
  bool endedWithUniversalExit() const { return endedWithUel_; }
  size_t endOffset() const { return endOffset_; }
  // After kError: what broke and at which offset.
  const std::string& error() const { return error_; }
  size_t errorOffset() const { return errorOffset_; }
  // Where the reader stands (the first byte not yet consumed).
  size_t position() const { return pos_; }

  // Longest stream header or PJL line accepted, and most attributes before one operator. Both
  // are far above anything a printer takes and keep hostile input from growing the reader.
  static constexpr size_t kMaxLine = 4096;
  static constexpr size_t kMaxAttributes = 256;

 private:
  enum class State { kStart, kBody, kEnd, kError };

  bool Fail(size_t offset, std::string message);
  Result Error(size_t offset, std::string message);
  Result End(const XlOperator& op, bool universalExit);
  bool ReadAttributePart(XlOperator& op, uint8_t b);
  bool ReadPendingValue(XlOperator& op);
  bool ReadAttributeId(XlOperator& op);
  Result ReadOperator(XlOperator& op);
  bool Has(size_t count) const { return count <= size_ - pos_; }
  bool AtUniversalExit(size_t at) const;
  bool ReadLine(size_t maxLength, std::string& line);
  bool ReadStreamHeader();
  bool ReadValue(XlValue& value);
  bool ReadArrayValue(XlValue& value, size_t at);
  bool ReadArrayLength(uint32_t& count);
  bool ReadEmbeddedData(XlOperator& op);
  uint32_t ReadUnsigned(unsigned size);
  double ReadNumber(uint8_t type);

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  State state_ = State::kStart;
  bool bigEndian_ = false;
  std::vector<XlPrologueItem> prologue_;
  XlStreamHeader header_;
  bool endedWithUel_ = false;
  size_t endOffset_ = 0;
  std::string error_;
  size_t errorOffset_ = 0;
  // The value read since the last attribute id, waiting for its id.
  bool haveValue_ = false;
  XlAttribute pending_;
};

// "offset 0x0000001a": a position in a stream as every message about one gives it.
std::string FormatOffset(size_t offset);

}  // namespace tavrfndl::pclxl
