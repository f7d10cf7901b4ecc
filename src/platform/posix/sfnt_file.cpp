#include "platform/posix/sfnt_file.h"

#include <cstring>
#include <new>

namespace tavrfndl::platform::posix {
namespace {

constexpr size_t kOffsetTableSize = 12;
constexpr size_t kRecordSize = 16;
// GDI_ERROR is the largest 32-bit value, so a font data size must stay below it.
constexpr uint64_t kLargestFontData = 0xFFFFFFFEu;

void PutU16(uint8_t* out, uint16_t v) {
  out[0] = static_cast<uint8_t>(v >> 8);
  out[1] = static_cast<uint8_t>(v);
}

void PutU32(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v >> 24);
  out[1] = static_cast<uint8_t>(v >> 16);
  out[2] = static_cast<uint8_t>(v >> 8);
  out[3] = static_cast<uint8_t>(v);
}

uint64_t Align4(uint64_t n) {
  return (n + 3) & ~uint64_t{3};
}

}  // namespace

bool SfntDirectory::Parse(ByteView file, uint32_t faceIndex) {
  *this = SfntDirectory();
  uint32_t tag = 0;
  if (!file.ReadU32(0, tag)) return false;
  size_t offset = 0;
  bool collection = tag == kCollectionTag;
  if (collection) {
    uint32_t numFonts = 0;
    uint32_t faceOffset = 0;
    if (!file.ReadU32(8, numFonts) || faceIndex >= numFonts ||
        !file.ReadU32(12 + size_t{faceIndex} * 4, faceOffset)) {
      return false;
    }
    offset = faceOffset;
  } else if (faceIndex != 0) {
    return false;
  }
  uint32_t version = 0;
  uint16_t numTables = 0;
  if (!file.ReadU32(offset, version) || !file.ReadU16(offset + 4, numTables)) return false;
  if (!file.Contains(offset, kOffsetTableSize)) return false;
  size_t available = (file.size() - offset - kOffsetTableSize) / kRecordSize;
  file_ = file;
  directoryOffset_ = offset;
  sfntVersion_ = version;
  tableCount_ = static_cast<uint16_t>(numTables < available ? numTables : available);
  inCollection_ = collection;
  return true;
}

bool SfntDirectory::Record(uint16_t i, SfntTableRecord& out) const {
  if (i >= tableCount_) return false;
  Cursor cursor(file_, directoryOffset_ + kOffsetTableSize + size_t{i} * kRecordSize);
  SfntTableRecord record;
  if (!cursor.ReadU32(record.tag) || !cursor.ReadU32(record.checkSum) ||
      !cursor.ReadU32(record.offset) || !cursor.ReadU32(record.length)) {
    return false;
  }
  out = record;
  return true;
}

std::optional<ByteView> SfntDirectory::TableBytes(const SfntTableRecord& record) const {
  return file_.Sub(record.offset, record.length);
}

std::optional<ByteView> SfntDirectory::Find(uint32_t tag) const {
  for (uint16_t i = 0; i < tableCount_; ++i) {
    SfntTableRecord record;
    if (!Record(i, record) || record.tag != tag) continue;
    if (auto bytes = TableBytes(record)) return bytes;
  }
  return std::nullopt;
}

std::unique_ptr<uint8_t[]> BuildStandaloneFont(const SfntDirectory& directory, uint32_t& size) {
  size = 0;
  uint16_t kept = 0;
  uint64_t tableBytes = 0;
  for (uint16_t i = 0; i < directory.tableCount(); ++i) {
    SfntTableRecord record;
    if (!directory.Record(i, record) || !directory.TableBytes(record)) continue;
    ++kept;
    tableBytes += Align4(record.length);
  }
  uint64_t headerBytes = kOffsetTableSize + uint64_t{kept} * kRecordSize;
  uint64_t total = headerBytes + tableBytes;
  if (total > kLargestFontData) return nullptr;
  std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[total]());
  if (!out) return nullptr;

  // The binary-search fields of the offset table: the largest power of two not above the count.
  uint16_t entrySelector = 0;
  while (kept > 0 && (2u << entrySelector) <= kept) ++entrySelector;
  uint16_t searchRange = static_cast<uint16_t>(kept > 0 ? (1u << entrySelector) * kRecordSize : 0);
  PutU32(&out[0], directory.sfntVersion());
  PutU16(&out[4], kept);
  PutU16(&out[6], searchRange);
  PutU16(&out[8], entrySelector);
  PutU16(&out[10], static_cast<uint16_t>(kept * kRecordSize - searchRange));

  size_t recordAt = kOffsetTableSize;
  size_t tableAt = static_cast<size_t>(headerBytes);
  for (uint16_t i = 0; i < directory.tableCount(); ++i) {
    SfntTableRecord record;
    if (!directory.Record(i, record)) continue;
    auto bytes = directory.TableBytes(record);
    if (!bytes) continue;
    PutU32(&out[recordAt], record.tag);
    PutU32(&out[recordAt + 4], record.checkSum);
    PutU32(&out[recordAt + 8], static_cast<uint32_t>(tableAt));
    PutU32(&out[recordAt + 12], record.length);
    if (record.length > 0) memcpy(&out[tableAt], bytes->data(), record.length);
    recordAt += kRecordSize;
    tableAt += static_cast<size_t>(Align4(record.length));
  }
  size = static_cast<uint32_t>(total);
  return out;
}

}  // namespace tavrfndl::platform::posix
