// Writing sfnt fonts: the offset table, the table records and the tables after them. Every font
// that is made rather than read (the standalone font of a collection face, the em-sized font of
// an outline face, the font header's GT directory, the fonts the tool rebuilds from soft fonts)
// is laid out here.
#pragma once

#include <cstdint>
#include <memory>
#include <span>

#include "sfnt/bytes.h"
#include "sfnt/tag.h"

namespace tavrfndl::sfnt {

inline constexpr size_t kOffsetTableSize = 12;
inline constexpr size_t kTableRecordSize = 16;

struct TableRecord {
  Tag tag;
  uint32_t checkSum = 0;
  uint32_t offset = 0;  // from the start of the data, also inside a collection
  uint32_t length = 0;
};

struct OffsetTable {
  uint32_t sfntVersion = 0;
  uint16_t numTables = 0;
  uint16_t searchRange = 0;
  uint16_t entrySelector = 0;
  uint16_t rangeShift = 0;

  // The binary-search fields worked out from the count: the largest power of two not above it.
  static OffsetTable For(uint32_t sfntVersion, uint16_t numTables);
};

// The offset table at the start of data, its search fields as stored; false when it leaves the
// data.
bool ReadOffsetTable(ByteView data, OffsetTable& out);
void PutOffsetTable(uint8_t* out, const OffsetTable& table);
void PutTableRecord(uint8_t* out, const TableRecord& record);

// A record's checksum: the table's big-endian 32-bit words summed, the last one zero padded.
uint32_t TableChecksum(ByteView table);

struct StandaloneFont {
  std::unique_ptr<uint8_t[]> bytes;
  uint32_t size = 0;
  ByteView view() const { return ByteView(bytes.get(), size); }
};

// A font written front to back: the offset table with its search fields worked out, the records
// in the order the tables are added, and each table at a 4-byte boundary after the directory,
// zero padded.
class FontWriter {
 public:
  // Room for count tables whose lengths, each padded to 4 bytes, add up to tableBytes. False
  // when the font would not stay below 4 GiB - 1 (the font engine's error value) or no memory is
  // left.
  bool Begin(uint32_t sfntVersion, uint16_t count, uint64_t tableBytes);
  // Writes the next record (its offset is set here) and answers where the table's record.length
  // bytes go; null when the table does not fit the room Begin made.
  uint8_t* Add(TableRecord record);
  // Sets every record's checkSum from its table as written, for readers that verify them.
  void ComputeChecksums();
  // The font; false unless every table Begin made room for was added.
  bool Finish(StandaloneFont& out);

 private:
  std::unique_ptr<uint8_t[]> bytes_;
  uint64_t size_ = 0;
  uint64_t tableAt_ = 0;
  uint16_t count_ = 0;
  uint16_t added_ = 0;
};

struct TableData {
  Tag tag;
  ByteView bytes;
};

enum class Checksums {
  kZero,      // the library's own fonts: nothing that reads them checks the sums
  kComputed,  // fonts handed to other readers
};

// A font of the given tables, in that order (callers give them sorted by tag, as the format
// asks).
bool BuildFont(uint32_t sfntVersion, std::span<const TableData> tables, StandaloneFont& out,
               Checksums checksums = Checksums::kZero);

}  // namespace tavrfndl::sfnt
