// Names of the PCL XL binary binding: operator tags, attribute ids, data types and the
// enumerations a listing spells out. Shared by the reader, the listing and the preview so that
// all of them call a tag by the same name.
#pragma once

#include <cstdint>
#include <string>

namespace fndl {

// Operator tags the tool writes or interprets.
namespace xlop {
inline constexpr uint8_t kBeginSession = 0x41;
inline constexpr uint8_t kEndSession = 0x42;
inline constexpr uint8_t kBeginPage = 0x43;
inline constexpr uint8_t kEndPage = 0x44;
inline constexpr uint8_t kComment = 0x47;
inline constexpr uint8_t kOpenDataSource = 0x48;
inline constexpr uint8_t kCloseDataSource = 0x49;
inline constexpr uint8_t kBeginFontHeader = 0x4F;
inline constexpr uint8_t kReadFontHeader = 0x50;
inline constexpr uint8_t kEndFontHeader = 0x51;
inline constexpr uint8_t kBeginChar = 0x52;
inline constexpr uint8_t kReadChar = 0x53;
inline constexpr uint8_t kEndChar = 0x54;
inline constexpr uint8_t kRemoveFont = 0x55;
inline constexpr uint8_t kPopGS = 0x60;
inline constexpr uint8_t kPushGS = 0x61;
inline constexpr uint8_t kSetBrushSource = 0x63;
inline constexpr uint8_t kSetCharAngle = 0x64;
inline constexpr uint8_t kSetCharScale = 0x65;
inline constexpr uint8_t kSetCharShear = 0x66;
inline constexpr uint8_t kSetClipRectangle = 0x68;
inline constexpr uint8_t kSetClipToPage = 0x69;
inline constexpr uint8_t kSetColorSpace = 0x6A;
inline constexpr uint8_t kSetCursor = 0x6B;
inline constexpr uint8_t kSetCursorRel = 0x6C;
inline constexpr uint8_t kSetFont = 0x6F;
inline constexpr uint8_t kSetPenSource = 0x79;
inline constexpr uint8_t kSetROP = 0x7B;
inline constexpr uint8_t kSetCharBoldValue = 0x7D;
inline constexpr uint8_t kNewPath = 0x85;
inline constexpr uint8_t kPaintPath = 0x86;
inline constexpr uint8_t kRectangle = 0xA0;
inline constexpr uint8_t kRectanglePath = 0xA1;
inline constexpr uint8_t kText = 0xA8;
}  // namespace xlop

// Attribute ids the tool writes or interprets.
namespace xlattr {
inline constexpr uint8_t kColorSpace = 0x03;
inline constexpr uint8_t kNullBrush = 0x04;
inline constexpr uint8_t kNullPen = 0x05;
inline constexpr uint8_t kGrayLevel = 0x09;
inline constexpr uint8_t kRGBColor = 0x0B;
inline constexpr uint8_t kMediaSize = 0x25;
inline constexpr uint8_t kOrientation = 0x28;
inline constexpr uint8_t kROP3 = 0x2C;
inline constexpr uint8_t kCustomMediaSize = 0x2F;
inline constexpr uint8_t kCustomMediaSizeUnits = 0x30;
inline constexpr uint8_t kBoundingBox = 0x42;
inline constexpr uint8_t kPoint = 0x4C;
inline constexpr uint8_t kClipRegion = 0x53;
inline constexpr uint8_t kDataOrg = 0x82;
inline constexpr uint8_t kMeasure = 0x86;
inline constexpr uint8_t kSourceType = 0x88;
inline constexpr uint8_t kUnitsPerMeasure = 0x89;
inline constexpr uint8_t kErrorReport = 0x8F;
inline constexpr uint8_t kCharAngle = 0xA1;
inline constexpr uint8_t kCharCode = 0xA2;
inline constexpr uint8_t kCharDataSize = 0xA3;
inline constexpr uint8_t kCharScale = 0xA4;
inline constexpr uint8_t kCharShear = 0xA5;
inline constexpr uint8_t kCharSize = 0xA6;
inline constexpr uint8_t kFontHeaderLength = 0xA7;
inline constexpr uint8_t kFontName = 0xA8;
inline constexpr uint8_t kFontFormat = 0xA9;
inline constexpr uint8_t kSymbolSet = 0xAA;
inline constexpr uint8_t kTextData = 0xAB;
inline constexpr uint8_t kXSpacingData = 0xAF;
inline constexpr uint8_t kYSpacingData = 0xB0;
inline constexpr uint8_t kCharBoldValue = 0xB1;
}  // namespace xlattr

// Null when the tag is not an operator of the protocol.
const char* OperatorName(uint8_t tag);
// "Name", or "attribute 0xNN" for an id the protocol does not name.
std::string AttributeName(uint16_t id);
// "uint16_xy" and so on; null for a byte that is not a data type tag.
const char* DataTypeName(uint8_t tag);
// What an enumerated attribute's value means ("inch", "A4", ...); null when the attribute is not
// one of the enumerations the listing spells out or the value is not one of its members.
const char* EnumerationMeaning(uint16_t attributeId, int64_t value);

}  // namespace fndl
