#include "pclxl/sequences.h"

namespace tavrfndl {
namespace {

using pclxl::Attribute;
using pclxl::Operator;
using pclxl::StreamEncoder;

// The array length on the wire is 16 bits, and the bytes sent must agree with it, so a longer
// name is cut to the same low 16 bits rather than announced short and sent long.
StreamEncoder& PlaceFontName(StreamEncoder&& out, const uint8_t* pbyName, uint32_t nNameLength) {
  out.UByteArray(pbyName, static_cast<uint16_t>(nNameLength)).Attr(Attribute::FontName);
  return out;
}

}  // namespace

void XlBeginFontHeader(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength,
                       uint8_t nFontFormat) {
  PlaceFontName(StreamEncoder(pStream), pbyName, nNameLength)
      .UByte(nFontFormat)
      .Attr(Attribute::FontFormat)
      .Op(Operator::BeginFontHeader);
}

void XlReadFontHeader(XlStream* pStream, uint16_t nLength) {
  StreamEncoder(pStream)
      .UInt16(nLength)
      .Attr(Attribute::FontHeaderLength)
      .Op(Operator::ReadFontHeader);
}

void XlEndFontHeader(XlStream* pStream) {
  StreamEncoder(pStream).Op(Operator::EndFontHeader);
}

void XlBeginChar(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength) {
  PlaceFontName(StreamEncoder(pStream), pbyName, nNameLength).Op(Operator::BeginChar);
}

void XlReadChar(XlStream* pStream, uint16_t nCharCode, uint32_t nCharDataSize) {
  StreamEncoder(pStream)
      .UInt16(nCharCode)
      .Attr(Attribute::CharCode)
      .UInt32(nCharDataSize)
      .Attr(Attribute::CharDataSize)
      .Op(Operator::ReadChar);
}

void XlEndChar(XlStream* pStream) {
  StreamEncoder(pStream).Op(Operator::EndChar);
}

void XlRemoveFont(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength) {
  PlaceFontName(StreamEncoder(pStream), pbyName, nNameLength).Op(Operator::RemoveFont);
}

void XlSetFont(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength, float fCharSize,
               uint16_t nSymbolSet) {
  PlaceFontName(StreamEncoder(pStream), pbyName, nNameLength)
      .Real32(fCharSize)
      .Attr(Attribute::CharSize)
      .UInt16(nSymbolSet)
      .Attr(Attribute::SymbolSet)
      .Op(Operator::SetFont);
}

void XlSetCharAngle(XlStream* pStream, int16_t nAngle) {
  StreamEncoder(pStream).SInt16(nAngle).Attr(Attribute::CharAngle).Op(Operator::SetCharAngle);
}

void XlSetCharShear(XlStream* pStream, float x, float y) {
  StreamEncoder(pStream).Real32XY(x, y).Attr(Attribute::CharShear).Op(Operator::SetCharShear);
}

void XlSetCharBoldValue(XlStream* pStream, float fBoldValue) {
  StreamEncoder(pStream)
      .Real32(fBoldValue)
      .Attr(Attribute::CharBoldValue)
      .Op(Operator::SetCharBoldValue);
}

}  // namespace tavrfndl
