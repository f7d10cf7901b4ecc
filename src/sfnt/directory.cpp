#include "sfnt/directory.h"

#include <cstring>

namespace tavrfndl::sfnt {
namespace {

bool InContainer(const TableRecord& record, uint64_t containerSize) {
  return record.offset <= containerSize && record.length <= containerSize - record.offset;
}

class ViewCopier final : public TableCopier {
 public:
  explicit ViewCopier(const Directory& directory) : directory_(directory) {}
  bool Copy(const TableRecord& record, uint8_t* out) override {
    const std::optional<ByteView> bytes = directory_.TableBytes(record);
    if (!bytes) return false;
    if (!bytes->empty()) std::memcpy(out, bytes->data(), bytes->size());
    return true;
  }

 private:
  const Directory& directory_;
};

}  // namespace

bool Directory::ReadAt(ByteView data, size_t offset) {
  *this = Directory();
  uint32_t version = 0;
  uint16_t numTables = 0;
  if (!data.Contains(offset, kOffsetTableSize) || !data.ReadU32(offset, version) ||
      !data.ReadU16(offset + 4, numTables)) {
    return false;
  }
  const size_t present = (data.size() - offset - kOffsetTableSize) / kTableRecordSize;
  data_ = data;
  directoryOffset_ = offset;
  sfntVersion_ = version;
  statedCount_ = numTables;
  tableCount_ = static_cast<uint16_t>(numTables < present ? numTables : present);
  return true;
}

bool Directory::ReadFace(ByteView file, uint32_t faceIndex) {
  uint32_t tag = 0;
  if (!file.ReadU32(0, tag)) return false;
  if (Tag(tag) != kCollectionTag) return faceIndex == 0 && ReadAt(file, 0);
  uint32_t numFonts = 0;
  uint32_t faceOffset = 0;
  if (!file.ReadU32(8, numFonts) || faceIndex >= numFonts ||
      !file.ReadU32(12 + size_t{faceIndex} * 4, faceOffset) || !ReadAt(file, faceOffset)) {
    return false;
  }
  inCollection_ = true;
  return true;
}

bool Directory::Record(uint16_t i, TableRecord& out) const {
  if (i >= tableCount_) return false;
  Cursor cursor(data_, directoryOffset_ + kOffsetTableSize + size_t{i} * kTableRecordSize);
  TableRecord record;
  if (!cursor.ReadU32(record.tag.value) || !cursor.ReadU32(record.checkSum) ||
      !cursor.ReadU32(record.offset) || !cursor.ReadU32(record.length)) {
    return false;
  }
  out = record;
  return true;
}

std::optional<TableRecord> Directory::FindRecord(Tag tag) const {
  TableRecord record;
  for (uint16_t i = 0; Record(i, record); ++i) {
    if (record.tag == tag) return record;
  }
  return std::nullopt;
}

std::optional<ByteView> Directory::Find(Tag tag) const {
  TableRecord record;
  for (uint16_t i = 0; Record(i, record); ++i) {
    if (record.tag != tag) continue;
    if (auto bytes = TableBytes(record)) return bytes;
  }
  return std::nullopt;
}

bool BuildStandaloneFont(const Directory& directory, uint64_t containerSize, TableCopier& copier,
                         StandaloneFont& out) {
  out = StandaloneFont();
  TableRecord record;
  uint16_t kept = 0;
  uint64_t tableBytes = 0;
  for (uint16_t i = 0; directory.Record(i, record); ++i) {
    if (!InContainer(record, containerSize)) continue;
    ++kept;
    tableBytes += Align4(record.length);
  }
  FontWriter writer;
  if (!writer.Begin(directory.sfntVersion(), kept, tableBytes)) return false;
  for (uint16_t i = 0; directory.Record(i, record); ++i) {
    if (!InContainer(record, containerSize)) continue;
    uint8_t* at = writer.Add(record);
    if (!at || (record.length > 0 && !copier.Copy(record, at))) return false;
  }
  return writer.Finish(out);
}

bool BuildStandaloneFont(const Directory& directory, StandaloneFont& out) {
  ViewCopier copier(directory);
  return BuildStandaloneFont(directory, directory.data().size(), copier, out);
}

}  // namespace tavrfndl::sfnt
