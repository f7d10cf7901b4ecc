// The table directory of an sfnt font (TrueType, OpenType) and of a face of a collection, and
// the standalone font that stands for one face of a collection.
//
// This is the one place that walks a table directory. A directory whose count promises more
// records than the data hold is read as far as whole records exist; a record whose table leaves
// the data is kept in the directory (the validator names it) but its table is never handed out.
#pragma once

#include <cstdint>
#include <optional>

#include "sfnt/bytes.h"
#include "sfnt/font_writer.h"
#include "sfnt/tag.h"

namespace tavrfndl::sfnt {

class Directory {
 public:
  // The directory at `offset` of data; a collection header there is not followed (the caller
  // asked for one font). False when even the offset table leaves the data.
  bool ReadAt(ByteView data, size_t offset = 0);
  // Face faceIndex of a font file that may be a collection (face 0 of a plain font). False when
  // the file is no sfnt or has no such face.
  bool ReadFace(ByteView file, uint32_t faceIndex);

  ByteView data() const { return data_; }
  bool inCollection() const { return inCollection_; }
  uint32_t sfntVersion() const { return sfntVersion_; }
  // The count the offset table states, and the records that exist in the data.
  uint16_t statedCount() const { return statedCount_; }
  uint16_t tableCount() const { return tableCount_; }
  // Where the offset table starts and where the records the count states end.
  size_t directoryOffset() const { return directoryOffset_; }
  uint64_t directoryEnd() const {
    return directoryOffset_ + kOffsetTableSize + uint64_t{statedCount_} * kTableRecordSize;
  }

  // Record i in directory order; false past the records that exist.
  bool Record(uint16_t i, TableRecord& out) const;
  // The bytes of a record's table; nothing when they do not lie wholly inside the data.
  std::optional<ByteView> TableBytes(const TableRecord& record) const {
    return data_.Sub(record.offset, record.length);
  }
  // The first record with the tag, whether or not its table lies inside the data.
  std::optional<TableRecord> FindRecord(Tag tag) const;
  // The table of the first record with the tag whose bytes lie inside the data.
  std::optional<ByteView> Find(Tag tag) const;

 private:
  ByteView data_;
  size_t directoryOffset_ = 0;
  uint32_t sfntVersion_ = 0;
  uint16_t statedCount_ = 0;
  uint16_t tableCount_ = 0;
  bool inCollection_ = false;
};

// Where a table's bytes come from when they are not in the directory's own data (GDI gives a
// collection face's directory and its tables by separate calls).
class TableCopier {
 public:
  virtual ~TableCopier() = default;
  // Copies the record's record.length bytes to out; false when they cannot be had.
  virtual bool Copy(const TableRecord& record, uint8_t* out) = 0;
};

// The standalone font of the directory's face: its records in the face's order with offsets
// rebased and checksums kept, and their tables from copier. Tables whose bytes leave the
// container (containerSize bytes) are left out, as a lookup would not find them. False when the
// result would not stay below 4 GiB - 1 (the font engine's error value), no memory is left, or a
// copy fails.
bool BuildStandaloneFont(const Directory& directory, uint64_t containerSize, TableCopier& copier,
                         StandaloneFont& out);
// The same with the tables read from the directory's own data.
bool BuildStandaloneFont(const Directory& directory, StandaloneFont& out);

}  // namespace tavrfndl::sfnt
