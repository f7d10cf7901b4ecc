#include "font_rebuild.h"

#include <algorithm>
#include <cstring>

namespace fndl {
namespace {

struct Table {
  char tag[4];
  std::vector<uint8_t> data;
};

void PutBe16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}

uint32_t Checksum(const std::vector<uint8_t>& data) {
  uint32_t sum = 0;
  for (size_t i = 0; i < data.size(); i += 4) {
    uint32_t word = 0;
    for (size_t k = 0; k < 4; ++k) {
      word = (word << 8) | (i + k < data.size() ? data[i + k] : 0);
    }
    sum += word;
  }
  return sum;
}

bool TagIs(const char tag[4], const char* name) {
  return std::memcmp(tag, name, 4) == 0;
}

Table* FindTable(std::vector<Table>& tables, const char* name) {
  for (Table& t : tables) {
    if (TagIs(t.tag, name)) return &t;
  }
  return nullptr;
}

// head.indexToLocFormat sits at byte 50 of the 54-byte table; maxp.numGlyphs at byte 4.
constexpr size_t kHeadSize = 54;
constexpr size_t kIndexToLocFormat = 50;
constexpr size_t kMaxpNumGlyphs = 4;

}  // namespace

bool RebuildTrueType(const SoftFont& font, RebuiltFont& out, std::string& error) {
  out = RebuiltFont{};
  const FontHeaderInfo& header = font.header;
  if (!font.headerComplete || !header.hasGT) {
    error = "the font header has no GT segment";
    return false;
  }
  const uint8_t* gt = font.headerBytes.data() + header.gtOffset;
  std::vector<Table> tables;
  for (const SfntTableRecord& record : header.tables) {
    // The glyph outlines come from the character records, not from the header.
    if (TagIs(record.tag, "gdir") || TagIs(record.tag, "loca") || TagIs(record.tag, "glyf")) {
      continue;
    }
    if (FindTable(tables, record.tag)) {
      out.notes.push_back("a second table " + PrintableTag(record.tag) + " is ignored");
      continue;
    }
    uint32_t offset = std::min(record.offset, header.gtSize);
    uint32_t length = std::min(record.length, header.gtSize - offset);
    if (length != record.length) {
      out.notes.push_back("table " + PrintableTag(record.tag) + " was cut to the GT segment");
    }
    Table table;
    std::memcpy(table.tag, record.tag, 4);
    table.data.assign(gt + offset, gt + offset + length);
    tables.push_back(std::move(table));
  }
  Table* head = FindTable(tables, "head");
  Table* maxp = FindTable(tables, "maxp");
  if (!head || head->data.size() < kHeadSize) {
    error = "the GT segment has no complete \"head\" table";
    return false;
  }
  if (!maxp || maxp->data.size() < kMaxpNumGlyphs + 2) {
    error = "the GT segment has no complete \"maxp\" table";
    return false;
  }
  out.numGlyphs =
      static_cast<uint16_t>((maxp->data[kMaxpNumGlyphs] << 8) | maxp->data[kMaxpNumGlyphs + 1]);
  head->data[kIndexToLocFormat] = 0;
  head->data[kIndexToLocFormat + 1] = 1;

  Table glyf{{'g', 'l', 'y', 'f'}, {}};
  Table loca{{'l', 'o', 'c', 'a'}, {}};
  size_t ignored = 0;
  for (const auto& [index, bytes] : font.glyphs) {
    if (index >= out.numGlyphs) ++ignored;
  }
  if (ignored) {
    out.notes.push_back(std::to_string(ignored) + " glyph records beyond the font's " +
                        std::to_string(out.numGlyphs) + " glyphs are ignored");
  }
  auto next = font.glyphs.begin();
  for (uint32_t g = 0; g < out.numGlyphs; ++g) {
    PutBe32(loca.data, static_cast<uint32_t>(glyf.data.size()));
    while (next != font.glyphs.end() && next->first < g) ++next;
    if (next != font.glyphs.end() && next->first == g) {
      glyf.data.insert(glyf.data.end(), next->second.begin(), next->second.end());
      while (glyf.data.size() % 4) glyf.data.push_back(0);
    }
  }
  PutBe32(loca.data, static_cast<uint32_t>(glyf.data.size()));
  tables.push_back(std::move(glyf));
  tables.push_back(std::move(loca));
  std::sort(tables.begin(), tables.end(),
            [](const Table& a, const Table& b) { return std::memcmp(a.tag, b.tag, 4) < 0; });

  auto numTables = static_cast<uint16_t>(tables.size());
  uint16_t entrySelector = 0;
  while ((2u << entrySelector) <= numTables) ++entrySelector;
  auto searchRange = static_cast<uint16_t>(16u << entrySelector);
  std::vector<uint8_t>& file = out.file;
  PutBe32(file, 0x00010000);
  PutBe16(file, numTables);
  PutBe16(file, searchRange);
  PutBe16(file, entrySelector);
  PutBe16(file, static_cast<uint16_t>(numTables * 16u - searchRange));
  size_t offset = 12 + 16 * tables.size();
  for (const Table& t : tables) {
    file.insert(file.end(), t.tag, t.tag + 4);
    PutBe32(file, Checksum(t.data));
    PutBe32(file, static_cast<uint32_t>(offset));
    PutBe32(file, static_cast<uint32_t>(t.data.size()));
    offset += (t.data.size() + 3) & ~static_cast<size_t>(3);
  }
  for (const Table& t : tables) {
    file.insert(file.end(), t.data.begin(), t.data.end());
    while (file.size() % 4) file.push_back(0);
  }
  return true;
}

}  // namespace fndl
