// Font selection and the page text writer: a run's font selected on the printer, the run broken
// into lines at the right limit and written with explicit advances at the text cursor.
#pragma once

#include <cstdint>

#include "fontlist/fontlist.h"
#include "pagetext/downloadcontext.h"
#include "pclxl/joboutput.h"
#include "pclxl/xlstream.h"
#include "tavrfndl.h"

namespace tavrfndl {

// Page geometry the writer works in (page units, as the driver set them up). The page is full
// when a line would not be shown whole: when its glyphs would reach below the clip box.
inline constexpr uint32_t kRightLimit = 4725;
inline constexpr int32_t kClipBox[4] = {0, 0, 4900, 6400};

// The character size of SetFont: FontHeight / 10 (toward zero) times the resolution, divided as
// an unsigned 32-bit number by 72. File mode also uses it as every character's advance.
uint32_t CharacterSize(int32_t fontHeight, uint32_t nResolution);

// SetFont, SetCharBoldValue, SetCharShear, SetCharAngle for the entry and the run, at the size
// the entry's resolution gives. Sends nothing without a writer.
void SelectTextFont(XlStream* pStream, const FONTENTRY& entry, const TEXTINFOW& text);
// Selects the entry's font again when a page break marked it (bReselect exactly 1), then clears
// the mark and the run's bPageFull. No entry, or no writer: nothing happens and the mark stays.
void ReselectFontIfNeeded(XlStream* pStream, FONTENTRY* entry, TEXTINFOW& text);
// Marks every font of the list for selection before its next run.
void MarkFontsForReselect(FONTLIST& list);

// The process-wide text cursor: X of the next line, and Y (the baseline).
struct PageCursor {
  int32_t* pnCursorX;
  int32_t* pnCursorY;
};

// Writes the run in text.chText (consumed in place) at the cursor; a marked font is selected
// again through out's writer first, and the page records follow it into out. bTTE: every character
// advances by the character size instead of the font engine's width. Returns 0 (all written),
// 1 (stopped in front of a character without a glyph), 2 (page full: the next line, the font's
// descent below its baseline included, would leave the clip box) or 3 (no memory for the
// underline metrics, or a character wider than a whole line while nLineSpacing does not move
// the cursor down the page, or would take more than 65536 lines to get it to the bottom).
int32_t WriteToCoverPageW(FONTLIST& list, pclxl::JobOutput& out, TEXTINFOW& text,
                          DOWNLOADCONTEXT& context, bool bTTE, PageCursor cursor);

}  // namespace tavrfndl
