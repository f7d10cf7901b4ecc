// The page text writer: measures each character of the run, breaks the run into lines at the
// right limit and writes every line as direct page records with explicit advances.
//
// Coordinates and widths are summed as unsigned 32-bit numbers: the right-limit test is defined
// on that sum (a negative sum counts as past the limit), and only the low 16 bits of a
// coordinate reach the printer anyway, so wrapping is the intended arithmetic, not an accident.
#include <cstring>
#include <memory>
#include <new>

#include "pagetext/pagerecords.h"
#include "pagetext/pagetext.h"
#include "platform/platform.h"

namespace tavrfndl {

namespace {

// The text field holds at most this many code units before its terminator.
constexpr uint32_t kMaxRunUnits = 515;

constexpr uint16_t kSpace = 0x0020;
constexpr uint16_t kEqualsSign = 0x003D;
constexpr uint16_t kIdeographicSpace = 0x3000;

// Empty lines a run may write on its way to the bottom of the page: one per position a 16-bit
// coordinate can take.
constexpr int64_t kMaxEmptyLines = 65536;

constexpr int32_t kRopBeforeBar = 240;
constexpr int32_t kRopAfterBar = 252;

static_assert(kMaxRunUnits <= static_cast<uint32_t>(kMaxTextRecordUnits),
              "a whole run must fit one Text record");
static_assert(kMaxRunUnits <= static_cast<uint32_t>(kMaxGlyphIndices),
              "every unit of a run needs its glyph index");

// A character the font has no glyph for ends the run, except the blanks and '=' that drivers
// send even when the font's character map lacks them.
bool IsMissingGlyphStop(uint16_t c, uint32_t g) {
  return g == kUnmappedGlyph && c != kSpace && c != kEqualsSign && c != kIdeographicSpace;
}

// The font engine's character widths already asked for in this run. A line of text repeats its
// letters, and each question to the engine costs more than writing the character: each code is
// asked once, and its answer (a failure included) holds for the rest of the run.
class CharWidths {
 public:
  int32_t Get(platform::HDC hdc, uint16_t c) {
    const size_t slot = c == kIdeographicSpace ? kIdeographicSlot : c;
    if (!known_[slot]) {
      int32_t w = 0;
      // A failed query leaves the advance at 0: the character is still printed (its glyph was
      // sent), only the next one is not moved on, which is better than dropping the run.
      if (!platform::CurrentFontEngine().GetCharWidthA(hdc, c, c, &w)) w = 0;
      widths_[slot] = w;
      known_[slot] = true;
    }
    return widths_[slot];
  }

 private:
  static constexpr size_t kIdeographicSlot = 0x100;  // codes 0..0xFF, then U+3000
  int32_t widths_[kIdeographicSlot + 1] = {};
  bool known_[kIdeographicSlot + 1] = {};
};

int32_t AdvanceWidth(platform::HDC hdc, uint16_t c, uint32_t g, bool bTTE, const TEXTINFOW& text,
                     const DOWNLOADCONTEXT& context, CharWidths& charWidths) {
  if (bTTE) {
    // A mapped font file has no font engine metrics for the printer's size: every character
    // advances by the character size.
    return static_cast<int32_t>(CharacterSize(text.FontHeight, context.nResolution));
  }
  platform::FontEngine& engine = platform::CurrentFontEngine();
  if (c <= 0xFF || c == kIdeographicSpace) return charWidths.Get(hdc, c);
  platform::GLYPHMETRICS gm;
  if (engine.GetGlyphOutlineA(hdc, g, platform::GGO_METRICS | platform::GGO_GLYPH_INDEX, &gm, 0,
                              nullptr, &platform::kIdentityMatrix) == platform::GDI_ERROR) {
    return 0;  // as for a failed width query above
  }
  // The advance, as for the codes above: the ink (black box and origin) is narrower than the
  // advance of most glyphs and wider than that of some, and would put the next character on
  // top of a punctuation mark.
  return gm.gmCellIncX < 0 ? 0 : gm.gmCellIncX;
}

uint32_t Magnitude(int32_t v) {
  // Negating in unsigned arithmetic keeps INT32_MIN defined.
  return v < 0 ? 0u - static_cast<uint32_t>(v) : static_cast<uint32_t>(v);
}

int32_t Wrap(uint32_t v) {
  return static_cast<int32_t>(v);
}

// Paints the bar under the line that starts at (x, y) and is width wide. False only when the
// metrics block cannot be allocated. When the font engine cannot report its metrics (a size of
// 0 or a failed fill) the bar is left out and the run goes on: the text matters more than its
// decoration, and there is no position to draw the bar at.
bool PaintUnderlineBar(pclxl::JobOutput& out, platform::HDC hdc, int32_t x, int32_t y,
                       uint32_t width) {
  platform::FontEngine& engine = platform::CurrentFontEngine();
  const uint32_t nSize = engine.GetOutlineTextMetricsA(hdc, 0, nullptr);
  if (nSize == 0) return true;
  // The engine fills nSize bytes, which may be more than the members read here (Windows appends
  // the font's names), or fewer; the block is never smaller than the structure, and its members
  // start at zero, so that whatever the engine leaves out reads as 0.
  const size_t nRecords = (static_cast<size_t>(nSize) + sizeof(platform::OUTLINETEXTMETRICA) - 1) /
                          sizeof(platform::OUTLINETEXTMETRICA);
  std::unique_ptr<platform::OUTLINETEXTMETRICA[]> block(new (std::nothrow)
                                                            platform::OUTLINETEXTMETRICA[nRecords]);
  if (!block) return false;
  if (engine.GetOutlineTextMetricsA(hdc, nSize, block.get()) == 0) return true;

  WriteSetROP(out, kRopBeforeBar);
  WriteSetPenSource(out, pclxl::Attribute::NullPen, 0);
  // The bar hangs below the baseline whatever sign the font gives its underscore position.
  const uint32_t top = static_cast<uint32_t>(y) + Magnitude(block[0].otmsUnderscorePosition);
  const uint32_t bottom = top + Magnitude(block[0].otmsUnderscoreSize);
  WritePaintRectangle(out, x, Wrap(top), Wrap(static_cast<uint32_t>(x) + width), Wrap(bottom));
  WriteSetROP(out, kRopAfterBar);
  return true;
}

// The lowest baseline whose line the printer shows whole: the clip box's bottom less the
// face's descent at the size the font is selected with (rounded up). A line below it would lose
// its descenders, or all of it, to the clip box while the run reported it written.
int64_t LowestBaseline(const FONTENTRY* entry, const TEXTINFOW& text) {
  int64_t descent = 0;
  if (entry && entry->nUnitsPerEm != 0) {
    const uint64_t size = CharacterSize(text.FontHeight, entry->nResolution);
    descent = static_cast<int64_t>((size * entry->nDescent + entry->nUnitsPerEm - 1) /
                                   entry->nUnitsPerEm);
  }
  return int64_t{kClipBox[3]} - descent;
}

// The run stops in front of a line that would not be shown: the driver goes on with the same
// record on the next page, where every font is selected again.
int32_t StopAtFullPage(FONTLIST& list, TEXTINFOW& text, uint32_t nDone) {
  text.bPageFull = 1;
  text.nOffsetToText = Wrap(static_cast<uint32_t>(text.nOffsetToText) + nDone);
  MarkFontsForReselect(list);
  return 2;
}

uint32_t TextLength(const TEXTINFOW& text) {
  uint32_t n = 0;
  while (n < kMaxRunUnits && text.chText[n] != 0) ++n;
  return n;
}

// What a step of the writer asks next: go on, or end the run with this result.
constexpr int32_t kGoOn = -1;

// One run on its way to the page, line by line: each line is measured from the cursor, broken,
// put on the page and cut from the front of the text.
class RunWriter {
 public:
  RunWriter(FONTLIST& list, pclxl::JobOutput& out, TEXTINFOW& text, DOWNLOADCONTEXT& context,
            bool bTTE, PageCursor cursor, int64_t nLowestBaseline)
      : list_(list),
        out_(out),
        text_(text),
        context_(context),
        bTTE_(bTTE),
        nCursorX_(*cursor.pnCursorX),
        nCursorY_(*cursor.pnCursorY),
        nLowestBaseline_(nLowestBaseline),
        hdc_(list.hDC),
        bUnderline_(text.bUnderline == 1) {}

  // Writes the nLeft units of the text (at least one).
  int32_t Write(uint32_t nLeft);

 private:
  // The characters from the line's start up to the one that passes the right limit, the one
  // without a glyph (stop), or the end of the text.
  struct Measured {
    uint32_t n = 0;      // index of the last character measured
    uint32_t width = 0;  // the widths of the characters before n, and n's unless it is a stop
    bool overflow = false;
    bool stop = false;
  };

  Measured MeasureLine(uint32_t nLeft);
  uint32_t BreakLine(const Measured& line) const;
  uint32_t LineWidth(uint32_t units) const;
  int32_t PutLine(uint32_t units, uint32_t width);
  int32_t StopAtMissingGlyph(const Measured& line);
  int32_t MoveDown(uint32_t units);
  void Consume(uint32_t units, uint32_t nLeft);

  FONTLIST& list_;
  pclxl::JobOutput& out_;
  TEXTINFOW& text_;
  DOWNLOADCONTEXT& context_;
  const bool bTTE_;
  int32_t& nCursorX_;
  int32_t& nCursorY_;
  const int64_t nLowestBaseline_;
  const platform::HDC hdc_;
  const bool bUnderline_;
  // Widths of the current line's characters, indexed like chText after earlier lines are cut.
  int32_t anWidths_[kMaxRunUnits] = {};
  CharWidths charWidths_;
  uint32_t nDone_ = 0;  // units of this run that completed lines have put on the page
};

int32_t RunWriter::Write(uint32_t nLeft) {
  for (;;) {
    const Measured line = MeasureLine(nLeft);
    if (line.stop) return StopAtMissingGlyph(line);
    const uint32_t nLine = BreakLine(line);
    if (const int32_t r = PutLine(nLine, LineWidth(nLine)); r != kGoOn) return r;
    if (line.overflow) {
      if (const int32_t r = MoveDown(nLine); r != kGoOn) return r;
    }
    Consume(nLine, nLeft);
    nLeft -= nLine;
    if (nLeft == 0) return 0;
  }
}

RunWriter::Measured RunWriter::MeasureLine(uint32_t nLeft) {
  Measured line;
  for (;; ++line.n) {
    const uint16_t c = text_.chText[line.n];
    const uint32_t g = context_.anGlyphIndex[nDone_ + line.n];
    const int32_t w = AdvanceWidth(hdc_, c, g, bTTE_, text_, context_, charWidths_);
    if (IsMissingGlyphStop(c, g)) {
      line.stop = true;
      return line;
    }
    anWidths_[line.n] = w;
    line.width += static_cast<uint32_t>(w);
    if (static_cast<uint32_t>(nCursorX_) + line.width > kRightLimit) {
      line.overflow = true;
      return line;
    }
    if (line.n == nLeft - 1) return line;
  }
}

// Units in the line: up to and including the last space at or before the overflowing
// character, else everything before it; at the end of the text, everything.
uint32_t RunWriter::BreakLine(const Measured& line) const {
  if (!line.overflow) return line.n + 1;
  for (uint32_t d = line.n + 1; d-- > 0;) {
    if (text_.chText[d] == kSpace) return d + 1;
  }
  return line.n;
}

uint32_t RunWriter::LineWidth(uint32_t units) const {
  uint32_t width = 0;
  for (uint32_t i = 0; i < units; ++i) width += static_cast<uint32_t>(anWidths_[i]);
  return width;
}

// The line's first units at the cursor, with its underline; a line the page would not show
// whole ends the run with a full page instead.
int32_t RunWriter::PutLine(uint32_t units, uint32_t width) {
  if (nCursorY_ > nLowestBaseline_) return StopAtFullPage(list_, text_, nDone_);
  WriteSetCursor(out_, nCursorX_, nCursorY_);
  WriteText(out_, text_.chText, static_cast<int32_t>(units), anWidths_);
  if (bUnderline_ && !PaintUnderlineBar(out_, hdc_, nCursorX_, nCursorY_, width)) return 3;
  return kGoOn;
}

// The stop character is not on the page; the part of the line before it is, so that the caller
// can go on right behind it, if the page shows it.
int32_t RunWriter::StopAtMissingGlyph(const Measured& line) {
  if (line.n > 0) {
    if (const int32_t r = PutLine(line.n, line.width); r != kGoOn) return r;
  }
  text_.nOffsetToText = Wrap(static_cast<uint32_t>(text_.nOffsetToText) + nDone_ + line.n);
  const uint32_t nStopX = static_cast<uint32_t>(nCursorX_) + line.width;
  if (nStopX <= kRightLimit) context_.nNextX = Wrap(nStopX);
  return 1;
}

// The cursor to the start of the next line.
int32_t RunWriter::MoveDown(uint32_t units) {
  const int32_t nNextY = Wrap(static_cast<uint32_t>(nCursorY_) + context_.nLineSpacing);
  // An empty line at the start of a continuation line means its first character is wider than
  // any line; each further line would be empty too. Only moving down the page ends that (with a
  // full page); a spacing that does not (0, or one that wraps the position back up) would repeat
  // the same empty line for ever, so the run fails instead. So does one that gets to the bottom
  // only after more lines than the printer has positions (its coordinates are 16-bit): a cursor
  // far above the page with a small spacing would fill the job with gigabytes of empty lines.
  if (units == 0 && nCursorX_ == text_.nStartX) {
    if (nNextY <= nCursorY_) return 3;
    const int64_t nStep = int64_t{nNextY} - nCursorY_;
    if ((nLowestBaseline_ - nNextY) / nStep >= kMaxEmptyLines) return 3;
  }
  nCursorY_ = nNextY;
  nCursorX_ = text_.nStartX;
  return kGoOn;
}

// Cuts the line's units from the front of the text.
void RunWriter::Consume(uint32_t units, uint32_t nLeft) {
  const uint32_t rest = nLeft - units;
  std::memmove(text_.chText, text_.chText + units, rest * sizeof text_.chText[0]);
  text_.chText[rest] = 0;
  nDone_ += units;
}

}  // namespace

int32_t WriteToCoverPageW(FONTLIST& list, pclxl::JobOutput& out, TEXTINFOW& text,
                          DOWNLOADCONTEXT& context, bool bTTE, PageCursor cursor) {
  FONTENTRY* entry = FindDownloadedFontW(list, context.nFontId);
  ReselectFontIfNeeded(out.stream(), entry, text);
  const int64_t nLowestBaseline = LowestBaseline(entry, text);
  // Units past the longest text the field can hold are never read.
  const uint32_t nLeft = TextLength(text);
  WriteClipRectangle(out, kClipBox[0], kClipBox[1], kClipBox[2], kClipBox[3]);
  if (nLeft == 0) return 0;
  RunWriter writer(list, out, text, context, bTTE, cursor, nLowestBaseline);
  return writer.Write(nLeft);
}

}  // namespace tavrfndl
