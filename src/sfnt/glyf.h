// TrueType glyph data ("glyf"): the structure of simple and composite glyphs as a rasterizer
// reads it.
//
// What a glyph that passes ValidateGlyph guarantees: every byte a rasterizer reads for it lies
// inside the glyph's own bytes (header, endPtsOfContours, instructions, flags with their
// repeats, coordinates; component records and their instructions), contour ends strictly
// increase, and every component names a glyph below the font's glyph count. What it does not
// guarantee: that the components themselves are valid (each is checked when it is read), nor
// anything about the shapes, which a rasterizer draws whatever they are.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "sfnt/bytes.h"
#include "sfnt/findings.h"

namespace tavrfndl::sfnt {

inline constexpr size_t kGlyphHeaderSize = 10;  // numberOfContours and the bounding box

// Simple glyph flags. X_SHORT with X_SAME set means a positive one-byte delta, without it a
// negative one; X_SAME alone means the x of the point before (likewise for y).
inline constexpr uint8_t kOnCurve = 0x01;
inline constexpr uint8_t kXShort = 0x02;
inline constexpr uint8_t kYShort = 0x04;
inline constexpr uint8_t kRepeat = 0x08;
inline constexpr uint8_t kXSameOrPositive = 0x10;
inline constexpr uint8_t kYSameOrPositive = 0x20;

// Component record flags.
inline constexpr uint16_t kArgsAreWords = 0x0001;
inline constexpr uint16_t kArgsAreXYValues = 0x0002;  // clear: the arguments match points
inline constexpr uint16_t kHaveScale = 0x0008;
inline constexpr uint16_t kMoreComponents = 0x0020;
inline constexpr uint16_t kHaveXYScale = 0x0040;
inline constexpr uint16_t kHaveTwoByTwo = 0x0080;
inline constexpr uint16_t kHaveInstructions = 0x0100;

// The bytes of glyph number glyph, located through "loca" (short offsets for indexToLocFormat
// 0, long for any other value); nothing when its "loca" entries leave the table, the offsets are
// unusable, the glyph is longer than maxSize, or its bytes leave "glyf". An empty glyph is a
// view of size 0.
std::optional<ByteView> LocateGlyph(ByteView glyf, ByteView loca, int16_t indexToLocFormat,
                                    uint16_t glyph, uint32_t maxSize);

// A glyph is composite when numberOfContours is negative.
bool IsCompositeGlyph(ByteView glyph);

// The length of one component record, from its flags.
size_t ComponentRecordLength(uint16_t flags);

// One component of a composite glyph.
struct Component {
  uint16_t flags = 0;
  uint16_t glyphIndex = 0;
  uint16_t arg1 = 0, arg2 = 0;  // unsigned: as point numbers they are
};

// The component records of a composite glyph in order; Next fails at a record that leaves the
// glyph. A composite that passed ValidateGlyph reads to its end without failing.
class ComponentReader {
 public:
  explicit ComponentReader(ByteView glyph) : glyph_(glyph) {}
  bool done() const { return done_; }
  bool Next(Component& out);
  // Where the records end (after the last one read).
  size_t position() const { return pos_; }

 private:
  ByteView glyph_;
  size_t pos_ = kGlyphHeaderSize;
  bool done_ = false;
};

// The points of a simple glyph's outline (the last contour end + 1); 0 for a composite or an
// empty glyph. Takes a glyph that passed ValidateGlyph.
uint32_t SimpleGlyphPoints(ByteView glyph);

// Checks one glyph's bytes (an empty glyph is valid: it draws nothing). numGlyphs bounds the
// component indices. False with the reason in findings (table "glyf", value the glyph index).
bool ValidateGlyph(ByteView glyph, uint16_t glyphIndex, uint32_t numGlyphs, Findings& findings);

// A font's glyphs: "glyf" located through "loca" (LocateGlyph). numGlyphs bounds the component
// indices; a glyph longer than maxSize is not found.
struct GlyphTable {
  ByteView glyf;
  ByteView loca;
  int16_t indexToLocFormat = 0;
  uint32_t numGlyphs = 0;
  uint32_t maxSize = UINT32_MAX;

  std::optional<ByteView> Find(uint16_t glyph) const {
    return LocateGlyph(glyf, loca, indexToLocFormat, glyph, maxSize);
  }
};

// How deeply composite glyphs may nest; real fonts use two or three levels.
inline constexpr int kMaxComponentDepth = 8;
// How many component records one glyph may name, those of nested composites included. Real fonts
// need a handful (ten at most in DejaVu Sans); without a bound, composites that name the next
// level many times over multiply: 16 components on each of eight levels are 16^7 records.
inline constexpr int kMaxComponentRecords = 1024;

// Called for each component of a walk with its glyph index and bytes; false ends the walk. Holds
// a reference to the callable, which must outlive it.
class ComponentVisit {
 public:
  // Implicit, so that a lambda is passed as it is.
  template <typename F>
  ComponentVisit(F& f)
      : object_(&f),
        call_([](void* o, uint16_t g, ByteView b) { return (*static_cast<F*>(o))(g, b); }) {}
  bool operator()(uint16_t glyph, ByteView bytes) const { return call_(object_, glyph, bytes); }

 private:
  void* object_;
  bool (*call_)(void*, uint16_t, ByteView);
};

// Visits every component of composite glyph glyphIndex, and the components of components down to
// kMaxComponentDepth levels, at most kMaxComponentRecords in all, depth first in record order. An
// empty component is visited like any other. False when a record or a component cannot be read,
// a component names a composite it lies in, a bound is reached, or visit says false.
bool WalkComponents(const GlyphTable& table, ByteView glyph, uint16_t glyphIndex,
                    ComponentVisit visit);

// What the printer is sent of a glyph.
enum class GlyphVerdict {
  kRefused,  // nothing: the glyph or a component is not one a rasterizer can take
  kBlank,    // a record that draws nothing (empty, or a composite of empty glyphs only)
  kOutline,  // a record that draws
};

// Checks the glyph, every component it draws with, and every point a component is placed by;
// the reason for a refusal goes to findings (table "glyf", value the glyph index). A glyph
// without "glyf" behind it (table empty) must be simple.
GlyphVerdict JudgeGlyph(const GlyphTable& table, ByteView glyph, uint16_t glyphIndex,
                        Findings& findings);

}  // namespace tavrfndl::sfnt
