#include "font_rebuild.h"

#include <algorithm>

#include "sfnt/font_writer.h"

namespace fndl {
namespace {

namespace sfnt = tavrfndl::sfnt;
using tavrfndl::ByteView;

struct Table {
  sfnt::Tag tag;
  std::vector<uint8_t> data;
};

Table* FindTable(std::vector<Table>& tables, sfnt::Tag tag) {
  for (Table& t : tables) {
    if (t.tag == tag) return &t;
  }
  return nullptr;
}

// head.indexToLocFormat sits at byte 50 of the 54-byte table; maxp.numGlyphs at byte 4.
constexpr size_t kHeadSize = 54;
constexpr size_t kIndexToLocFormat = 50;
constexpr size_t kMaxpNumGlyphs = 4;

// The GT segment's tables, each once and cut to the segment. The glyph outlines come from the
// character records, not from the header.
std::vector<Table> HeaderTables(const SoftFont& font, std::vector<std::string>& notes) {
  const FontHeaderInfo& header = font.header;
  const ByteView gt(font.headerBytes.data() + header.gtOffset, header.gtSize);
  std::vector<Table> tables;
  for (const SfntTableRecord& record : header.tables) {
    const sfnt::Tag tag = sfnt::Tag::FromBytes(record.tag);
    if (tag == sfnt::Tag("gdir") || tag == sfnt::Tag("loca") || tag == sfnt::Tag("glyf")) continue;
    if (FindTable(tables, tag)) {
      notes.push_back("a second table " + PrintableTag(record.tag) + " is ignored");
      continue;
    }
    const ByteView bytes = gt.SubClamped(record.offset, record.length);
    if (bytes.size() != record.length) {
      notes.push_back("table " + PrintableTag(record.tag) + " was cut to the GT segment");
    }
    tables.push_back({tag, std::vector<uint8_t>(bytes.data(), bytes.data() + bytes.size())});
  }
  return tables;
}

// The glyph count from "maxp", and "head" told that "loca" has long offsets.
bool ReadGlyphCount(std::vector<Table>& tables, uint16_t& numGlyphs, std::string& error) {
  Table* head = FindTable(tables, sfnt::Tag("head"));
  Table* maxp = FindTable(tables, sfnt::Tag("maxp"));
  if (!head || head->data.size() < kHeadSize) {
    error = "the GT segment has no complete \"head\" table";
    return false;
  }
  if (!maxp || !ByteView(maxp->data.data(), maxp->data.size()).ReadU16(kMaxpNumGlyphs, numGlyphs)) {
    error = "the GT segment has no complete \"maxp\" table";
    return false;
  }
  tavrfndl::PutU16(&head->data[kIndexToLocFormat], 1);
  return true;
}

void NoteGlyphsBeyond(const SoftFont& font, uint16_t numGlyphs, std::vector<std::string>& notes) {
  size_t ignored = 0;
  for (const auto& [index, bytes] : font.glyphs) {
    if (index >= numGlyphs) ++ignored;
  }
  if (ignored) {
    notes.push_back(std::to_string(ignored) + " glyph records beyond the font's " +
                    std::to_string(numGlyphs) + " glyphs are ignored");
  }
}

void AppendOffset(std::vector<uint8_t>& loca, size_t offset) {
  loca.resize(loca.size() + 4);
  tavrfndl::PutU32(&loca[loca.size() - 4], static_cast<uint32_t>(offset));
}

// "glyf" from the records in glyph order, each glyph 4-byte aligned, and its long "loca"; glyphs
// without a record are empty.
void AssembleGlyphs(const SoftFont& font, uint16_t numGlyphs, std::vector<Table>& tables) {
  Table glyf{sfnt::Tag("glyf"), {}};
  Table loca{sfnt::Tag("loca"), {}};
  auto next = font.glyphs.begin();
  for (uint32_t g = 0; g < numGlyphs; ++g) {
    AppendOffset(loca.data, glyf.data.size());
    while (next != font.glyphs.end() && next->first < g) ++next;
    if (next != font.glyphs.end() && next->first == g) {
      glyf.data.insert(glyf.data.end(), next->second.begin(), next->second.end());
      glyf.data.resize(tavrfndl::Align4(glyf.data.size()));
    }
  }
  AppendOffset(loca.data, glyf.data.size());
  tables.push_back(std::move(glyf));
  tables.push_back(std::move(loca));
}

// The tables sorted by tag, with checksums: FreeType does not check them, other readers may.
bool WriteFont(std::vector<Table>& tables, std::vector<uint8_t>& file, std::string& error) {
  std::sort(tables.begin(), tables.end(),
            [](const Table& a, const Table& b) { return a.tag.value < b.tag.value; });
  std::vector<sfnt::TableData> data;
  for (const Table& t : tables) data.push_back({t.tag, ByteView(t.data.data(), t.data.size())});
  sfnt::StandaloneFont made;
  if (!sfnt::BuildFont(0x00010000, data, made, sfnt::Checksums::kComputed)) {
    error = "the rebuilt font would have too many tables or be 4 GiB or larger";
    return false;
  }
  file.assign(made.bytes.get(), made.bytes.get() + made.size);
  return true;
}

}  // namespace

bool RebuildTrueType(const SoftFont& font, RebuiltFont& out, std::string& error) {
  out = RebuiltFont{};
  if (!font.headerComplete || !font.header.hasGT) {
    error = "the font header has no GT segment";
    return false;
  }
  std::vector<Table> tables = HeaderTables(font, out.notes);
  if (!ReadGlyphCount(tables, out.numGlyphs, error)) return false;
  NoteGlyphsBeyond(font, out.numGlyphs, out.notes);
  AssembleGlyphs(font, out.numGlyphs, tables);
  return WriteFont(tables, out.file, error);
}

}  // namespace fndl
