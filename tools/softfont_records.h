// PCL XL soft fonts as a stream carries them: the format-0 font header (fixed fields, then
// segments up to the null segment; a TrueType font's "GT" segment is a small font directory
// with the font-wide tables) and the TrueType character records of format 1.
//
// SoftFontCollector follows the font operators of a stream (BeginFontHeader ... EndFontHeader,
// BeginChar / ReadChar / EndChar, RemoveFont) and keeps every font's header and glyphs, so that
// the listing can decode what arrives and the preview can rebuild the fonts. All multi-byte
// fields inside headers and records are big-endian, whatever the stream's binding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "pclxl/xlstream_reader.h"

namespace fndl {

using tavrfndl::pclxl::XlAttribute;
using tavrfndl::pclxl::XlOperator;
using tavrfndl::pclxl::XlShape;
using tavrfndl::pclxl::XlValue;

inline constexpr uint16_t kSegmentGT = 0x4754;  // "GT"
inline constexpr uint16_t kSegmentNull = 0xFFFF;
inline constexpr uint16_t kComponentCharCode = 0xFFFF;

struct FontSegment {
  uint16_t id = 0;
  size_t offset = 0;  // of the segment's data, from the first header byte
  uint32_t size = 0;
};

struct SfntTableRecord {
  char tag[5] = {};  // the four tag bytes, printable or not, and a terminator
  uint32_t checksum = 0;
  uint32_t offset = 0;  // from the start of the GT segment data
  uint32_t length = 0;
  bool inside = true;  // the table's bytes lie inside the segment
};

struct FontHeaderInfo {
  uint8_t format = 0;
  uint8_t orientation = 0;
  uint16_t mapping = 0;
  uint8_t technology = 0;  // 1 TrueType, 254 bitmap
  uint8_t variety = 0;
  uint16_t characterCount = 0;
  std::vector<FontSegment> segments;
  bool nullSegment = false;
  // The GT segment, when there is one.
  bool hasGT = false;
  size_t gtOffset = 0;
  uint32_t gtSize = 0;
  uint32_t sfntVersion = 0;
  uint16_t numTables = 0, searchRange = 0, entrySelector = 0, rangeShift = 0;
  std::vector<SfntTableRecord> tables;
  // Oddities that do not stop the decoding (bytes after the null segment, a table outside the
  // segment, ...).
  std::vector<std::string> warnings;
};

// Decodes a font header of format 0. On failure returns false with the reason in *error.
bool DecodeFontHeader(const uint8_t* data, size_t size, FontHeaderInfo& out, std::string& error);

struct CharRecordInfo {
  uint8_t format = 0;
  uint8_t charClass = 0;
  uint16_t sizeField = 0;  // the record length minus 2 when the record is well formed
  uint16_t glyphIndex = 0;
  const uint8_t* glyph = nullptr;  // the TrueType glyph data, in place
  size_t glyphLength = 0;
  bool composite = false;
  int16_t contours = 0;                   // numberOfContours of the glyph (0 for an empty glyph)
  std::vector<uint16_t> componentGlyphs;  // a composite's component glyph indices, in order
};

// Decodes a TrueType character record of format 1, class 0. False with *error on failure.
bool DecodeCharRecord(const uint8_t* data, size_t size, CharRecordInfo& out, std::string& error);

// The component glyph indices of TrueType glyph data (none for a simple or empty glyph). False
// with *error when a component record runs past the data; the components before it are kept.
bool ComponentGlyphs(const uint8_t* glyph, size_t length, std::vector<uint16_t>& out,
                     std::string& error);

// A font as its operators have defined it so far.
struct SoftFont {
  std::string name;  // the FontName bytes
  std::vector<uint8_t> headerBytes;
  bool headerComplete = false;  // EndFontHeader seen and the header decoded
  FontHeaderInfo header;
  std::map<uint16_t, std::vector<uint8_t>> glyphs;  // glyph index -> TrueType glyph data
  std::map<uint16_t, uint16_t> charToGlyph;         // character code -> glyph index
  size_t charRecords = 0;
  size_t componentRecords = 0;
  // Bumped whenever a glyph is added, so a consumer knows when to rebuild.
  uint64_t generation = 0;
};

// What one operator did to the fonts.
struct FontEvent {
  enum class Kind {
    kNone,           // not a font operator, or nothing to say
    kHeaderDecoded,  // EndFontHeader: *header holds the decoded header
    kCharDecoded,    // ReadChar: *record holds the decoded record
    kFontRemoved,
    kProblem,  // message says what is wrong; the stream goes on
  };
  Kind kind = Kind::kNone;
  const SoftFont* font = nullptr;
  const FontHeaderInfo* header = nullptr;
  CharRecordInfo record;
  uint16_t charCode = 0;
  std::string message;
};

class SoftFontCollector {
 public:
  FontEvent Feed(const XlOperator& op);

  // The live font of that name, or null (never defined, or removed).
  const SoftFont* Find(const std::string& name) const;
  const std::map<std::string, std::shared_ptr<SoftFont>>& fonts() const { return fonts_; }
  // Every font ever completed, in order, including removed ones.
  const std::vector<std::shared_ptr<SoftFont>>& history() const { return history_; }

  size_t headersDecoded() const { return headersDecoded_; }
  size_t recordsDecoded() const { return recordsDecoded_; }
  size_t componentRecords() const { return componentRecords_; }
  size_t removals() const { return removals_; }
  size_t problems() const { return problems_; }

  // Fonts larger than this are refused: far more than any TrueType font needs, and what keeps
  // a hostile stream from making the collector hold gigabytes.
  static constexpr size_t kMaxHeaderBytes = 64u << 20;

 private:
  FontEvent Problem(std::string message);
  FontEvent BeginHeader(const XlOperator& op);
  FontEvent ReadHeader(const XlOperator& op);
  FontEvent EndHeader();
  FontEvent BeginChar(const XlOperator& op);
  FontEvent ReadChar(const XlOperator& op);
  FontEvent AddGlyph(FontEvent event);
  FontEvent RemoveFont(const XlOperator& op);

  std::map<std::string, std::shared_ptr<SoftFont>> fonts_;
  std::vector<std::shared_ptr<SoftFont>> history_;
  std::shared_ptr<SoftFont> pendingHeader_;  // between BeginFontHeader and EndFontHeader
  std::shared_ptr<SoftFont> charTarget_;     // between BeginChar and EndChar
  size_t headersDecoded_ = 0, recordsDecoded_ = 0, componentRecords_ = 0, removals_ = 0,
         problems_ = 0;
};

// Glyphs the font lacks that drawing glyph needs: the glyph itself, or any glyph its composite
// refers to, directly or through other composites. Sorted; empty when the glyph is complete.
std::vector<uint16_t> MissingComponents(const SoftFont& font, uint16_t glyph);

// The FontName attribute's bytes, or an empty string with *ok false when it is missing or not a
// ubyte_array / uint16_array.
std::string FontNameOf(const XlOperator& op, bool* ok = nullptr);

// A tag as text: printable bytes as they are, others as \xNN.
std::string PrintableTag(const char tag[4]);

}  // namespace fndl
