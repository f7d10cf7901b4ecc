#include "sfnt/directory.h"

#include <cstring>
#include <new>

namespace tavrfndl::sfnt {
namespace {

// The engine's error value is the largest 32-bit number, so font data must stay below it.
constexpr uint64_t kLargestFontData = 0xFFFFFFFEu;

bool InContainer(const TableRecord& record, uint64_t containerSize) {
  return record.offset <= containerSize && record.length <= containerSize - record.offset;
}

// The binary-search fields of an offset table: the largest power of two not above the count.
void WriteOffsetTable(uint8_t* out, uint32_t version, uint16_t count) {
  uint16_t entrySelector = 0;
  while (count > 0 && (2u << entrySelector) <= count) ++entrySelector;
  const uint32_t searchRange = count > 0 ? (1u << entrySelector) * kTableRecordSize : 0;
  PutU32(out, version);
  PutU16(out + 4, count);
  PutU16(out + 6, searchRange);
  PutU16(out + 8, entrySelector);
  PutU16(out + 10, count * kTableRecordSize - searchRange);
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
  const uint64_t headerBytes = kOffsetTableSize + uint64_t{kept} * kTableRecordSize;
  const uint64_t total = headerBytes + tableBytes;
  if (total > kLargestFontData) return false;
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[total]());
  if (!bytes) return false;

  WriteOffsetTable(bytes.get(), directory.sfntVersion(), kept);
  size_t recordAt = kOffsetTableSize;
  uint64_t tableAt = headerBytes;
  for (uint16_t i = 0; directory.Record(i, record); ++i) {
    if (!InContainer(record, containerSize)) continue;
    PutU32(&bytes[recordAt], record.tag.value);
    PutU32(&bytes[recordAt + 4], record.checkSum);
    PutU32(&bytes[recordAt + 8], static_cast<uint32_t>(tableAt));
    PutU32(&bytes[recordAt + 12], record.length);
    if (record.length > 0 && !copier.Copy(record, &bytes[tableAt])) return false;
    recordAt += kTableRecordSize;
    tableAt += Align4(record.length);
  }
  out.bytes = std::move(bytes);
  out.size = static_cast<uint32_t>(total);
  return true;
}

bool BuildFont(uint32_t sfntVersion, std::span<const TableData> tables, StandaloneFont& out) {
  out = StandaloneFont();
  if (tables.size() > 0xFFFF) return false;
  const uint16_t count = static_cast<uint16_t>(tables.size());
  uint64_t total = kOffsetTableSize + uint64_t{count} * kTableRecordSize;
  for (const TableData& t : tables) total += Align4(t.bytes.size());
  if (total > kLargestFontData) return false;
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[total]());
  if (!bytes) return false;
  WriteOffsetTable(bytes.get(), sfntVersion, count);
  size_t recordAt = kOffsetTableSize;
  uint64_t tableAt = kOffsetTableSize + uint64_t{count} * kTableRecordSize;
  for (const TableData& t : tables) {
    PutU32(&bytes[recordAt], t.tag.value);
    PutU32(&bytes[recordAt + 8], static_cast<uint32_t>(tableAt));
    PutU32(&bytes[recordAt + 12], static_cast<uint32_t>(t.bytes.size()));
    if (!t.bytes.empty()) std::memcpy(&bytes[tableAt], t.bytes.data(), t.bytes.size());
    recordAt += kTableRecordSize;
    tableAt += Align4(t.bytes.size());
  }
  out.bytes = std::move(bytes);
  out.size = static_cast<uint32_t>(total);
  return true;
}

bool BuildStandaloneFont(const Directory& directory, StandaloneFont& out) {
  ViewCopier copier(directory);
  return BuildStandaloneFont(directory, directory.data().size(), copier, out);
}

}  // namespace tavrfndl::sfnt
