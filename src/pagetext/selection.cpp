// Font selection: the run's downloaded font made current on the printer with the run's size,
// bold value and shear, and the marks that make a page break select every font again.
#include <cstring>

#include "pagetext/pagetext.h"
#include "pclxl/sequences.h"

namespace tavrfndl {

namespace {

constexpr float kBoldValue = 0.01f;
constexpr float kItalicShear = 0.1583f;
constexpr uint16_t kSymbolSet = 1;

}  // namespace

uint32_t CharacterSize(int32_t fontHeight, uint32_t nResolution) {
  const int32_t points = fontHeight / 10;
  // The product wraps as a 32-bit number and is divided unsigned, so a negative height gives a
  // huge size rather than a negative one; drivers never send one.
  const uint32_t dots = static_cast<uint32_t>(points) * nResolution;
  return dots / 72;
}

void SelectTextFont(XlStream* pStream, const FONTENTRY& entry, const TEXTINFOW& text) {
  // Without a writer there is nowhere to send the selection (the entry point never gets here
  // without one).
  if (!pStream) return;
  const float fCharSize = static_cast<float>(CharacterSize(text.FontHeight, entry.nResolution));
  // Only the exact value 1 asks for simulated bold and slant; other nonzero values only chose an
  // italic font face on the font engine's side. A face whose outlines already lean is not
  // slanted a second time.
  const float fBold = text.bBold == 1 ? kBoldValue : 0.0f;
  const float fShear = text.bItalic == 1 && !entry.bSlanted ? kItalicShear : 0.0f;
  const size_t nNameLength = strnlen(entry.chPCLFontName, sizeof entry.chPCLFontName);

  XlSetFont(pStream, reinterpret_cast<const uint8_t*>(entry.chPCLFontName),
            static_cast<uint32_t>(nNameLength), fCharSize, kSymbolSet);
  XlSetCharBoldValue(pStream, fBold);
  XlSetCharShear(pStream, fShear, 0.0f);
  XlSetCharAngle(pStream, 0);
}

void ReselectFontIfNeeded(XlStream* pStream, FONTENTRY* entry, TEXTINFOW& text) {
  if (!entry || entry->bReselect != 1) return;
  // Keep the mark when nothing could be sent, so that a later run still selects the font.
  if (!pStream) return;
  SelectTextFont(pStream, *entry, text);
  text.bPageFull = 0;
  entry->bReselect = 0;
}

void MarkFontsForReselect(FONTLIST& list) {
  FONTENTRY* entry = list.pFirstEntry.get();
  for (uint32_t i = 0; i < list.nFonts && entry; ++i, entry = entry->pNext.get()) {
    entry->bReselect = 1;
  }
}

}  // namespace tavrfndl
