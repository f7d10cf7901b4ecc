#include "pclxl/sequences.h"

namespace tavrfndl {
namespace {

// Attribute ids.
constexpr uint16_t kCharAngle = 0xA1;
constexpr uint16_t kCharCode = 0xA2;
constexpr uint16_t kCharDataSize = 0xA3;
constexpr uint16_t kCharShear = 0xA5;
constexpr uint16_t kCharSize = 0xA6;
constexpr uint16_t kFontHeaderLength = 0xA7;
constexpr uint16_t kFontName = 0xA8;
constexpr uint16_t kFontFormat = 0xA9;
constexpr uint16_t kSymbolSet = 0xAA;
constexpr uint16_t kCharBoldValue = 0xB1;

// Operator tags.
constexpr uint16_t kBeginFontHeader = 0x4F;
constexpr uint16_t kReadFontHeader = 0x50;
constexpr uint16_t kEndFontHeader = 0x51;
constexpr uint16_t kBeginChar = 0x52;
constexpr uint16_t kReadChar = 0x53;
constexpr uint16_t kEndChar = 0x54;
constexpr uint16_t kRemoveFont = 0x55;
constexpr uint16_t kSetCharAngle = 0x64;
constexpr uint16_t kSetCharShear = 0x66;
constexpr uint16_t kSetFont = 0x6F;
constexpr uint16_t kSetCharBoldValue = 0x7D;

// The array length on the wire is 16 bits, and the bytes sent must agree with it, so a longer
// name is cut to the same low 16 bits rather than announced short and sent long.
void PlaceFontName(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength) {
  XlStreamUByteArray(pStream, pbyName, static_cast<uint16_t>(nNameLength));
  XlStreamAttribute(pStream, kFontName);
}

}  // namespace

void XlBeginFontHeader(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength,
                       uint8_t nFontFormat) {
  PlaceFontName(pStream, pbyName, nNameLength);
  XlStreamUByte(pStream, nFontFormat);
  XlStreamAttribute(pStream, kFontFormat);
  XlStreamOperator(pStream, kBeginFontHeader);
}

void XlReadFontHeader(XlStream* pStream, uint16_t nLength) {
  XlStreamUInt16(pStream, nLength);
  XlStreamAttribute(pStream, kFontHeaderLength);
  XlStreamOperator(pStream, kReadFontHeader);
}

void XlEndFontHeader(XlStream* pStream) {
  XlStreamOperator(pStream, kEndFontHeader);
}

void XlBeginChar(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength) {
  PlaceFontName(pStream, pbyName, nNameLength);
  XlStreamOperator(pStream, kBeginChar);
}

void XlReadChar(XlStream* pStream, uint16_t nCharCode, uint32_t nCharDataSize) {
  XlStreamUInt16(pStream, nCharCode);
  XlStreamAttribute(pStream, kCharCode);
  XlStreamUInt32(pStream, nCharDataSize);
  XlStreamAttribute(pStream, kCharDataSize);
  XlStreamOperator(pStream, kReadChar);
}

void XlEndChar(XlStream* pStream) {
  XlStreamOperator(pStream, kEndChar);
}

void XlRemoveFont(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength) {
  PlaceFontName(pStream, pbyName, nNameLength);
  XlStreamOperator(pStream, kRemoveFont);
}

void XlSetFont(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength, float fCharSize,
               uint16_t nSymbolSet) {
  PlaceFontName(pStream, pbyName, nNameLength);
  XlStreamReal32(pStream, fCharSize);
  XlStreamAttribute(pStream, kCharSize);
  XlStreamUInt16(pStream, nSymbolSet);
  XlStreamAttribute(pStream, kSymbolSet);
  XlStreamOperator(pStream, kSetFont);
}

void XlSetCharAngle(XlStream* pStream, int16_t nAngle) {
  XlStreamSInt16(pStream, nAngle);
  XlStreamAttribute(pStream, kCharAngle);
  XlStreamOperator(pStream, kSetCharAngle);
}

void XlSetCharShear(XlStream* pStream, float x, float y) {
  XlStreamReal32XY(pStream, x, y);
  XlStreamAttribute(pStream, kCharShear);
  XlStreamOperator(pStream, kSetCharShear);
}

void XlSetCharBoldValue(XlStream* pStream, float fBoldValue) {
  XlStreamReal32(pStream, fBoldValue);
  XlStreamAttribute(pStream, kCharBoldValue);
  XlStreamOperator(pStream, kSetCharBoldValue);
}

}  // namespace tavrfndl
