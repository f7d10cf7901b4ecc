// The PCL XL operator sequences the library sends through the stream writer: each places its
// attribute list (value, then attribute id, in a fixed order that is part of the output) and
// ends with its operator, and so with a hand-off of the writer's buffer.
#pragma once

#include <cstdint>

#include "pclxl/xlstream.h"

namespace tavrfndl {

// Font names are sent without their terminator; only the low 16 bits of the length are used,
// both as the array length on the wire and as the number of name bytes sent.
void XlBeginFontHeader(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength,
                       uint8_t nFontFormat);
void XlReadFontHeader(XlStream* pStream, uint16_t nLength);
void XlEndFontHeader(XlStream* pStream);
void XlBeginChar(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength);
void XlReadChar(XlStream* pStream, uint16_t nCharCode, uint32_t nCharDataSize);
void XlEndChar(XlStream* pStream);
void XlRemoveFont(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength);
void XlSetFont(XlStream* pStream, const uint8_t* pbyName, uint32_t nNameLength, float fCharSize,
               uint16_t nSymbolSet);
void XlSetCharAngle(XlStream* pStream, int16_t nAngle);
void XlSetCharShear(XlStream* pStream, float x, float y);
void XlSetCharBoldValue(XlStream* pStream, float fBoldValue);

}  // namespace tavrfndl
