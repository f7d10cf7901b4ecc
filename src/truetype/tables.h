// TrueType table access, from either source of a call's font: the font engine's font selected
// into the list's device context (bTTE 0), or the font file named by the call (bTTE 1), mapped
// read-only and read in place.
//
// What a successful lookup guarantees: the returned view lies wholly inside the font data, and
// inside the table's own directory length. Nothing inside a table is validated here; readers
// of a table go through ByteView and treat a failed read like a missing table.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/platform.h"
#include "sfnt/bytes.h"
#include "sfnt/tag.h"
#include "truetype/glyphmap.h"

namespace tavrfndl {

// The font of one call.
struct FontSource {
  bool bTTE = false;                   // true: the file at path; false: the engine's font
  platform::HDC hDC = nullptr;         // the list's device context (engine source)
  const char* path = nullptr;          // the font file (file source)
  int32_t* pbFontFileError = nullptr;  // set to 1 when the font file cannot be mapped
};

// Reverses the byte order of a 32-bit value; its own inverse.
constexpr uint32_t MakeWhackLong(uint32_t v) {
  return (v >> 24) | ((v >> 8) & 0x0000FF00u) | ((v << 8) & 0x00FF0000u) | (v << 24);
}

// The font engine's identifier of a table: the 4 tag bytes, first byte least significant.
constexpr uint32_t TableIdentifier(const char* tag) {
  return sfnt::Tag::FromText(tag).EngineId();
}

// A table (or the whole font) from the font engine: lent by the engine, or else a copy.
struct TableBuffer {
  platform::LentFontData lent;
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t size = 0;
  ByteView view() const { return ByteView(bytes ? bytes.get() : lent.data, size); }
};

// Engine source: the table with that identifier (0: the whole font) into out, lent where the
// engine lends it, else copied. Returns the byte count, or GDI_ERROR when the engine has no such
// table, fails to copy it, or no memory is left (out stays empty: a failed copy is not handed on
// as table bytes).
uint32_t GetFontTable(platform::HDC hDC, uint32_t dwTable, TableBuffer& out);

// The whole file, read-only; null when it cannot be opened or mapped. The mapping is shared
// with every other reader of the unchanged file (platform::MapFileShared).
std::shared_ptr<const platform::MappedFile> MapTTEFile(const char* path);

// The table whose directory tag is lower or upper (exact, case-sensitive; a 3-letter name matches
// only a tag whose fourth byte is 0), found in directory order; the first matching record
// decides. Nothing when no record matches or that table does not lie inside the font data.
// Records past the end of the data are not read.
std::optional<ByteView> GetTTEFilePointer(ByteView font, const char* lower, const char* upper);

// One record of the font's table directory, as the font header needs it.
struct TableDirEntry {
  char tag[5] = {};
  uint32_t checkSum = 0;
  uint32_t offset = 0;
  uint32_t newOffset = 0;  // offset of the table's bytes in the GT segment data
  uint32_t length = 0;
  uint32_t sendLength = 0;  // bytes of the table the header carries
  int32_t selected = 0;     // one of the header tables
};

// The directory of the font data, sorted by offset (stable), with send lengths and GT offsets.
// Returns the number of selected tables, or -1 when no memory is left. Records past the end of
// the data are not read: the count is cut to the records that exist. A sendLength that would run
// past the data is cut to the bytes that exist, so that the header's size, offsets and pieces
// agree.
int ReadTableDirectory(ByteView font, std::vector<TableDirEntry>& records);

// Whether a directory tag is one of the header tables (control value table, "fpgm", "head",
// "hhea", "hmtx", "maxp", "prep", each lower or upper case).
bool IsHeaderTable(const char tag[5]);

// The tables of one call's font, held for the length of an operation so that each table is
// fetched (engine) or the file mapped (file) once, however many glyphs are read.
class FontTables {
 public:
  explicit FontTables(const FontSource& source) : source_(source) {}
  // False when the file cannot be mapped (and then *pbFontFileError is set); the engine source
  // always opens. Mapping happens on the first call only.
  bool Open();
  // The table by its lower-case tag ("glyf"); in the file also its all-upper-case form. Nothing
  // when the table is missing.
  std::optional<ByteView> Find(const char* lowerTag);

 private:
  FontSource source_;
  bool opened_ = false;
  bool openFailed_ = false;
  std::shared_ptr<const platform::MappedFile> file_;
  // Each table is looked up once per operation, from either source: a run's glyphs ask for the
  // same four tables each.
  struct Cached {
    uint32_t id;
    TableBuffer buffer;  // the engine's copy (engine source)
    std::optional<ByteView> view;
  };
  std::vector<Cached> cache_;
};

// The glyph count: the 16-bit value at byte 4 of "maxp"; 0 when the table is missing or the
// file cannot be mapped (which sets *pbFontFileError).
uint16_t GetNumberOfGlyphsInFont(const FontSource& source);

// Fills map (kGlyphMapSize entries, code to glyph index) from the first Windows format-4 "cmap"
// subtable (encoding 1: Unicode, any other: symbol), after the identity pre-fill of the codes
// below nGlyphs. A record that leaves "cmap" ends the walk; a subtable whose segment arrays leave
// it is passed over. Returns false when the font has no "cmap" or the file cannot be mapped
// (which sets *pbFontFileError).
bool BuildGlyphMap(const FontSource& source, uint32_t nGlyphs, std::span<uint32_t> map);
// Fill the map from a format-4 subtable: Unicode (codes 0..65534) or symbol (codes 0..254).
// subtable runs from the subtable's first byte to the end of "cmap": the glyph index array has no
// length of its own, so its reads are bounded by the table. A subtable whose segment arrays leave
// the view, or a map shorter than kGlyphMapSize, is left untouched; a code whose glyph index
// array read leaves the view is unmapped (kUnmappedGlyph), like a code no segment covers.
void MapUnicodeSegments(std::span<uint32_t> map, ByteView subtable);
void MapSymbolSegments(std::span<uint32_t> map, ByteView subtable);

// The straightforward per-code search over all segments, kept to prove the fast fill equal.
void MapUnicodeSegmentsReference(std::span<uint32_t> map, ByteView subtable);
void MapSymbolSegmentsReference(std::span<uint32_t> map, ByteView subtable);

}  // namespace tavrfndl
