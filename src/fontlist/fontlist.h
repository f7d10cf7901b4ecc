// The downloaded-font list: what the printer already holds. A printer keeps a soft font for the
// rest of the job, so each font's header goes out once per font number and each character's
// glyph once per font. The list owns its entries; each entry owns its map and its set.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "platform/platform.h"
#include "truetype/glyphmap.h"

namespace tavrfndl {

// One bit per 16-bit character code.
inline constexpr uint32_t kDownloadedSetBytes = 65536 / 8;

struct FONTENTRY {
  uint32_t nGlyphs = 0;
  char chFont[256] = {};
  std::unique_ptr<uint8_t[]> pbyDownloaded;  // bit (code & 7) of byte (code >> 3)
  uint32_t nFontId = 0;
  std::unique_ptr<uint32_t[]> pdwGlyphMap;  // kGlyphMapSize entries, code to glyph index
  char chPCLFontName[256] = {};
  uint32_t nResolution = 0;
  std::unique_ptr<FONTENTRY> pNext;
  int32_t bReselect = 0;
  // The header went out but the font could not be completed (no "cmap"): the printer has the
  // name, so the entry stays and later runs in the font fail at once without sending anything.
  bool bFailed = false;
  // Read once, when the font's header goes out: the face's own outlines lean (an italic or
  // oblique face), so italic runs get no shear on top; and how far its glyphs reach below the
  // baseline, nDescent of nUnitsPerEm (0: not known).
  bool bSlanted = false;
  uint16_t nUnitsPerEm = 0;
  uint16_t nDescent = 0;
  // A face without "glyf" (CFF outlines): its header is made from its metrics and each glyph
  // from the font engine's outline, converted to a TrueType glyph when it is first sent.
  bool bOutlineFace = false;

  // The map as the character mapping fills it; empty before the map is allocated.
  std::span<uint32_t> GlyphMap() const {
    return pdwGlyphMap ? std::span<uint32_t>(pdwGlyphMap.get(), kGlyphMapSize)
                       : std::span<uint32_t>();
  }
  bool IsDownloaded(uint16_t code) const { return (pbyDownloaded[code >> 3] >> (code & 7)) & 1; }
  void MarkDownloaded(uint16_t code) {
    pbyDownloaded[code >> 3] = static_cast<uint8_t>(pbyDownloaded[code >> 3] | (1u << (code & 7)));
  }
};

struct FONTLIST {
  FONTLIST() = default;
  FONTLIST(const FONTLIST&) = delete;
  FONTLIST& operator=(const FONTLIST&) = delete;
  // Unlinks iteratively, so that a long chain does not recurse once per entry.
  ~FONTLIST();

  platform::HDC hDC = nullptr;
  FONTENTRY* pLastEntry = nullptr;
  uint32_t nFonts = 0;
  std::unique_ptr<FONTENTRY> pFirstEntry;
  char chOutFile[256] = {};
};

// The entry with that number (the earliest, should two share it), or null.
FONTENTRY* FindDownloadedFontW(const FONTLIST& list, uint32_t nFontId);
// Links a new, empty entry behind the last one and makes it pLastEntry; false when no memory is
// left (the list is unchanged).
bool AppendFontEntry(FONTLIST& list);
// Unlinks and releases the entry with that number; false when there is none.
bool RemoveFontEntry(FONTLIST& list, uint32_t nFontId);
// Unlinks and releases one given entry (which must be in the list).
void RemoveFontEntry(FONTLIST& list, const FONTENTRY* entry);

}  // namespace tavrfndl
