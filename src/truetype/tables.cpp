// Table access for both font sources, and the table directory the font header is built from.
#include "truetype/tables.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "sfnt/directory.h"
#include "sfnt/validate.h"

namespace tavrfndl {

namespace {

// The font header's GT directory: the offset table and the "gdir" record (28 bytes), then one
// 16-byte record per selected table.
constexpr uint32_t kGtDirectoryBase = 28;
constexpr uint32_t kGtRecordSize = 16;

// Tag texts are compared as zero-terminated 4-byte texts, so that the 3-letter names "cvt" and
// "CVT" match a tag whose fourth byte is 0, and never the standard "cvt " with its blank.
bool SameTagText(const char tag[5], const char* name) {
  return name != nullptr && std::strncmp(tag, name, 5) == 0;
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

// The records of the directory at the start of the font data (a collection header there is not
// followed: the caller names one font).
uint16_t ReadRecords(ByteView font, std::vector<TableDirEntry>& records) {
  sfnt::Directory directory;
  if (!directory.ReadAt(font)) return 0;
  records.resize(directory.tableCount());
  sfnt::TableRecord record;
  for (uint16_t i = 0; directory.Record(i, record); ++i) {
    TableDirEntry& entry = records[i];
    record.tag.Text(entry.tag);
    entry.checkSum = record.checkSum;
    entry.offset = record.offset;
    entry.length = record.length;
  }
  return directory.tableCount();
}

}  // namespace

uint32_t GetFontTable(platform::HDC hDC, uint32_t dwTable, TableBuffer& out) {
  out = TableBuffer{};
  platform::FontEngine& engine = platform::CurrentFontEngine();
  if (engine.LendFontData(hDC, dwTable, out.lent)) {
    out.size = out.lent.size;
    return out.size;
  }
  out.lent = platform::LentFontData{};  // whatever a refusing engine left there
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
  sfnt::Directory directory;
  if (!directory.ReadAt(font)) return std::nullopt;
  sfnt::TableRecord record;
  for (uint16_t i = 0; directory.Record(i, record); ++i) {
    char tag[5];
    record.tag.Text(tag);
    // The first record with the tag decides; a table that leaves the data is missing.
    if (SameTagText(tag, lower) || SameTagText(tag, upper)) return directory.TableBytes(record);
  }
  return std::nullopt;
}

bool IsHeaderTable(const char tag[5]) {
  return FitsTag(tag) && sfnt::IsHeaderTable(sfnt::Tag::FromText(tag));
}

namespace {

int SelectHeaderTables(std::vector<TableDirEntry>& records) {
  int selected = 0;
  for (TableDirEntry& entry : records) {
    if (IsHeaderTable(entry.tag)) {
      entry.selected = 1;
      ++selected;
    }
  }
  return selected;
}

// What each table sends: its padded length up to the next table, the rest of the font for the
// last one, and never bytes beyond the font, so that the header's size, offsets and pieces agree.
void SetSendLengths(ByteView font, std::vector<TableDirEntry>& records) {
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
      const uint64_t padded = Align4(length);
      send = padded < gap ? padded : gap;
    } else {
      send = total > offset + length ? total - offset : length;
    }
    const uint64_t available = total > offset ? total - offset : 0;
    entry.sendLength = static_cast<uint32_t>(std::min(send, available));
  }
}

void AssignNewOffsets(std::vector<TableDirEntry>& records, int selected) {
  uint32_t next = kGtDirectoryBase + kGtRecordSize * static_cast<uint32_t>(selected);
  for (TableDirEntry& entry : records) {
    if (!entry.selected) continue;
    entry.newOffset = next;
    next += entry.sendLength;
  }
}

}  // namespace

int ReadTableDirectory(ByteView font, std::vector<TableDirEntry>& records) {
  records.clear();
  try {
    ReadRecords(font, records);
    // Ascending offsets; tables at one offset stay in directory order.
    std::stable_sort(
        records.begin(), records.end(),
        [](const TableDirEntry& a, const TableDirEntry& b) { return a.offset < b.offset; });
  } catch (const std::bad_alloc&) {
    records.clear();
    return -1;
  }
  const int selected = SelectHeaderTables(records);
  SetSendLengths(font, records);
  AssignNewOffsets(records, selected);
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
  const uint32_t id = TableIdentifier(lowerTag);
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
