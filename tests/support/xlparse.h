// A test-side reader of the PCL XL binary (little-endian) stream the library writes: it splits
// the bytes into operators, each with its attribute bytes and the embedded data that follows
// it, so tests can state what went out operator by operator.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tavrfndl::testing {

struct XlOperator {
  uint8_t tag = 0;
  size_t offset = 0;           // where its first attribute byte starts in the stream
  std::vector<uint8_t> bytes;  // attributes and the operator byte, as on the wire
  std::vector<uint8_t> data;   // embedded data after the operator (without 0xFA + length)
  bool hasData = false;
};

// One attribute's value: a scalar's little-endian bits (the first four bytes of a wider pair or
// box), or an array's element count and, for a ubyte array, its bytes.
struct XlValue {
  uint8_t type = 0;
  uint32_t scalar = 0;
  uint32_t count = 0;
  std::string bytes;
};

// The attributes in front of an operator by id (a later value of an id replaces an earlier one);
// nothing when its bytes are no attribute list.
std::optional<std::map<uint8_t, XlValue>> Attributes(const XlOperator& op);

// Parses the whole stream; on malformed input fills *error and returns what was parsed.
std::vector<XlOperator> ParseXl(const std::vector<uint8_t>& stream, std::string* error = nullptr);

// The operator tags in order.
std::vector<uint8_t> Tags(const std::vector<XlOperator>& ops);

// Names of the operators the library writes, for readable failure messages.
std::string TagName(uint8_t tag);
std::string Describe(const std::vector<uint8_t>& tags);

std::vector<uint8_t> ReadFileBytes(const std::string& path);

// Operator tags.
namespace op {
inline constexpr uint8_t kBeginFontHeader = 0x4F;
inline constexpr uint8_t kReadFontHeader = 0x50;
inline constexpr uint8_t kEndFontHeader = 0x51;
inline constexpr uint8_t kBeginChar = 0x52;
inline constexpr uint8_t kReadChar = 0x53;
inline constexpr uint8_t kEndChar = 0x54;
inline constexpr uint8_t kRemoveFont = 0x55;
inline constexpr uint8_t kSetCharAngle = 0x64;
inline constexpr uint8_t kSetCharShear = 0x66;
inline constexpr uint8_t kSetClipRectangle = 0x68;
inline constexpr uint8_t kSetCursor = 0x6B;
inline constexpr uint8_t kSetFont = 0x6F;
inline constexpr uint8_t kSetPenSource = 0x79;
inline constexpr uint8_t kSetROP = 0x7B;
inline constexpr uint8_t kSetCharBoldValue = 0x7D;
inline constexpr uint8_t kNewPath = 0x85;
inline constexpr uint8_t kPaintPath = 0x86;
inline constexpr uint8_t kRectanglePath = 0xA1;
inline constexpr uint8_t kText = 0xA8;
}  // namespace op

}  // namespace tavrfndl::testing
