// The working form of one download call's page-information record.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/platform.h"

namespace tavrfndl {

// Room for every UTF-16 unit the text field can hold, with margin.
inline constexpr int kMaxGlyphIndices = 529;

struct DOWNLOADCONTEXT {
  std::unique_ptr<char[]> pszFont;  // ANSI face name, or the font file path in file mode
  char chOutFile[256] = {};         // ANSI output path
  uint32_t nFontId = 0;
  uint32_t nResolution = 0;
  uint32_t nLineSpacing = 0;
  platform::LOGFONTA logFont;  // the call's font as the font engine was asked for it
  // Per character of the working text: the glyph index recorded while its glyphs were sent;
  // kUnmappedGlyph marks a character without a usable glyph.
  uint32_t anGlyphIndex[kMaxGlyphIndices] = {};
  int32_t nNextX = -1;  // -1: not set by the page text writer
};

}  // namespace tavrfndl
