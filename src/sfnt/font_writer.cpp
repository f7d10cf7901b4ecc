#include "sfnt/font_writer.h"

#include <cstring>
#include <new>

namespace tavrfndl::sfnt {
namespace {

// The engine's error value is the largest 32-bit number, so font data must stay below it.
constexpr uint64_t kLargestFontData = 0xFFFFFFFEu;

uint64_t DirectorySize(uint16_t count) {
  return kOffsetTableSize + uint64_t{count} * kTableRecordSize;
}

}  // namespace

OffsetTable OffsetTable::For(uint32_t sfntVersion, uint16_t numTables) {
  uint16_t entrySelector = 0;
  while (numTables > 0 && (2u << entrySelector) <= numTables) ++entrySelector;
  const uint32_t searchRange = numTables > 0 ? (1u << entrySelector) * kTableRecordSize : 0;
  OffsetTable table;
  table.sfntVersion = sfntVersion;
  table.numTables = numTables;
  table.searchRange = static_cast<uint16_t>(searchRange);
  table.entrySelector = entrySelector;
  table.rangeShift = static_cast<uint16_t>(numTables * kTableRecordSize - searchRange);
  return table;
}

bool ReadOffsetTable(ByteView data, OffsetTable& out) {
  Cursor cursor(data);
  OffsetTable table;
  if (!cursor.ReadU32(table.sfntVersion) || !cursor.ReadU16(table.numTables) ||
      !cursor.ReadU16(table.searchRange) || !cursor.ReadU16(table.entrySelector) ||
      !cursor.ReadU16(table.rangeShift)) {
    return false;
  }
  out = table;
  return true;
}

void PutOffsetTable(uint8_t* out, const OffsetTable& table) {
  PutU32(out, table.sfntVersion);
  PutU16(out + 4, table.numTables);
  PutU16(out + 6, table.searchRange);
  PutU16(out + 8, table.entrySelector);
  PutU16(out + 10, table.rangeShift);
}

void PutTableRecord(uint8_t* out, const TableRecord& record) {
  PutU32(out, record.tag.value);
  PutU32(out + 4, record.checkSum);
  PutU32(out + 8, record.offset);
  PutU32(out + 12, record.length);
}

uint32_t TableChecksum(ByteView table) {
  uint32_t sum = 0;
  const size_t whole = table.size() / 4 * 4;
  for (size_t i = 0; i < whole; i += 4) {
    uint32_t word = 0;
    table.ReadU32(i, word);
    sum += word;
  }
  uint32_t last = 0;
  for (size_t i = whole; i < table.size(); ++i) {
    last |= uint32_t{table.data()[i]} << (24 - 8 * (i - whole));
  }
  return sum + last;
}

bool FontWriter::Begin(uint32_t sfntVersion, uint16_t count, uint64_t tableBytes) {
  *this = FontWriter();
  const uint64_t total = DirectorySize(count) + tableBytes;
  if (tableBytes > kLargestFontData || total > kLargestFontData) return false;
  bytes_.reset(new (std::nothrow) uint8_t[total]());
  if (!bytes_) return false;
  PutOffsetTable(bytes_.get(), OffsetTable::For(sfntVersion, count));
  size_ = total;
  tableAt_ = DirectorySize(count);
  count_ = count;
  return true;
}

uint8_t* FontWriter::Add(TableRecord record) {
  if (!bytes_ || added_ == count_ || Align4(record.length) > size_ - tableAt_) return nullptr;
  record.offset = static_cast<uint32_t>(tableAt_);
  PutTableRecord(&bytes_[DirectorySize(added_)], record);
  ++added_;
  tableAt_ += Align4(record.length);
  return &bytes_[record.offset];
}

void FontWriter::ComputeChecksums() {
  const ByteView font(bytes_.get(), size_);
  for (uint16_t i = 0; i < added_; ++i) {
    uint8_t* record = &bytes_[DirectorySize(i)];
    uint32_t offset = 0, length = 0;
    font.ReadU32(DirectorySize(i) + 8, offset);
    font.ReadU32(DirectorySize(i) + 12, length);
    PutU32(record + 4, TableChecksum(font.SubClamped(offset, length)));
  }
}

bool FontWriter::Finish(StandaloneFont& out) {
  if (!bytes_ || added_ != count_ || tableAt_ != size_) return false;
  out.bytes = std::move(bytes_);
  out.size = static_cast<uint32_t>(size_);
  *this = FontWriter();
  return true;
}

bool BuildFont(uint32_t sfntVersion, std::span<const TableData> tables, StandaloneFont& out,
               Checksums checksums) {
  out = StandaloneFont();
  if (tables.size() > 0xFFFF) return false;
  uint64_t tableBytes = 0;
  for (const TableData& t : tables) tableBytes += Align4(t.bytes.size());
  FontWriter writer;
  if (!writer.Begin(sfntVersion, static_cast<uint16_t>(tables.size()), tableBytes)) return false;
  for (const TableData& t : tables) {
    TableRecord record;
    record.tag = t.tag;
    record.length = static_cast<uint32_t>(t.bytes.size());
    uint8_t* at = writer.Add(record);
    if (!at) return false;
    if (!t.bytes.empty()) std::memcpy(at, t.bytes.data(), t.bytes.size());
  }
  if (checksums == Checksums::kComputed) writer.ComputeChecksums();
  return writer.Finish(out);
}

}  // namespace tavrfndl::sfnt
