// Synthetic TrueType fonts for tests.
//
// Everything here writes big-endian TrueType data with full control over the parts a test needs
// to get wrong on purpose: directory order against file order, explicit (even shared) table
// offsets, directory lengths that differ from the data, table counts larger than the file,
// "cmap" subtables with overlapping segments or raw idRangeOffset values, and "loca" entries
// set to any raw value. Nothing is validated: a builder writes what it is told.
//
// A typical font:
//
//   GlyfBuilder glyphs(LocaFormat::kShort);
//   glyphs.AddEmpty();                                    // glyph 0
//   glyphs.AddGlyph(SimpleGlyph({{{0, 0}, {100, 0}, {0, 100}}}));
//   CmapBuilder cmap;
//   cmap.AddFormat4(3, 1, {{0x41, 0x41, uint16_t(1 - 0x41)}, CmapSegment::Final()});
//   std::vector<uint8_t> font = BasicFont(glyphs, cmap).Build();
//
// and a test served through the font engine:
//
//   FontDataEngine engine(font);
//   ScopedFontEngine installed(engine);
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/platform.h"

namespace tavrfndl::test {

// Big-endian writer over a growing byte vector.
class Bytes {
 public:
  Bytes& U8(uint8_t v);
  Bytes& U16(uint16_t v);
  Bytes& S16(int16_t v) { return U16(static_cast<uint16_t>(v)); }
  Bytes& U32(uint32_t v);
  // The bytes of text as they stand (4 for a tag; "cvt\0"sv gives a tag with a zero fourth byte).
  Bytes& Text(std::string_view text);
  Bytes& Append(const std::vector<uint8_t>& bytes);
  Bytes& Zeros(size_t count);
  // Zero bytes up to the next multiple of alignment.
  Bytes& PadTo(size_t alignment);
  // Overwrite already written bytes (the vector grows when the position is past its end).
  void PutU16(size_t position, uint16_t v);
  void PutU32(size_t position, uint32_t v);

  size_t size() const { return bytes_.size(); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }
  std::vector<uint8_t> Take() { return std::move(bytes_); }

 private:
  std::vector<uint8_t> bytes_;
};

// The TrueType table checksum: the sum of the big-endian 32-bit words, the data zero-padded to 4.
uint32_t TableChecksum(const std::vector<uint8_t>& data);

// ----- The font file: offset table, table directory, table data -----

struct TableSpec {
  std::string tag;                    // exactly 4 bytes, written as they stand
  std::vector<uint8_t> data;          // the bytes stored in the file
  std::optional<uint32_t> offset;     // store the data here (may overlap other tables)
  std::optional<uint32_t> length;     // directory length; default data.size()
  std::optional<uint32_t> checkSum;   // directory checksum; default TableChecksum(data)
  std::optional<uint32_t> dirOffset;  // directory offset differing from where the data lies
};

class FontBuilder {
 public:
  // Appends a table to the directory; the directory lists tables in the order they are added.
  // The reference stays valid for the builder's life, so options can be set on it:
  //   builder.AddTable("head", BuildHead(0)).offset = 0x400;
  TableSpec& AddTable(std::string_view tag, std::vector<uint8_t> data);
  // The table with this tag (first in directory order), or null.
  TableSpec* Find(std::string_view tag);

  // Order in which tables without an explicit offset are stored, as indices into the directory;
  // tables not named follow in directory order. Default: directory order.
  FontBuilder& SetFileOrder(std::vector<size_t> order);
  FontBuilder& SetSfntVersion(uint32_t version);
  // A numTables value other than the number of records (the records written stay the same).
  FontBuilder& SetNumTables(uint16_t count);
  // searchRange, entrySelector and rangeShift as given instead of computed from numTables.
  FontBuilder& SetSearchFields(uint16_t searchRange, uint16_t entrySelector, uint16_t rangeShift);
  // Alignment of tables placed automatically (default 4; 1 packs them back to back).
  FontBuilder& SetAlignment(uint32_t alignment);
  // Whether the file ends padded to the alignment after the last table (default true).
  FontBuilder& SetPadEnd(bool pad);
  // Extra zero bytes at the very end of the file.
  FontBuilder& SetTrailingBytes(size_t count);

  // Automatically placed tables start right after the directory; tables with an explicit
  // offset are written over whatever lies there, the file growing with zeros as needed.
  std::vector<uint8_t> Build() const;

  // The offset at which Build() stores table index (directory order).
  uint32_t OffsetOf(size_t index) const;

 private:
  std::vector<uint32_t> Layout() const;

  std::deque<TableSpec> tables_;
  std::vector<size_t> fileOrder_;
  uint32_t sfntVersion_ = 0x00010000;
  std::optional<uint16_t> numTables_;
  std::optional<uint16_t> searchRange_, entrySelector_, rangeShift_;
  uint32_t alignment_ = 4;
  bool padEnd_ = true;
  size_t trailing_ = 0;
};

// ----- Small tables -----

// "head", 54 bytes: version 1.0, magic number, unitsPerEm at byte 18, indexToLocFormat at 50.
std::vector<uint8_t> BuildHead(int16_t indexToLocFormat, uint16_t unitsPerEm = 2048);
// "maxp" version 1.0, 32 bytes, numGlyphs at byte 4.
std::vector<uint8_t> BuildMaxp(uint16_t numGlyphs);
// "hhea", 36 bytes, numberOfHMetrics at byte 34.
std::vector<uint8_t> BuildHhea(uint16_t numberOfHMetrics, int16_t ascender = 1800,
                               int16_t descender = -400);
// "hmtx": numberOfHMetrics (advance, lsb) pairs, then the left side bearings of the rest.
struct HMetric {
  uint16_t advance = 0;
  int16_t lsb = 0;
};
std::vector<uint8_t> BuildHmtx(const std::vector<HMetric>& metrics,
                               const std::vector<int16_t>& extraLsb = {});

// ----- "cmap" -----

struct CmapSegment {
  uint16_t start = 0;
  uint16_t end = 0;
  uint16_t idDelta = 0;
  // Not empty: the segment maps through the glyph index array, one entry per code from start.
  std::vector<uint16_t> glyphIds;
  // The raw idRangeOffset, replacing the computed one (0, or one that points into glyphIds).
  std::optional<uint16_t> idRangeOffset;

  // The closing segment 0xFFFF..0xFFFF with idDelta 1 that the format asks for.
  static CmapSegment Final() { return {0xFFFF, 0xFFFF, 1, {}, std::nullopt}; }
};

struct Format4Options {
  std::vector<CmapSegment> segments;
  // Appended to the glyph index array after the segments' own glyph ids.
  std::vector<uint16_t> extraGlyphIds;
  // A raw segCountX2 in place of 2 × segments (the arrays written stay the same).
  std::optional<uint16_t> segCountX2;
};

// A format-4 subtable. The glyph ids of segments are laid out in segment order; each segment's
// idRangeOffset points at its first id unless given raw.
std::vector<uint8_t> BuildFormat4(const Format4Options& options);
std::vector<uint8_t> BuildFormat4(const std::vector<CmapSegment>& segments);
// A format-0 subtable (byte encoding table): glyph ids of codes 0..255, missing ones 0.
std::vector<uint8_t> BuildFormat0(const std::vector<uint8_t>& glyphIds);

class CmapBuilder {
 public:
  // One encoding record and its subtable. Records are written in the order added, subtables
  // after the records in the same order, each 2-aligned.
  CmapBuilder& AddSubtable(uint16_t platformId, uint16_t encodingId, std::vector<uint8_t> subtable);
  CmapBuilder& AddFormat4(uint16_t platformId, uint16_t encodingId,
                          const std::vector<CmapSegment>& segments);
  CmapBuilder& AddFormat4(uint16_t platformId, uint16_t encodingId, const Format4Options& options);
  // A record with a raw subtable offset from the start of "cmap" (anywhere, even past the end).
  CmapBuilder& AddRawRecord(uint16_t platformId, uint16_t encodingId, uint32_t offset);
  // A numTables value other than the number of records.
  CmapBuilder& SetRecordCount(uint16_t count);

  std::vector<uint8_t> Build() const;

 private:
  struct Record {
    uint16_t platformId;
    uint16_t encodingId;
    std::optional<uint32_t> rawOffset;
    std::vector<uint8_t> subtable;
  };
  std::vector<Record> records_;
  std::optional<uint16_t> recordCount_;
};

// ----- "glyf" and "loca" -----

enum class LocaFormat { kShort, kLong };  // head.indexToLocFormat 0 and 1

// Composite glyph flags.
inline constexpr uint16_t kArg1And2AreWords = 0x0001;
inline constexpr uint16_t kArgsAreXYValues = 0x0002;
inline constexpr uint16_t kRoundXYToGrid = 0x0004;
inline constexpr uint16_t kWeHaveAScale = 0x0008;
inline constexpr uint16_t kMoreComponents = 0x0020;
inline constexpr uint16_t kWeHaveAnXAndYScale = 0x0040;
inline constexpr uint16_t kWeHaveATwoByTwo = 0x0080;
inline constexpr uint16_t kWeHaveInstructions = 0x0100;
inline constexpr uint16_t kUseMyMetrics = 0x0200;
inline constexpr uint16_t kOverlapCompound = 0x0400;

struct Component {
  enum class Transform { kNone, kScale, kXYScale, kTwoByTwo };
  uint16_t glyphIndex = 0;
  int32_t arg1 = 0;  // written as 8 bits (low byte) or 16 bits
  int32_t arg2 = 0;
  bool wordArgs = false;  // kArg1And2AreWords
  bool argsAreXY = true;  // kArgsAreXYValues
  Transform transform = Transform::kNone;
  // F2Dot14 matrix xscale, scale01, scale10, yscale: kScale writes [0], kXYScale [0] and [3],
  // kTwoByTwo all four.
  int16_t scale[4] = {0x4000, 0, 0, 0x4000};
  uint16_t extraFlags = 0;  // ORed in: kRoundXYToGrid, kUseMyMetrics, kOverlapCompound, ...
};

struct Point {
  int16_t x = 0;
  int16_t y = 0;
  bool onCurve = true;
};

// A simple glyph: the contours' points in absolute coordinates, written with 16-bit deltas and
// one flag byte per point; the bounding box is computed.
std::vector<uint8_t> SimpleGlyph(const std::vector<std::vector<Point>>& contours,
                                 const std::vector<uint8_t>& instructions = {});
// A composite glyph. kMoreComponents is set on all components but the last; with instructions
// the last component also gets kWeHaveInstructions and the count and bytes follow it.
std::vector<uint8_t> CompositeGlyph(const std::vector<Component>& components,
                                    const std::vector<uint8_t>& instructions = {}, int16_t xMin = 0,
                                    int16_t yMin = 0, int16_t xMax = 0, int16_t yMax = 0);

class GlyfBuilder {
 public:
  explicit GlyfBuilder(LocaFormat format = LocaFormat::kLong);

  // Adds a glyph of these bytes (empty: a glyph without outline); returns its index.
  uint16_t AddGlyph(std::vector<uint8_t> bytes);
  uint16_t AddEmpty() { return AddGlyph({}); }
  // Each glyph's data is padded to this (default: 2 for short "loca", 4 for long; short "loca"
  // cannot describe odd offsets).
  GlyfBuilder& SetGlyphAlignment(uint32_t alignment);
  // Replaces "loca" entry index by a raw value as stored (short: the halved offset).
  GlyfBuilder& SetRawLoca(size_t index, uint32_t value);
  // Writes this many "loca" entries instead of glyphCount() + 1 (missing ones repeat the end).
  GlyfBuilder& SetLocaEntries(size_t count);

  LocaFormat format() const { return format_; }
  size_t glyphCount() const { return glyphs_.size(); }
  // Byte offset of glyph index in "glyf" (before any raw "loca" override).
  uint32_t OffsetOf(size_t index) const;
  std::vector<uint8_t> Glyf() const;
  std::vector<uint8_t> Loca() const;

 private:
  LocaFormat format_;
  uint32_t alignment_;
  std::vector<std::vector<uint8_t>> glyphs_;
  std::map<size_t, uint32_t> rawLoca_;
  std::optional<size_t> locaEntries_;
};

// A complete font around the glyphs and the map: "cmap", "cvt ", "fpgm", "glyf", "head", "hhea",
// "hmtx", "loca", "maxp" and "prep", in this (alphabetical) directory order, with "head" and
// "maxp" agreeing with the glyphs. Returned as a builder so that tests can change it further.
FontBuilder BasicFont(const GlyfBuilder& glyphs, const CmapBuilder& cmap);

// ----- Files and the font engine -----

// The bytes written to a new file in the temporary directory, removed again on destruction.
class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes);
  ~TempFile();
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }
  const char* c_str() const { return path_.c_str(); }

 private:
  std::string path_;
};

// The whole of a file, or an empty vector when it cannot be read.
std::vector<uint8_t> ReadWholeFile(const std::string& path);

// A font engine serving one font's data: GetFontData gives the table whose directory tag packs
// to the identifier (the first such record, cut to the data), or the whole font for 0. Metrics
// calls answer with the values set below. Counts every GetFontData call per identifier.
class FontDataEngine : public platform::FontEngine {
 public:
  FontDataEngine() = default;
  explicit FontDataEngine(std::vector<uint8_t> font) : font_(std::move(font)) {}

  void SetFont(std::vector<uint8_t> font) { font_ = std::move(font); }
  // Identifier answers GDI_ERROR to the size query / to the copy.
  void FailSizeQuery(uint32_t id) { failSize_.push_back(id); }
  void FailCopy(uint32_t id) { failCopy_.push_back(id); }
  // GetFontData calls made for the identifier (size queries and copies).
  int Calls(uint32_t id) const;

  int32_t charWidth = 1000;
  platform::GLYPHMETRICS glyphMetrics;
  platform::OUTLINETEXTMETRICA outlineMetrics;

  // The device context and font this engine hands out (never dereferenced).
  platform::HDC dc() { return reinterpret_cast<platform::HDC>(&dcToken_); }

  platform::HDC CreateCompatibleDC() override { return dc(); }
  platform::HFONT CreateFontIndirectA(const platform::LOGFONTA&, const char*) override;
  platform::HFONT SelectObject(platform::HDC, platform::HFONT font) override;
  platform::HFONT GetCurrentObject(platform::HDC) override { return selected_; }
  bool DeleteObject(platform::HFONT) override { return true; }
  bool DeleteDC(platform::HDC) override { return true; }
  uint32_t GetFontData(platform::HDC hdc, uint32_t dwTable, uint32_t dwOffset, void* pvBuffer,
                       uint32_t cjBuffer) override;
  bool GetCharWidthA(platform::HDC, uint32_t iFirst, uint32_t iLast, int32_t* lpBuffer) override;
  uint32_t GetGlyphOutlineA(platform::HDC, uint32_t, uint32_t, platform::GLYPHMETRICS* lpgm,
                            uint32_t, void*, const platform::MAT2*) override;
  uint32_t GetOutlineTextMetricsA(platform::HDC, uint32_t cjCopy,
                                  platform::OUTLINETEXTMETRICA* potm) override;

 private:
  std::vector<uint8_t> font_;
  std::vector<uint32_t> failSize_, failCopy_;
  std::map<uint32_t, int> calls_;
  char dcToken_ = 0;
  char fontToken_ = 0;
  platform::HFONT selected_ = nullptr;
};

// Installs an engine for the scope and restores the platform's own afterwards.
class ScopedFontEngine {
 public:
  explicit ScopedFontEngine(platform::FontEngine& engine) {
    platform::SetFontEngineForTesting(&engine);
  }
  ~ScopedFontEngine() { platform::SetFontEngineForTesting(nullptr); }
  ScopedFontEngine(const ScopedFontEngine&) = delete;
  ScopedFontEngine& operator=(const ScopedFontEngine&) = delete;
};

}  // namespace tavrfndl::test
