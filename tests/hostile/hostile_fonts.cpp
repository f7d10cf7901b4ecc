#include "hostile/hostile_fonts.h"

#include <gtest/gtest.h>

#include "support/fontbuilder.h"

namespace tavrfndl::test {
namespace {

constexpr uint16_t kA = 0x41;

Component Part(uint16_t glyph, int32_t dx = 0) {
  Component c;
  c.glyphIndex = glyph;
  c.arg1 = dx;
  return c;
}

// Glyphs of the intact font; a variant replaces one of them.
struct Glyphs {
  std::vector<uint8_t> g1 = SimpleGlyph({{{0, 0}, {500, 0}, {250, 700}}});
  std::vector<uint8_t> g2 = SimpleGlyph({{{0, 0}, {400, 0}, {400, 400}, {0, 400}}});
  std::vector<uint8_t> g3 = CompositeGlyph({Part(1), Part(2, 120)});
  std::vector<uint8_t> g4 = SimpleGlyph({{{0, 0}, {300, 0}, {300, 300}}});
};

GlyfBuilder BuildGlyf(const Glyphs& glyphs) {
  GlyfBuilder glyf(LocaFormat::kShort);
  glyf.AddEmpty();
  glyf.AddGlyph(glyphs.g1);
  glyf.AddGlyph(glyphs.g2);
  glyf.AddGlyph(glyphs.g3);
  glyf.AddGlyph(glyphs.g4);
  return glyf;
}

std::vector<CmapSegment> IntactSegments() {
  return {{kA, kA + 3, static_cast<uint16_t>(1 - kA), {}, std::nullopt},
          {0x61, 0x62, 0, {1, 2}, std::nullopt},
          CmapSegment::Final()};
}

CmapBuilder IntactCmap() {
  CmapBuilder cmap;
  cmap.AddFormat4(3, 1, IntactSegments());
  return cmap;
}

FontBuilder Intact(const GlyfBuilder& glyf = BuildGlyf(Glyphs()),
                   const CmapBuilder& cmap = IntactCmap()) {
  return BasicFont(glyf, cmap);
}

// The same font with one directory record changed; offsets may be set past the file's end
// because the data stay where the layout put them.
template <typename Change>
std::vector<uint8_t> WithRecord(const char* tag, Change change) {
  FontBuilder font = Intact();
  const uint32_t size = static_cast<uint32_t>(font.Build().size());
  size_t index = 0;
  for (const char* t :
       {"cmap", "cvt ", "fpgm", "glyf", "head", "hhea", "hmtx", "loca", "maxp", "prep"}) {
    if (std::string(t) == tag) break;
    ++index;
  }
  change(*font.Find(tag), font.OffsetOf(index), size);
  return font.Build();
}

// The intact font with a big-endian field of `width` bytes inside one table set to value.
std::vector<uint8_t> WithField(const char* tag, size_t at, size_t width, uint32_t value) {
  FontBuilder font = Intact();
  std::vector<uint8_t>& data = font.Find(tag)->data;
  for (size_t i = width; i-- > 0; value >>= 8) data.at(at + i) = static_cast<uint8_t>(value);
  return font.Build();
}

// The intact font cut to its first `size` bytes.
std::vector<uint8_t> CutTo(size_t size) {
  std::vector<uint8_t> font = IntactFont();
  font.resize(size);
  return font;
}

std::vector<uint8_t> WithGlyph3(std::vector<uint8_t> g3) {
  Glyphs glyphs;
  glyphs.g3 = std::move(g3);
  return Intact(BuildGlyf(glyphs)).Build();
}

// Composites nested eight deep, each naming the next one 16 times: glyph 3 stands for 16^7
// copies of the simple glyph at the bottom. Glyphs 5..11 are the levels, 12 the simple glyph.
std::vector<uint8_t> FanOut() {
  constexpr uint16_t kFirstLevel = 5;
  constexpr uint16_t kLeaf = 12;
  constexpr size_t kFanOut = 16;
  Glyphs glyphs;
  glyphs.g3 = CompositeGlyph(std::vector<Component>(kFanOut, Part(kFirstLevel)));
  GlyfBuilder glyf = BuildGlyf(glyphs);
  for (uint16_t g = kFirstLevel; g < kLeaf; ++g) {
    glyf.AddGlyph(CompositeGlyph(std::vector<Component>(kFanOut, Part(g + 1))));
  }
  glyf.AddGlyph(SimpleGlyph({{{0, 0}, {100, 0}, {50, 100}}}));
  return Intact(glyf).Build();
}

std::vector<uint8_t> WithCmap(const CmapBuilder& cmap) {
  return Intact(BuildGlyf(Glyphs()), cmap).Build();
}

std::vector<uint8_t> WithLoca(size_t index, uint32_t raw) {
  GlyfBuilder glyf = BuildGlyf(Glyphs());
  glyf.SetRawLoca(index, raw);
  return Intact(glyf).Build();
}

// A collection of one face, the intact font, behind the collection header; its table offsets
// count from the start of the file, as in any collection.
std::vector<uint8_t> Collection() {
  constexpr uint32_t kHeader = 16;
  FontBuilder font = Intact();
  const char* tags[] = {"cmap", "cvt ", "fpgm", "glyf", "head",
                        "hhea", "hmtx", "loca", "maxp", "prep"};
  for (size_t i = 0; i < std::size(tags); ++i) {
    font.Find(tags[i])->dirOffset = font.OffsetOf(i) + kHeader;
  }
  Bytes b;
  b.Text("ttcf").U16(1).U16(0).U32(1).U32(kHeader).Append(font.Build());
  return b.Take();
}

// The header tables listed again and again: a directory of more than 65535 bytes, which has to
// go out in several ReadFontHeader pieces.
std::vector<uint8_t> LongDirectory() {
  FontBuilder font = Intact();
  const uint32_t prepOffset = font.OffsetOf(9);
  const uint32_t prepLength = static_cast<uint32_t>(font.Find("prep")->data.size());
  constexpr size_t kCopies = 4100;
  // Every table moves down by the added records; the copies point at the moved "prep".
  const uint32_t shift = static_cast<uint32_t>(16 * kCopies);
  const char* tags[] = {"cmap", "cvt ", "fpgm", "glyf", "head",
                        "hhea", "hmtx", "loca", "maxp", "prep"};
  // Offsets of the automatic layout first: each table given an explicit offset leaves the
  // layout of the others.
  std::vector<uint32_t> offsets;
  for (size_t i = 0; i < std::size(tags); ++i) offsets.push_back(font.OffsetOf(i));
  for (size_t i = 0; i < std::size(tags); ++i) font.Find(tags[i])->offset = offsets[i] + shift;
  for (size_t i = 0; i < kCopies; ++i) {
    TableSpec& copy = font.AddTable("prep", {});
    copy.dirOffset = prepOffset + shift;
    copy.length = prepLength;
  }
  return font.Build();
}

// A simple glyph followed by filler up to size bytes (glyph bytes are sent as they stand).
std::vector<uint8_t> GlyphOfSize(size_t size) {
  std::vector<uint8_t> g = SimpleGlyph({{{0, 0}, {500, 0}, {250, 700}}});
  g.resize(size, 0);
  return g;
}

}  // namespace

std::vector<uint8_t> IntactFont() {
  return Intact().Build();
}

std::vector<HostileFont> HostileFonts() {
  std::vector<HostileFont> fonts;
  auto add = [&](std::string name, std::string what, std::vector<uint8_t> bytes, int32_t result,
                 int32_t stop = 0) {
    fonts.push_back({std::move(name), std::move(what), std::move(bytes), result, stop});
  };

  // The table directory.
  {
    FontBuilder font = Intact();
    font.SetNumTables(0xFFFF);
    add("numtables-past-end.ttf",
        "numTables 65535 with 10 records: the directory promises records the file does not have",
        font.Build(), 3);
  }
  {
    std::vector<uint8_t> cut = IntactFont();
    cut.resize(12 + 16 * 4 + 8);
    add("directory-cut.ttf", "the file ends inside the table directory: no table is there", cut, 3);
  }
  {
    std::vector<uint8_t> tiny = IntactFont();
    tiny.resize(11);
    add("tiny.ttf", "11 bytes: shorter than the offset table", tiny, 3);
  }
  add("empty.ttf", "a file of 0 bytes", {}, 3);
  add("ttcf-header.ttf", "a font collection, which file mode does not read", Collection(), 3);
  add("directory-over-64k.ttf",
      "4100 more records for \"prep\": a GT directory of more than 65535 bytes", LongDirectory(),
      0);

  // Offsets past the end and lengths that wrap.
  add("glyf-offset-past-end.ttf", "\"glyf\" starts past the end of the file",
      WithRecord("glyf", [](TableSpec& t, uint32_t, uint32_t size) { t.dirOffset = size + 64; }),
      3);
  add("cmap-offset-past-end.ttf", "\"cmap\" starts past the end of the file",
      WithRecord("cmap", [](TableSpec& t, uint32_t, uint32_t size) { t.dirOffset = size + 2; }), 3);
  add("hmtx-offset-past-end.ttf", "a header table (\"hmtx\") starts past the end of the file",
      WithRecord("hmtx", [](TableSpec& t, uint32_t, uint32_t size) { t.dirOffset = size + 4; }), 3);
  add("glyf-length-wraps.ttf", "\"glyf\" offset + length wraps 32 bits to a small number",
      WithRecord("glyf",
                 [](TableSpec& t, uint32_t offset, uint32_t) { t.length = 0u - offset + 0x10; }),
      3);
  add("prep-length-wraps.ttf",
      "the last header table (\"prep\") has a length that wraps 32 bits with its offset",
      WithRecord("prep",
                 [](TableSpec& t, uint32_t offset, uint32_t) { t.length = 0u - offset + 8; }),
      3);
  add("head-short.ttf", "\"head\" is 40 bytes: indexToLocFormat is not there",
      WithRecord("head", [](TableSpec& t, uint32_t, uint32_t) { t.length = 40; }), 3);

  // "loca" and "glyf".
  add("loca-past-glyf.ttf", "\"loca\" ends glyph 2 far past the end of \"glyf\"",
      WithLoca(3, 0xFFFF), 1, 1);
  add("loca-backwards.ttf", "\"loca\" starts glyph 1 behind its end", WithLoca(1, 0x7FFF), 1, 0);
  {
    GlyfBuilder glyf = BuildGlyf(Glyphs());
    glyf.SetLocaEntries(1);
    add("loca-short-table.ttf", "\"loca\" has one entry: no glyph but 0 can be located",
        Intact(glyf).Build(), 3);
  }
  {
    Glyphs glyphs;
    glyphs.g1 = GlyphOfSize(65530);
    add("glyph-over-record-limit.ttf",
        "glyph 1 is 65530 bytes, one more than a character record can carry",
        Intact(BuildGlyf(glyphs)).Build(), 1, 0);
  }

  // Composite glyphs.
  {
    // Header (10 bytes) and the first component record (6 bytes), which says more follow.
    std::vector<uint8_t> g3 = CompositeGlyph({Part(1), Part(2, 120)});
    g3.resize(16);
    add("composite-runs-off.ttf", "composite glyph 3 ends where its second component would start",
        WithGlyph3(g3), 1, 2);
  }
  add("composite-self.ttf", "composite glyph 3 has itself as its component",
      WithGlyph3(CompositeGlyph({Part(3)})), 1, 2);
  add("composite-fan-out.ttf",
      "composite glyph 3 nests composites eight deep, each naming the next 16 times: 16^7 "
      "component records if every one were sent",
      FanOut(), 1, 2);
  add("composite-missing-component.ttf", "composite glyph 3 names glyph 32767, which is not there",
      WithGlyph3(CompositeGlyph({Part(0x7FFF)})), 1, 2);

  // "cmap".
  {
    Format4Options options;
    options.segments = IntactSegments();
    options.segCountX2 = 0xFFFE;
    CmapBuilder cmap;
    cmap.AddFormat4(3, 1, options);
    add("cmap-segcount-past-table.ttf",
        "format 4 segCountX2 65534: the segment arrays leave \"cmap\"", WithCmap(cmap), 3);
  }
  {
    CmapBuilder cmap;
    cmap.AddRawRecord(3, 1, 0x7FFFFFF0).SetRecordCount(0xFFFF);
    add("cmap-records-past-table.ttf",
        "\"cmap\" has 65535 encoding records, one of them there, pointing past the table",
        WithCmap(cmap), 3);
  }
  {
    std::vector<CmapSegment> segments = IntactSegments();
    segments[0].idRangeOffset = 0xFFFE;
    CmapBuilder cmap;
    cmap.AddFormat4(3, 1, segments);
    add("idrangeoffset-past-table.ttf", "idRangeOffset of 'A'..'D' points past \"cmap\"",
        WithCmap(cmap), 1, 0);
  }
  {
    // 'A'..'C' through a glyph index array of one entry, the last bytes of "cmap".
    CmapBuilder cmap;
    cmap.AddFormat4(3, 1, {{kA, kA + 2, 0, {1}, std::nullopt}, CmapSegment::Final()});
    add("idrangeoffset-partly-past.ttf",
        "the glyph index array covers 'A' only, 'B' and 'C' read past \"cmap\"", WithCmap(cmap), 1,
        1);
  }
  // Damage a printer meets in the font header. The tables a font header carries must lie wholly
  // in the file and their fields hold what a rasterizer sizes its work by; a font that fails is
  // refused before anything of it is written.
  {
    const uint32_t hmtx = Intact().OffsetOf(6);
    const uint32_t prep = Intact().OffsetOf(9);
    add("cut-inside-hmtx.ttf", "the file ends 6 bytes into \"hmtx\": header tables are cut",
        CutTo(hmtx + 6), 3);
    add("cut-before-prep.ttf",
        "the file ends where \"prep\", the last table, starts: a header table is not there",
        CutTo(prep), 3);
  }
  add("maxp-length-past-end.ttf", "\"maxp\" length reaches one byte past the end of the file",
      WithRecord("maxp", [](TableSpec& t, uint32_t offset,
                            uint32_t size) { t.length = size - offset + 1; }),
      3);
  add("hmtx-short-for-metrics.ttf",
      "\"hmtx\" is 12 bytes, too few for the 5 metrics \"hhea\" gives",
      WithRecord("hmtx", [](TableSpec& t, uint32_t, uint32_t) { t.length = 12; }), 3);
  add("head-magic-smashed.ttf", "\"head\" magicNumber is 0", WithField("head", 12, 4, 0), 3);
  add("head-units-per-em-zero.ttf", "\"head\" unitsPerEm is 0", WithField("head", 18, 2, 0), 3);
  add("head-loca-format-2.ttf", "\"head\" indexToLocFormat is 2", WithField("head", 50, 2, 2), 3);
  add("hhea-metrics-over-glyphs.ttf", "\"hhea\" numberOfHMetrics is 6, \"maxp\" numGlyphs 5",
      WithField("hhea", 34, 2, 6), 3);
  add("maxp-no-glyphs.ttf", "\"maxp\" numGlyphs is 0", WithField("maxp", 4, 2, 0), 3);
  {
    FontBuilder font = Intact();
    std::vector<uint8_t>& prep = font.Find("prep")->data;
    prep.assign(2 + 200, 0);
    prep[0] = 0x40;  // NPUSHB 200
    prep[1] = 200;
    add("prep-past-maxp-stack.ttf",
        "\"prep\" pushes 200 values, more than \"maxp\" maxStackElements 64 leaves room for",
        font.Build(), 3);
  }

  // Damage a printer meets in a glyph: such a glyph is never sent; its character is answered
  // as one without a glyph.
  {
    Glyphs glyphs;
    glyphs.g1.resize(12);  // the heading and endPtsOfContours; instructionLength is cut off
    add("glyph-points-past-end.ttf",
        "simple glyph 1 ends after endPtsOfContours: its instructions, flags and coordinates "
        "are not there",
        Intact(BuildGlyf(glyphs)).Build(), 1, 0);
  }
  {
    Glyphs glyphs;
    glyphs.g2 = SimpleGlyph({{{0, 0}, {400, 0}, {400, 400}}, {{0, 400}, {100, 400}, {0, 500}}});
    glyphs.g2.at(12) = glyphs.g2.at(10);  // endPtsOfContours 2, 2
    glyphs.g2.at(13) = glyphs.g2.at(11);
    add("glyph-endpts-not-increasing.ttf",
        "simple glyph 2 has endPtsOfContours 2, 2: its second contour has no point",
        Intact(BuildGlyf(glyphs)).Build(), 1, 1);
  }
  add("composite-component-past-numglyphs.ttf",
      "composite glyph 3 names glyph 5 of a font of 5 glyphs",
      WithGlyph3(CompositeGlyph({Part(1), Part(5, 120)})), 1, 2);
  {
    Component matched = Part(2, 3);  // glyph 1 has points 0..2
    matched.argsAreXY = false;
    add("composite-matches-missing-point.ttf",
        "composite glyph 3 places glyph 2 by matching point 3 of glyph 1, which has 3 points",
        WithGlyph3(CompositeGlyph({Part(1), matched})), 1, 2);
  }
  return fonts;
}

HostileFont FindHostileFont(const std::string& name) {
  for (HostileFont& font : HostileFonts()) {
    if (font.name == name) return font;
  }
  ADD_FAILURE() << "no hostile font " << name;
  return {};
}

}  // namespace tavrfndl::test
