#include "pclxl/xlstream_reader.h"

#include <cstdio>
#include <cstring>
#include <utility>

namespace tavrfndl::pclxl {
namespace {

// The binding gives every byte from 0x41 to 0xBF to operators, named or reserved.
constexpr uint8_t kFirstOperatorTag = 0x41;
constexpr uint8_t kLastOperatorTag = 0xBF;

constexpr uint8_t Tag(DataType type) {
  return static_cast<uint8_t>(type);
}

bool IsWhiteSpace(uint8_t b) {
  return b == 0x00 || (b >= 0x09 && b <= 0x0D) || b == 0x20;
}

bool IsOperatorTag(uint8_t b) {
  return b >= kFirstOperatorTag && b <= kLastOperatorTag;
}

// The data types come in four families (scalars, arrays, xy pairs, boxes), each of the same six
// element types in the same order as the scalars: ubyte uint16 uint32 sint16 sint32 real32.
constexpr DataType kFamilies[] = {DataType::ubyte, DataType::ubyte_array, DataType::ubyte_xy,
                                  DataType::ubyte_box};
constexpr XlShape kFamilyShapes[] = {XlShape::kScalar, XlShape::kArray, XlShape::kXY,
                                     XlShape::kBox};
constexpr int kElementTypes = 6;
constexpr int kReal32 = 5;

// The element type of a data type tag (0 ubyte ... 5 real32), or -1 for a byte that is no data
// type tag.
int BaseType(uint8_t tag) {
  if (DataTypeName(tag) == nullptr) return -1;
  for (DataType first : kFamilies) {
    int index = tag - Tag(first);
    if (index >= 0 && index < kElementTypes) return index;
  }
  return -1;
}

XlShape ShapeOf(uint8_t tag) {
  for (size_t i = 0; i < 4; ++i) {
    int index = tag - Tag(kFamilies[i]);
    if (index >= 0 && index < kElementTypes) return kFamilyShapes[i];
  }
  return XlShape::kScalar;
}

unsigned BaseSize(int base) {
  static constexpr unsigned kSizes[kElementTypes] = {1, 2, 4, 2, 4, 4};
  return base >= 0 && base < kElementTypes ? kSizes[base] : 0;
}

uint32_t Unpack(const uint8_t* p, unsigned size, bool bigEndian) {
  uint32_t v = 0;
  for (unsigned i = 0; i < size; ++i) {
    unsigned shift = bigEndian ? 8 * (size - 1 - i) : 8 * i;
    v |= static_cast<uint32_t>(p[i]) << shift;
  }
  return v;
}

double Convert(uint32_t bits, int base) {
  switch (base) {
    case 3:
      return static_cast<int16_t>(static_cast<uint16_t>(bits));
    case 4:
      return static_cast<int32_t>(bits);
    case kReal32: {
      float f;
      std::memcpy(&f, &bits, sizeof(f));
      return f;
    }
    default:
      return bits;
  }
}

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%0*X", digits, value);
  return text;
}

}  // namespace

std::string FormatOffset(size_t offset) {
  char text[40];
  std::snprintf(text, sizeof(text), "offset 0x%08zx", offset);
  return text;
}

bool XlValue::IsReal() const {
  return BaseType(Tag(type)) == kReal32;
}

unsigned XlValue::ElementSize() const {
  return BaseSize(BaseType(Tag(type)));
}

double XlValue::Element(size_t i) const {
  if (shape != XlShape::kArray || i >= count || elements == nullptr) return 0;
  unsigned size = ElementSize();
  return Convert(Unpack(elements + i * size, size, bigEndian), BaseType(Tag(type)));
}

const XlAttribute* XlOperator::Find(Attribute id) const {
  return Find(static_cast<uint16_t>(id));
}

const XlAttribute* XlOperator::Find(uint16_t id) const {
  for (auto it = attributes.rbegin(); it != attributes.rend(); ++it) {
    if (it->id == id) return &*it;
  }
  return nullptr;
}

XlStreamReader::XlStreamReader(const uint8_t* data, size_t size)
    : data_(size ? data : nullptr), size_(data ? size : 0) {}

XlStreamReader XlStreamReader::Fragment(const uint8_t* data, size_t size, bool bigEndian) {
  XlStreamReader reader(data, size);
  reader.state_ = State::kBody;
  reader.bigEndian_ = bigEndian;
  return reader;
}

bool XlStreamReader::Fail(size_t offset, std::string message) {
  state_ = State::kError;
  errorOffset_ = offset;
  error_ = std::move(message);
  return false;
}

bool XlStreamReader::AtUniversalExit(size_t at) const {
  return at <= size_ && kUniversalExitLength <= size_ - at &&
         std::memcmp(data_ + at, kUniversalExit, kUniversalExitLength) == 0;
}

// A line up to its line feed; the carriage return of a CR LF pair is not part of it.
bool XlStreamReader::ReadLine(size_t maxLength, std::string& line) {
  size_t start = pos_;
  size_t end = start;
  while (end < size_ && data_[end] != '\n') {
    if (end - start >= maxLength) {
      return Fail(start, "line longer than " + std::to_string(maxLength) + " bytes");
    }
    ++end;
  }
  if (end == size_) return Fail(start, "the input ends inside a line (no line feed)");
  size_t textEnd = end;
  if (textEnd > start && data_[textEnd - 1] == '\r') --textEnd;
  line.assign(reinterpret_cast<const char*>(data_ + start), textEnd - start);
  pos_ = end + 1;
  return true;
}

bool XlStreamReader::ReadStreamHeader() {
  header_.offset = pos_;
  header_.binding = static_cast<char>(data_[pos_]);
  if (!ReadLine(kMaxLine, header_.line)) return false;
  if (header_.line.size() < 2 || header_.line[1] != ' ') {
    return Fail(header_.offset, "the stream header line lacks the space after the binding");
  }
  // Fields are name;class;revision;comment; the comment may itself contain semicolons.
  std::string fields[4];
  size_t field = 0;
  for (size_t i = 2; i < header_.line.size(); ++i) {
    char c = header_.line[i];
    if (c == ';' && field < 3) {
      ++field;
    } else {
      fields[field] += c;
    }
  }
  header_.protocolName = fields[0];
  header_.protocolClass = fields[1];
  header_.revision = fields[2];
  header_.comment = fields[3];
  if (header_.binding == '\'') {
    return Fail(header_.offset, "the ASCII binding is not supported, only the binary ones");
  }
  bigEndian_ = header_.binding == '(';
  return true;
}

bool XlStreamReader::ReadPrologue() {
  if (state_ == State::kError) return false;
  if (state_ != State::kStart) return true;
  if (size_ == 0) return Fail(0, "the input is empty");
  while (pos_ < size_) {
    uint8_t b = data_[pos_];
    if (AtUniversalExit(pos_)) {
      prologue_.push_back({XlPrologueItem::Kind::kExit, pos_, {}});
      pos_ += kUniversalExitLength;
    } else if (b == '\r' || b == '\n') {
      ++pos_;
    } else if (b == '@') {
      XlPrologueItem item{XlPrologueItem::Kind::kPjl, pos_, {}};
      if (!ReadLine(kMaxLine, item.text)) return false;
      prologue_.push_back(std::move(item));
    } else if (b == ')' || b == '(' || b == '\'') {
      if (!ReadStreamHeader()) return false;
      state_ = State::kBody;
      return true;
    } else {
      return Fail(pos_,
                  "expected a universal exit, a PJL line or the stream header line, found "
                  "byte " +
                      Hex(b, 2));
    }
  }
  return Fail(pos_, "the input ends before the stream header line");
}

uint32_t XlStreamReader::ReadUnsigned(unsigned size) {
  uint32_t v = Unpack(data_ + pos_, size, bigEndian_);
  pos_ += size;
  return v;
}

double XlStreamReader::ReadNumber(uint8_t type) {
  int base = BaseType(type);
  return Convert(ReadUnsigned(BaseSize(base)), base);
}

bool XlStreamReader::ReadArrayLength(uint32_t& count) {
  size_t at = pos_;
  if (!Has(1)) return Fail(at, "the input ends before an array length");
  uint8_t type = data_[pos_];
  if (type != Tag(DataType::ubyte) && type != Tag(DataType::uint16)) {
    return Fail(at, "an array length must be a ubyte or a uint16, found byte " + Hex(type, 2));
  }
  unsigned size = type == Tag(DataType::ubyte) ? 1 : 2;
  if (!Has(1 + size)) return Fail(at, "the input ends inside an array length");
  ++pos_;
  count = ReadUnsigned(size);
  return true;
}

bool XlStreamReader::ReadArrayValue(XlValue& value, size_t at) {
  if (!ReadArrayLength(value.count)) return false;
  size_t bytes = static_cast<size_t>(value.count) * value.ElementSize();
  if (!Has(bytes)) {
    return Fail(at, std::string("the input ends inside a ") + DataTypeName(Tag(value.type)) +
                        " of " + std::to_string(value.count) + " elements (" +
                        std::to_string(bytes) + " bytes needed, " + std::to_string(size_ - pos_) +
                        " left)");
  }
  value.elements = data_ + pos_;
  pos_ += bytes;
  return true;
}

bool XlStreamReader::ReadValue(XlValue& value) {
  size_t at = pos_;
  uint8_t tag = data_[pos_++];
  value = XlValue{};
  value.type = static_cast<DataType>(tag);
  value.bigEndian = bigEndian_;
  value.shape = ShapeOf(tag);
  if (value.shape == XlShape::kArray) return ReadArrayValue(value, at);
  unsigned parts = value.shape == XlShape::kScalar ? 1 : value.shape == XlShape::kXY ? 2 : 4;
  if (!Has(static_cast<size_t>(parts) * value.ElementSize())) {
    return Fail(at, std::string("the input ends inside a ") + DataTypeName(tag) + " value");
  }
  for (unsigned i = 0; i < parts; ++i) value.number[i] = ReadNumber(tag);
  return true;
}

bool XlStreamReader::ReadEmbeddedData(XlOperator& op) {
  size_t at = pos_;
  unsigned size = data_[pos_] == Tag(DataType::dataLength) ? 4 : 1;
  if (!Has(1 + size)) return Fail(at, "the input ends inside an embedded data length");
  ++pos_;
  uint32_t length = ReadUnsigned(size);
  if (!Has(length)) {
    return Fail(at, "embedded data of " + std::to_string(length) + " bytes runs past the end (" +
                        std::to_string(size_ - pos_) + " bytes left)");
  }
  op.hasData = true;
  op.dataOffset = pos_;
  op.data = data_ + pos_;
  op.dataLength = length;
  pos_ += length;
  return true;
}

XlStreamReader::Result XlStreamReader::Error(size_t offset, std::string message) {
  Fail(offset, std::move(message));
  return Result::kError;
}

// The end of the input or a universal exit: an end only between operators.
XlStreamReader::Result XlStreamReader::End(const XlOperator& op, bool universalExit) {
  if (haveValue_ || !op.attributes.empty()) {
    return Error(pos_, universalExit ? "a universal exit interrupts an operator's attribute list"
                                     : "the input ends inside an operator's attribute list");
  }
  state_ = State::kEnd;
  endedWithUel_ = universalExit;
  endOffset_ = pos_;
  return Result::kEnd;
}

bool XlStreamReader::ReadPendingValue(XlOperator& op) {
  size_t at = pos_;
  if (haveValue_) return Fail(at, "a second value before the attribute id of the first");
  pending_ = XlAttribute{};
  pending_.offset = at;
  if (op.attributes.empty()) op.start = at;
  if (!ReadValue(pending_.value)) return false;
  haveValue_ = true;
  return true;
}

bool XlStreamReader::ReadAttributeId(XlOperator& op) {
  size_t at = pos_;
  unsigned size = data_[pos_] == Tag(DataType::attr_ubyte) ? 1 : 2;
  if (!Has(1 + size)) return Fail(at, "the input ends inside an attribute id");
  if (!haveValue_) return Fail(at, "attribute id without a value before it");
  ++pos_;
  pending_.id = static_cast<uint16_t>(ReadUnsigned(size));
  if (op.attributes.size() >= kMaxAttributes) {
    return Fail(at, "more than " + std::to_string(kMaxAttributes) + " attributes for one operator");
  }
  op.attributes.push_back(pending_);
  haveValue_ = false;
  return true;
}

// A value, an attribute id, or a byte that has no place in an attribute list.
bool XlStreamReader::ReadAttributePart(XlOperator& op, uint8_t b) {
  if (BaseType(b) >= 0) return ReadPendingValue(op);
  if (b == Tag(DataType::attr_ubyte) || b == Tag(DataType::attr_uint16)) {
    return ReadAttributeId(op);
  }
  if (b == Tag(DataType::dataLength) || b == Tag(DataType::dataLengthByte)) {
    return Fail(pos_, "embedded data without an operator before it");
  }
  return Fail(pos_, "byte " + Hex(b, 2) + " is not a tag of the binary binding");
}

XlStreamReader::Result XlStreamReader::ReadOperator(XlOperator& op) {
  if (haveValue_) {
    return Error(pending_.offset, "value without an attribute id before the operator");
  }
  op.tag = static_cast<Operator>(data_[pos_]);
  op.offset = pos_;
  if (op.attributes.empty()) op.start = pos_;
  ++pos_;
  // The data an operator announces follows it; white space may stand between.
  size_t look = pos_;
  while (look < size_ && IsWhiteSpace(data_[look])) ++look;
  if (look < size_ &&
      (data_[look] == Tag(DataType::dataLength) || data_[look] == Tag(DataType::dataLengthByte))) {
    pos_ = look;
    if (!ReadEmbeddedData(op)) return Result::kError;
  }
  return Result::kOperator;
}

XlStreamReader::Result XlStreamReader::Next(XlOperator& op) {
  if (state_ == State::kStart && !ReadPrologue()) return Result::kError;
  if (state_ == State::kError) return Result::kError;
  if (state_ == State::kEnd) return Result::kEnd;
  op = XlOperator{};
  haveValue_ = false;
  while (pos_ < size_) {
    uint8_t b = data_[pos_];
    if (IsWhiteSpace(b)) {
      ++pos_;
    } else if (b == static_cast<uint8_t>(kUniversalExit[0])) {
      if (!AtUniversalExit(pos_)) {
        return Error(pos_, "escape byte that does not start a universal exit");
      }
      return End(op, true);
    } else if (IsOperatorTag(b)) {
      return ReadOperator(op);
    } else if (!ReadAttributePart(op, b)) {
      return Result::kError;
    }
  }
  return End(op, false);
}

}  // namespace tavrfndl::pclxl
