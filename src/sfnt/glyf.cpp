// The checks follow what TrueType rasterizers read: FreeType's simple-glyph loader refuses an
// outline whose flag repeats run past the point count or whose coordinates run past the glyph,
// and a printer's rasterizer may do worse than refuse.
#include "sfnt/glyf.h"

#include "sfnt/program.h"

namespace tavrfndl::sfnt {
namespace {

constexpr Tag kGlyf("glyf");

bool Fail(Findings& findings, const char* field, const char* problem, uint16_t glyphIndex) {
  findings.Add(kGlyf, field, problem, glyphIndex);
  return false;
}

// The contour ends, strictly increasing; the point count through points.
bool ReadContourEnds(Cursor& cursor, int16_t contours, uint32_t& points) {
  int32_t last = -1;
  for (int16_t i = 0; i < contours; ++i) {
    uint16_t end = 0;
    if (!cursor.ReadU16(end) || int32_t{end} <= last) return false;
    last = end;
  }
  points = static_cast<uint32_t>(last + 1);
  return true;
}

// The coordinate bytes the flags call for, summed while the flags are read.
struct CoordinateBytes {
  size_t x = 0;
  size_t y = 0;
  void Add(uint8_t flag, size_t times) {
    x += times * ((flag & kXShort) ? 1 : (flag & kXSameOrPositive) ? 0 : 2);
    y += times * ((flag & kYShort) ? 1 : (flag & kYSameOrPositive) ? 0 : 2);
  }
};

bool ReadFlags(Cursor& cursor, uint32_t points, CoordinateBytes& coordinates) {
  uint32_t read = 0;
  while (read < points) {
    uint8_t flag = 0;
    uint8_t repeats = 0;
    if (!cursor.ReadU8(flag) || ((flag & kRepeat) && !cursor.ReadU8(repeats))) return false;
    const uint32_t times = 1u + repeats;
    if (times > points - read) return false;
    coordinates.Add(flag, times);
    read += times;
  }
  return true;
}

// The glyph's program: inside the glyph and well formed. Its opcodes are not checked against the
// instruction set here (the font may define its own), only its pushes and nesting.
bool ReadInstructions(Cursor& cursor, uint16_t glyphIndex, Findings& findings) {
  uint16_t instructionLength = 0;
  ByteView code;
  if (!cursor.ReadU16(instructionLength) || !cursor.ReadBytes(instructionLength, code)) {
    return Fail(findings, "instructionLength", "runs past the glyph", glyphIndex);
  }
  Findings unused;
  if (!ValidateProgram(code, kGlyf, true, unused)) {
    return Fail(findings, "instructions", "push past the end or do not nest", glyphIndex);
  }
  return true;
}

bool ValidateSimple(ByteView glyph, int16_t contours, uint16_t glyphIndex, Findings& findings) {
  Cursor cursor(glyph, kGlyphHeaderSize);
  uint32_t points = 0;
  if (!ReadContourEnds(cursor, contours, points)) {
    return Fail(findings, "endPtsOfContours", "leave the glyph or do not increase", glyphIndex);
  }
  if (!ReadInstructions(cursor, glyphIndex, findings)) return false;
  CoordinateBytes coordinates;
  if (!ReadFlags(cursor, points, coordinates)) {
    return Fail(findings, "flags", "run past the glyph or the point count", glyphIndex);
  }
  if (!cursor.Skip(coordinates.x) || !cursor.Skip(coordinates.y)) {
    return Fail(findings, "xCoordinates", "run past the glyph", glyphIndex);
  }
  return true;
}

bool ValidateComposite(ByteView glyph, uint16_t glyphIndex, uint32_t numGlyphs,
                       Findings& findings) {
  ComponentReader reader(glyph);
  bool instructions = false;
  while (!reader.done()) {
    Component component;
    if (!reader.Next(component)) {
      return Fail(findings, "component", "record runs past the glyph", glyphIndex);
    }
    if (component.glyphIndex >= numGlyphs) {
      return Fail(findings, "component", "names a glyph past numGlyphs", glyphIndex);
    }
    instructions = (component.flags & kHaveInstructions) != 0;
  }
  Cursor cursor(glyph, reader.position());
  return !instructions || ReadInstructions(cursor, glyphIndex, findings);
}

}  // namespace

std::optional<ByteView> LocateGlyph(ByteView glyf, ByteView loca, int16_t indexToLocFormat,
                                    uint16_t glyph, uint32_t maxSize) {
  uint32_t off = 0;
  uint32_t next = 0;
  if (indexToLocFormat == 0) {
    uint16_t a = 0;
    uint16_t b = 0;
    if (!loca.ReadU16(2 * size_t{glyph}, a) || !loca.ReadU16(2 * size_t{glyph} + 2, b)) {
      return std::nullopt;
    }
    off = 2u * a;
    next = 2u * b;
  } else if (!loca.ReadU32(4 * size_t{glyph}, off) || !loca.ReadU32(4 * size_t{glyph} + 4, next)) {
    return std::nullopt;
  }
  // Offsets compared as signed 32-bit numbers, as printer drivers always have; the view below
  // refuses whatever still lies outside "glyf".
  if (next == 0 || static_cast<int32_t>(next) < static_cast<int32_t>(off)) return std::nullopt;
  const uint32_t size = next - off;
  if (size > maxSize) return std::nullopt;
  return glyf.Sub(off, size);
}

bool IsCompositeGlyph(ByteView glyph) {
  int16_t numberOfContours = 0;
  return glyph.ReadS16(0, numberOfContours) && numberOfContours < 0;
}

size_t ComponentRecordLength(uint16_t flags) {
  size_t length = 4 + ((flags & kArgsAreWords) ? 4 : 2);
  if (flags & kHaveScale) {
    length += 2;
  } else if (flags & kHaveXYScale) {
    length += 4;
  } else if (flags & kHaveTwoByTwo) {
    length += 8;
  }
  return length;
}

bool ComponentReader::Next(Component& out) {
  if (done_) return false;
  Component c;
  if (!glyph_.ReadU16(pos_, c.flags) || !glyph_.ReadU16(pos_ + 2, c.glyphIndex) ||
      !glyph_.Contains(pos_, ComponentRecordLength(c.flags))) {
    return false;
  }
  if (c.flags & kArgsAreWords) {
    glyph_.ReadU16(pos_ + 4, c.arg1);
    glyph_.ReadU16(pos_ + 6, c.arg2);
  } else {
    uint8_t a = 0, b = 0;
    glyph_.ReadU8(pos_ + 4, a);
    glyph_.ReadU8(pos_ + 5, b);
    c.arg1 = a;
    c.arg2 = b;
  }
  pos_ += ComponentRecordLength(c.flags);
  done_ = (c.flags & kMoreComponents) == 0;
  out = c;
  return true;
}

uint32_t SimpleGlyphPoints(ByteView glyph) {
  int16_t contours = 0;
  uint16_t lastEnd = 0;
  if (!glyph.ReadS16(0, contours) || contours <= 0) return 0;
  if (!glyph.ReadU16(kGlyphHeaderSize + 2 * (size_t{static_cast<uint16_t>(contours)} - 1),
                     lastEnd)) {
    return 0;
  }
  return uint32_t{lastEnd} + 1;
}

bool ValidateGlyph(ByteView glyph, uint16_t glyphIndex, uint32_t numGlyphs, Findings& findings) {
  if (glyph.empty()) return true;
  int16_t contours = 0;
  if (!glyph.ReadS16(0, contours) || !glyph.Contains(0, kGlyphHeaderSize)) {
    return Fail(findings, "header", "is cut short", glyphIndex);
  }
  if (contours < 0) return ValidateComposite(glyph, glyphIndex, numGlyphs, findings);
  return ValidateSimple(glyph, contours, glyphIndex, findings);
}

namespace {

// The composites being expanded, outermost first.
struct CompositeChain {
  uint16_t glyphs[kMaxComponentDepth];
  int depth = 0;
  int records = 0;  // component records visited for the glyph so far
  bool Contains(uint16_t glyph) const {
    for (int i = 0; i < depth; ++i) {
      if (glyphs[i] == glyph) return true;
    }
    return false;
  }
};

// The validation pass and the sending pass walk the same way, so what was checked is what is
// sent.
bool WalkChain(const GlyphTable& table, ByteView glyph, CompositeChain& chain,
               const ComponentVisit& visit) {
  ComponentReader reader(glyph);
  while (!reader.done()) {
    Component component;
    if (!reader.Next(component)) return false;
    auto data = table.Find(component.glyphIndex);
    if (!data || chain.records == kMaxComponentRecords) return false;
    ++chain.records;
    if (!visit(component.glyphIndex, *data)) return false;
    // A component may itself be a composite (accented Greek capitals in DejaVu Sans are built
    // from a composite letter): without its own components the printer draws it with parts
    // missing. A component that names one of the composites it lies in (a broken font) would
    // send a rasterizer round in a circle: the walk fails there, and the depth is bounded.
    if (!IsCompositeGlyph(*data)) continue;
    if (chain.Contains(component.glyphIndex)) return false;
    if (chain.depth >= kMaxComponentDepth) return false;
    chain.glyphs[chain.depth++] = component.glyphIndex;
    const bool walked = WalkChain(table, *data, chain, visit);
    --chain.depth;
    if (!walked) return false;
  }
  return true;
}

// The points of the outline a glyph draws (for a composite, those of all its components), through
// points. False where a component placed by matching points names a point that the components
// before it, or the component itself, do not have: a rasterizer refuses the glyph there. Takes a
// glyph whose component walk has passed, so that the recursion ends.
bool CountPoints(const GlyphTable& table, ByteView glyph, int depth, uint32_t& points) {
  points = 0;
  if (!IsCompositeGlyph(glyph)) {
    points = SimpleGlyphPoints(glyph);
    return true;
  }
  ComponentReader reader(glyph);
  Component c;
  while (reader.Next(c)) {
    auto data = table.Find(c.glyphIndex);
    uint32_t added = 0;
    if (!data || (IsCompositeGlyph(*data) && depth >= kMaxComponentDepth) ||
        !CountPoints(table, *data, depth + 1, added)) {
      return false;
    }
    // A component that adds no points (an empty one among them) is passed over, its arguments
    // unread.
    const bool matches = (c.flags & kArgsAreXYValues) == 0 && added > 0;
    if (matches && (c.arg1 >= points || c.arg2 >= added)) return false;
    points += added;
  }
  return reader.done();
}

// A composite whose components all passed: a blank when they draw no point between them.
GlyphVerdict JudgeComposite(const GlyphTable& table, ByteView glyph, uint16_t glyphIndex,
                            Findings& findings) {
  uint32_t points = 0;
  if (!CountPoints(table, glyph, 1, points)) {
    Fail(findings, "component", "matches a point that is not there", glyphIndex);
    return GlyphVerdict::kRefused;
  }
  return points == 0 ? GlyphVerdict::kBlank : GlyphVerdict::kOutline;
}

}  // namespace

bool WalkComponents(const GlyphTable& table, ByteView glyph, uint16_t glyphIndex,
                    ComponentVisit visit) {
  CompositeChain chain;
  chain.glyphs[chain.depth++] = glyphIndex;
  return WalkChain(table, glyph, chain, visit);
}

GlyphVerdict JudgeGlyph(const GlyphTable& table, ByteView glyph, uint16_t glyphIndex,
                        Findings& findings) {
  if (!ValidateGlyph(glyph, glyphIndex, table.numGlyphs, findings)) return GlyphVerdict::kRefused;
  if (!IsCompositeGlyph(glyph)) {
    return SimpleGlyphPoints(glyph) == 0 ? GlyphVerdict::kBlank : GlyphVerdict::kOutline;
  }
  const size_t before = findings.count();
  auto validate = [&](uint16_t index, ByteView bytes) {
    return ValidateGlyph(bytes, index, table.numGlyphs, findings);
  };
  if (WalkComponents(table, glyph, glyphIndex, validate)) {
    return JudgeComposite(table, glyph, glyphIndex, findings);
  }
  // A walk that stopped at a component it could not read, or at a bound, has said nothing yet.
  if (findings.count() == before) {
    Fail(findings, "component", "cannot be read or nests too far", glyphIndex);
  }
  return GlyphVerdict::kRefused;
}

}  // namespace tavrfndl::sfnt
