// Table access for both font sources, and the table directory the font header is built from.
#include "truetype/tables.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

namespace tavrfndl {

namespace {

// Table directory layout of an sfnt file.
constexpr size_t kNumTablesOffset = 4;
constexpr size_t kFirstRecordOffset = 12;
constexpr size_t kRecordSize = 16;

// The font header's GT directory: the offset table and the "gdir" record (28 bytes), then one
// 16-byte record per selected table.
constexpr uint32_t kGtDirectoryBase = 28;
constexpr uint32_t kGtRecordSize = 16;

// Tag texts are compared as zero-terminated 4-byte texts, so that the 3-letter names "cvt" and
// "CVT" match a tag whose fourth byte is 0, and never the standard "cvt " with its blank.
bool SameTagText(const char tag[5], const char* name) {
  return name != nullptr && std::strncmp(tag, name, 5) == 0;
}

void CopyTagText(ByteView record, char tag[5]) {
  for (size_t i = 0; i < 4; ++i) {
    uint8_t b = 0;
    record.ReadU8(i, b);
    tag[i] = static_cast<char>(b);
  }
  tag[4] = '\0';
}

// Table records that exist in the data: the stated count, cut where the records leave the data.
uint32_t RecordCount(ByteView font) {
  uint16_t stated = 0;
  if (!font.ReadU16(kNumTablesOffset, stated)) return 0;
  if (font.size() < kFirstRecordOffset) return 0;
  const size_t present = (font.size() - kFirstRecordOffset) / kRecordSize;
  return static_cast<uint32_t>(std::min<size_t>(stated, present));
}

// The upper-case form of a tag text, ASCII only (tags are ASCII by the TrueType format).
void UpperTagText(const char* lower, char upper[5]) {
  size_t i = 0;
  for (; i < 4 && lower[i] != '\0'; ++i) {
    const char c = lower[i];
    upper[i] = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
  }
  for (; i < 5; ++i) upper[i] = '\0';
}

bool FitsTag(const char* text) {
  for (size_t i = 0; i < 5; ++i) {
    if (text[i] == '\0') return true;
  }
  return false;
}

// The 4 bytes of a tag text, missing bytes as 0, so that a short name never reads past its end.
uint32_t IdentifierOfTagText(const char* text) {
  char tag[5] = {};
  for (size_t i = 0; i < 4 && text[i] != '\0'; ++i) tag[i] = text[i];
  return TableIdentifier(tag);
}

}  // namespace

uint32_t GetFontTable(platform::HDC hDC, uint32_t dwTable, TableBuffer& out) {
  out.bytes.reset();
  out.size = 0;
  platform::FontEngine& engine = platform::CurrentFontEngine();
  const uint32_t size = engine.GetFontData(hDC, dwTable, 0, nullptr, 0);
  if (size == platform::GDI_ERROR) return platform::GDI_ERROR;
  // A table of 0 bytes still gets a block, so that a found table is told from a missing one.
  std::unique_ptr<uint8_t[]> bytes(new (std::nothrow) uint8_t[size == 0 ? 1 : size]);
  if (!bytes) return platform::GDI_ERROR;
  const uint32_t copied = engine.GetFontData(hDC, dwTable, 0, bytes.get(), size);
  // A failed second read leaves nothing behind: undefined contents would be read as a table.
  if (copied == platform::GDI_ERROR) return platform::GDI_ERROR;
  out.bytes = std::move(bytes);
  // An engine that copies fewer bytes than it announced hands over only those bytes.
  out.size = std::min(copied, size);
  return out.size;
}

std::shared_ptr<const platform::MappedFile> MapTTEFile(const char* path) {
  if (path == nullptr) return nullptr;
  return platform::MapFileShared(path);
}

std::optional<ByteView> GetTTEFilePointer(ByteView font, const char* lower, const char* upper) {
  const uint32_t count = RecordCount(font);
  for (uint32_t i = 0; i < count; ++i) {
    const ByteView record = font.SubClamped(kFirstRecordOffset + kRecordSize * i, kRecordSize);
    char tag[5];
    CopyTagText(record, tag);
    if (!SameTagText(tag, lower) && !SameTagText(tag, upper)) continue;
    uint32_t offset = 0;
    uint32_t length = 0;
    if (!record.ReadU32(8, offset) || !record.ReadU32(12, length)) return std::nullopt;
    // The first record with the tag decides; a table that leaves the data is missing.
    return font.Sub(offset, length);
  }
  return std::nullopt;
}

bool IsHeaderTable(const char tag[5]) {
  static constexpr const char* kHeaderTableNames[] = {
      "cvt",  "CVT",  "cvt ", "CVT ", "fpgm", "FPGM", "head", "HEAD",
      "hhea", "HHEA", "hmtx", "HMTX", "maxp", "MAXP", "prep", "PREP"};
  for (const char* name : kHeaderTableNames) {
    if (SameTagText(tag, name)) return true;
  }
  return false;
}

int ReadTableDirectory(ByteView font, std::vector<TableDirEntry>& records) {
  records.clear();
  const uint32_t count = RecordCount(font);
  try {
    records.resize(count);
  } catch (const std::bad_alloc&) {
    records.clear();
    return -1;
  }

  int selected = 0;
  for (uint32_t i = 0; i < count; ++i) {
    const ByteView record = font.SubClamped(kFirstRecordOffset + kRecordSize * i, kRecordSize);
    TableDirEntry& entry = records[i];
    CopyTagText(record, entry.tag);
    // RecordCount keeps only whole records, so these reads cannot fail.
    record.ReadU32(4, entry.checkSum);
    record.ReadU32(8, entry.offset);
    record.ReadU32(12, entry.length);
    if (IsHeaderTable(entry.tag)) {
      entry.selected = 1;
      ++selected;
    }
  }

  // Ascending offsets; tables at one offset stay in directory order.
  try {
    std::stable_sort(
        records.begin(), records.end(),
        [](const TableDirEntry& a, const TableDirEntry& b) { return a.offset < b.offset; });
  } catch (const std::bad_alloc&) {
    records.clear();
    return -1;
  }

  // Sizes beyond 32 bits cannot be described by a 32-bit directory; the header counts in 32 bits.
  const uint64_t total = std::min<uint64_t>(font.size(), 0xFFFFFFFFu);
  for (size_t k = 0; k < records.size(); ++k) {
    TableDirEntry& entry = records[k];
    const uint64_t offset = entry.offset;
    const uint64_t length = entry.length;
    uint64_t send = 0;
    if (k + 1 < records.size()) {
      // Sorted, so the gap cannot wrap; equal offsets give 0.
      const uint64_t gap = records[k + 1].offset - offset;
      // Padding in 64 bits: a length near 2^32 must not wrap to a small padded length.
      const uint64_t padded = (length + 3) & ~uint64_t{3};
      send = padded < gap ? padded : gap;
    } else {
      send = total > offset + length ? total - offset : length;
    }
    // Bytes that do not exist cannot be sent; cutting here keeps the header's size, offsets and
    // pieces in agreement.
    const uint64_t available = total > offset ? total - offset : 0;
    entry.sendLength = static_cast<uint32_t>(std::min(send, available));
  }

  uint32_t next = kGtDirectoryBase + kGtRecordSize * static_cast<uint32_t>(selected);
  for (TableDirEntry& entry : records) {
    if (!entry.selected) continue;
    entry.newOffset = next;
    next += entry.sendLength;
  }
  return selected;
}

bool FontTables::Open() {
  if (opened_) return !openFailed_;
  opened_ = true;
  if (!source_.bTTE) return true;
  file_ = MapTTEFile(source_.path);
  if (!file_) {
    openFailed_ = true;
    if (source_.pbFontFileError) *source_.pbFontFileError = 1;
    return false;
  }
  return true;
}

std::optional<ByteView> FontTables::Find(const char* lowerTag) {
  // A tag has 4 bytes: a longer name is no table, and must not match through its first four.
  if (lowerTag == nullptr || !FitsTag(lowerTag) || !Open()) return std::nullopt;
  // The identifier holds the tag text up to its terminator, so it stands for both forms the file
  // is searched for.
  const uint32_t id = IdentifierOfTagText(lowerTag);
  for (const Cached& cached : cache_) {
    if (cached.id == id) return cached.view;
  }
  Cached fetched{id, TableBuffer{}, std::nullopt};
  if (source_.bTTE) {
    char upper[5];
    UpperTagText(lowerTag, upper);
    fetched.view = GetTTEFilePointer(ByteView(file_->data(), file_->size()), lowerTag, upper);
  } else if (GetFontTable(source_.hDC, id, fetched.buffer) != platform::GDI_ERROR) {
    fetched.view = fetched.buffer.view();
  }
  const std::optional<ByteView> result = fetched.view;
  try {
    // The bytes stay where they are when the cache grows: the view points into the heap block
    // (engine) or the mapping this object holds (file).
    cache_.push_back(std::move(fetched));
  } catch (const std::bad_alloc&) {
    // The engine's copy goes with the entry; the file's bytes stay mapped.
    return source_.bTTE ? result : std::nullopt;
  }
  return result;
}

uint16_t GetNumberOfGlyphsInFont(const FontSource& source) {
  FontTables tables(source);
  if (!tables.Open()) return 0;
  const std::optional<ByteView> maxp = tables.Find("maxp");
  uint16_t count = 0;
  if (!maxp || !maxp->ReadU16(4, count)) return 0;
  return count;
}

}  // namespace tavrfndl
