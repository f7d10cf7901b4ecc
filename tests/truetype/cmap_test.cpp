// The character-to-glyph map: subtable choice, the Unicode and symbol walks, hostile subtables,
// and the fast fill against the per-code reference search.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fontlist/fontlist.h"
#include "support/fontbuilder.h"
#include "support/fontfile.h"
#include "truetype/tables.h"

namespace tavrfndl {
namespace {

using test::CmapBuilder;
using test::CmapSegment;
using test::FontBuilder;
using test::Format4Options;

// Entries no code path should write keep this value.
constexpr uint32_t kUntouched = 0xDEADBEEF;

ByteView View(const std::vector<uint8_t>& bytes) {
  return ByteView(bytes.data(), bytes.size());
}

FONTENTRY EntryWithMap(uint32_t nGlyphs) {
  FONTENTRY entry;
  entry.nGlyphs = nGlyphs;
  entry.pdwGlyphMap.reset(new uint32_t[kGlyphMapSize]);
  std::fill_n(entry.pdwGlyphMap.get(), kGlyphMapSize, kUntouched);
  return entry;
}

std::vector<uint8_t> FontWithCmap(const std::vector<uint8_t>& cmap) {
  FontBuilder b;
  b.AddTable("cmap", cmap);
  b.AddTable("maxp", test::BuildMaxp(100));
  return b.Build();
}

// Builds the map through the font engine source.
bool BuildThroughEngine(const std::vector<uint8_t>& font, FONTENTRY& entry) {
  test::FontDataEngine engine(font);
  test::ScopedFontEngine installed(engine);
  FontSource source;
  source.hDC = engine.dc();
  return BuildGlyphMap(source, entry.nGlyphs, entry.GlyphMap());
}

// Codes 0x41..0x5A with idDelta 0xFFE3 (that is -0x1D).
const CmapSegment kUpperCase{0x41, 0x5A, 0xFFE3, {}, std::nullopt};

// ----- Subtable choice -----

TEST(BuildGlyphMap, ChoosesTheFirstWindowsFormat4Subtable) {
  // Each case's subtables; the map of code 0x41 tells which one was used.
  const std::vector<uint8_t> unicodeA = test::BuildFormat4({{0x41, 0x41, 1, {}, std::nullopt}});
  const std::vector<uint8_t> otherA = test::BuildFormat4({{0x41, 0x41, 2, {}, std::nullopt}});
  const std::vector<uint8_t> symbol = test::BuildFormat4({{0xF041, 0xF041, 3, {}, std::nullopt}});
  struct Case {
    const char* name;
    CmapBuilder cmap;
    uint32_t expected41;  // kUntouched-free: the identity pre-fill gives 0x41
  };
  std::vector<Case> cases;
  cases.push_back({"Windows Unicode only", CmapBuilder().AddSubtable(3, 1, unicodeA), 0x42});
  cases.push_back({"Unicode platform only keeps the identity",
                   CmapBuilder().AddSubtable(0, 3, unicodeA), 0x41});
  cases.push_back({"Windows record after others",
                   CmapBuilder()
                       .AddSubtable(0, 3, otherA)
                       .AddSubtable(1, 0, test::BuildFormat0({}))
                       .AddSubtable(3, 1, unicodeA),
                   0x42});
  cases.push_back(
      {"Windows format 0 passed over",
       CmapBuilder().AddSubtable(3, 1, test::BuildFormat0({})).AddSubtable(3, 1, unicodeA), 0x42});
  cases.push_back({"first Windows format 4 wins over a later Unicode one",
                   CmapBuilder().AddSubtable(3, 0, symbol).AddSubtable(3, 1, otherA),
                   (0xF041u + 3) & 0xFFFF});
  cases.push_back({"any other encoding is a symbol font", CmapBuilder().AddSubtable(3, 10, symbol),
                   (0xF041u + 3) & 0xFFFF});
  cases.push_back({"no records", CmapBuilder(), 0x41});
  for (const Case& c : cases) {
    FONTENTRY entry = EntryWithMap(100);
    EXPECT_TRUE(BuildThroughEngine(FontWithCmap(c.cmap.Build()), entry)) << c.name;
    EXPECT_EQ(entry.pdwGlyphMap[0x41], c.expected41) << c.name;
  }
}

TEST(BuildGlyphMap, NoWindowsSubtableKeepsIdentityBelowGlyphCountOnly) {
  FONTENTRY entry = EntryWithMap(50);
  const std::vector<uint8_t> font =
      FontWithCmap(CmapBuilder().AddFormat4(0, 3, {kUpperCase}).Build());
  EXPECT_TRUE(BuildThroughEngine(font, entry));
  for (uint32_t c = 0; c < 50; ++c) ASSERT_EQ(entry.pdwGlyphMap[c], c);
  for (uint32_t c = 50; c < kGlyphMapSize; ++c) ASSERT_EQ(entry.pdwGlyphMap[c], kUntouched) << c;
}

TEST(BuildGlyphMap, NoCmapFailsAfterTheIdentityPrefill) {
  FontBuilder b;
  b.AddTable("maxp", test::BuildMaxp(10));
  FONTENTRY entry = EntryWithMap(10);
  EXPECT_FALSE(BuildThroughEngine(b.Build(), entry));
  EXPECT_EQ(entry.pdwGlyphMap[9], 9u);
  EXPECT_EQ(entry.pdwGlyphMap[10], kUntouched);
}

TEST(BuildGlyphMap, GlyphCountAboveTheMapSizeStopsAtTheMap) {
  FONTENTRY entry = EntryWithMap(0xFFFFFFFFu);
  EXPECT_TRUE(BuildThroughEngine(FontWithCmap(CmapBuilder().Build()), entry));
  EXPECT_EQ(entry.pdwGlyphMap[kGlyphMapSize - 1], kGlyphMapSize - 1);
}

TEST(BuildGlyphMap, FileSource) {
  const std::vector<uint8_t> font =
      FontWithCmap(CmapBuilder().AddFormat4(3, 1, {kUpperCase}).Build());
  test::TempFile file(font);
  int32_t error = 0;
  FontSource source;
  source.bTTE = true;
  source.path = file.c_str();
  source.pbFontFileError = &error;
  FONTENTRY entry = EntryWithMap(100);
  EXPECT_TRUE(BuildGlyphMap(source, entry.nGlyphs, entry.GlyphMap()));
  EXPECT_EQ(entry.pdwGlyphMap[0x41], 0x24u);
  EXPECT_EQ(error, 0);

  // "CMAP" in capitals is found in the file.
  FontBuilder upper;
  upper.AddTable("CMAP", CmapBuilder().AddFormat4(3, 1, {kUpperCase}).Build());
  test::TempFile upperFile(upper.Build());
  source.path = upperFile.c_str();
  FONTENTRY upperEntry = EntryWithMap(100);
  EXPECT_TRUE(BuildGlyphMap(source, upperEntry.nGlyphs, upperEntry.GlyphMap()));
  EXPECT_EQ(upperEntry.pdwGlyphMap[0x5A], 0x3Du);

  source.path = "/nonexistent/tavrfndl/font.ttf";
  FONTENTRY missing = EntryWithMap(100);
  EXPECT_FALSE(BuildGlyphMap(source, missing.nGlyphs, missing.GlyphMap()));
  EXPECT_EQ(error, 1);
  source.pbFontFileError = nullptr;
  EXPECT_FALSE(BuildGlyphMap(source, missing.nGlyphs, missing.GlyphMap()));
}

// ----- Unicode walk -----

TEST(MapUnicodeSegments, Segments) {
  struct Probe {
    uint32_t code;
    uint32_t glyph;
  };
  struct Case {
    const char* name;
    Format4Options subtable;
    std::vector<Probe> probes;
  };
  std::vector<Case> cases;
  cases.push_back({"idDelta wraps modulo 65536",
                   {{kUpperCase, CmapSegment::Final()}, {}, std::nullopt},
                   {{0x41, 0x24},
                    {0x5A, 0x3D},
                    {0x40, kUnmappedGlyph},
                    {0x5B, kUnmappedGlyph},
                    {0, kUnmappedGlyph},
                    {0xFFFE, kUnmappedGlyph}}});
  cases.push_back({"uncovered codes are unmapped though the font has more glyphs",
                   {{{0x100, 0x100, 0, {}, std::nullopt}}, {}, std::nullopt},
                   {{0x20, kUnmappedGlyph},
                    {0x21, kUnmappedGlyph},
                    {0x100, 0x100},
                    {0x101, kUnmappedGlyph},
                    {0xFFFE, kUnmappedGlyph}}});
  cases.push_back({"overlapping segments: the first in array order decides",
                   {{{0x50, 0x60, 1000, {}, std::nullopt}, {0x40, 0x55, 2000, {}, std::nullopt}},
                    {},
                    std::nullopt},
                   {{0x40, 0x40 + 2000},
                    {0x4F, 0x4F + 2000},
                    {0x50, 0x50 + 1000},
                    {0x55, 0x55 + 1000},
                    {0x60, 0x60 + 1000}}});
  cases.push_back(
      {"glyph index array, idDelta added also to 0",
       {{{0x30, 0x32, 5, {0, 7, 0xFFFF}, std::nullopt}, {0x33, 0x33, 0, {9}, std::nullopt}},
        {},
        std::nullopt},
       {{0x30, 5}, {0x31, 12}, {0x32, 4}, {0x33, 9}}});
  cases.push_back({"segment ending at 0xFFFF fills through 0xFFFE",
                   {{{0xFFF0, 0xFFFF, 0x20, {}, std::nullopt}}, {}, std::nullopt},
                   {{0xFFF0, 0x10}, {0xFFFE, 0x1E}}});
  cases.push_back({"start after end covers nothing",
                   {{{0x60, 0x50, 7, {}, std::nullopt}}, {}, std::nullopt},
                   {{0x50, kUnmappedGlyph}, {0x58, kUnmappedGlyph}, {0x60, kUnmappedGlyph}}});
  cases.push_back({"no segments",
                   {{}, {}, std::nullopt},
                   {{0, kUnmappedGlyph}, {0x41, kUnmappedGlyph}, {0xFFFE, kUnmappedGlyph}}});
  for (const Case& c : cases) {
    const std::vector<uint8_t> subtable = test::BuildFormat4(c.subtable);
    FONTENTRY fast = EntryWithMap(1000);
    FONTENTRY reference = EntryWithMap(1000);
    MapUnicodeSegments(fast.GlyphMap(), View(subtable));
    MapUnicodeSegmentsReference(reference.GlyphMap(), View(subtable));
    for (const Probe& p : c.probes) {
      EXPECT_EQ(fast.pdwGlyphMap[p.code], p.glyph) << c.name << " code " << std::hex << p.code;
      EXPECT_EQ(reference.pdwGlyphMap[p.code], p.glyph) << c.name << " code " << std::hex << p.code;
    }
    // Every entry is written: the Unicode walk leaves no pre-fill behind.
    EXPECT_EQ(
        std::count(fast.pdwGlyphMap.get(), fast.pdwGlyphMap.get() + kGlyphMapSize, kUntouched), 0)
        << c.name;
  }
}

// ----- Symbol walk -----

TEST(MapSymbolSegments, Segments) {
  struct Probe {
    uint32_t code;
    uint32_t glyph;
  };
  struct Case {
    const char* name;
    Format4Options subtable;
    std::vector<Probe> probes;
  };
  std::vector<Case> cases;
  cases.push_back(
      {"0xF020..0xF0FF without glyph array: the glyph of 0xF000 + c",
       {{{0xF020, 0xF0FF, 0x1000, {}, std::nullopt}, CmapSegment::Final()}, {}, std::nullopt},
       {{0x41, 0x0041},
        {0x20, 0x0020},
        {0xFE, 0x00FE},
        {0x1F, kUnmappedGlyph},
        {0, kUnmappedGlyph}}});
  cases.push_back({"low bytes only: 0xF141 is matched as 0x41",
                   {{{0xF141, 0xF142, 0, {}, std::nullopt}}, {}, std::nullopt},
                   {{0x41, 0xF041}, {0x42, 0xF042}, {0x43, kUnmappedGlyph}}});
  cases.push_back({"glyph array: full startCode equal to c gives g without idDelta",
                   {{{0x0020, 0x0022, 100, {5, 6, 7}, std::nullopt}}, {}, std::nullopt},
                   {{0x20, 5}, {0x21, 106}, {0x22, 107}}});
  cases.push_back({"glyph array: c never equals a startCode of 0xF0xx",
                   {{{0xF020, 0xF022, 100, {5, 6, 7}, std::nullopt}}, {}, std::nullopt},
                   {{0x20, 105}, {0x21, 106}, {0x22, 107}}});
  cases.push_back(
      {"overlap: the first segment decides",
       {{{0xF040, 0xF042, 0x1000, {}, std::nullopt}, {0xF030, 0xF0FF, 0x2000, {}, std::nullopt}},
        {},
        std::nullopt},
       {{0x41, 0x0041}, {0x43, 0x1043}, {0x30, 0x1030}}});
  for (const Case& c : cases) {
    const std::vector<uint8_t> subtable = test::BuildFormat4(c.subtable);
    FONTENTRY fast = EntryWithMap(1000);
    FONTENTRY reference = EntryWithMap(1000);
    MapSymbolSegments(fast.GlyphMap(), View(subtable));
    MapSymbolSegmentsReference(reference.GlyphMap(), View(subtable));
    for (const Probe& p : c.probes) {
      EXPECT_EQ(fast.pdwGlyphMap[p.code], p.glyph) << c.name << " code " << std::hex << p.code;
      EXPECT_EQ(reference.pdwGlyphMap[p.code], p.glyph) << c.name << " code " << std::hex << p.code;
    }
    // Codes from 255 on are not the walk's, even when a segment reaches them.
    for (uint32_t code = 255; code < kGlyphMapSize; ++code) {
      ASSERT_EQ(fast.pdwGlyphMap[code], kUntouched) << c.name << " " << code;
      ASSERT_EQ(reference.pdwGlyphMap[code], kUntouched) << c.name << " " << code;
    }
  }
}

TEST(BuildGlyphMap, SymbolFontKeepsThePrefillFrom255On) {
  const std::vector<uint8_t> font =
      FontWithCmap(CmapBuilder().AddFormat4(3, 0, {{0xF020, 0xF0FF, 0, {}, std::nullopt}}).Build());
  FONTENTRY entry = EntryWithMap(300);
  ASSERT_TRUE(BuildThroughEngine(font, entry));
  EXPECT_EQ(entry.pdwGlyphMap[0x41], 0xF041u);
  EXPECT_EQ(entry.pdwGlyphMap[0x10], kUnmappedGlyph);
  EXPECT_EQ(entry.pdwGlyphMap[0xFF], 0xFFu) << "identity pre-fill below nGlyphs";
  EXPECT_EQ(entry.pdwGlyphMap[299], 299u);
  EXPECT_EQ(entry.pdwGlyphMap[300], kUntouched);
}

// ----- Hostile subtables -----

// An exact-size heap copy, so that the sanitizer sees any read past the data.
struct Exact {
  explicit Exact(const std::vector<uint8_t>& bytes)
      : data(new uint8_t[bytes.size() + 1]), size(bytes.size()) {
    std::copy(bytes.begin(), bytes.end(), data.get());
  }
  ByteView view() const { return ByteView(data.get(), size); }
  std::unique_ptr<uint8_t[]> data;
  size_t size;
};

TEST(BuildGlyphMap, HostileCmapStaysInsideTheTable) {
  const Format4Options good{{kUpperCase}, {}, std::nullopt};
  Format4Options longSegCount = good;
  longSegCount.segCountX2 = 0xFFFE;
  const std::vector<uint8_t> goodSubtable = test::BuildFormat4(good);

  struct Case {
    const char* name;
    std::vector<uint8_t> cmap;
    uint32_t expected41;
  };
  std::vector<Case> cases;
  // A segment count past the table makes that subtable unusable; a later good one is used.
  cases.push_back({"segCount past the table",
                   CmapBuilder().AddFormat4(3, 1, longSegCount).AddFormat4(3, 1, good).Build(),
                   0x24});
  cases.push_back({"subtable offset past the table",
                   CmapBuilder().AddRawRecord(3, 1, 0x7FFFFFF0).AddFormat4(3, 1, good).Build(),
                   0x24});
  cases.push_back(
      {"subtable offset near 2^32", CmapBuilder().AddRawRecord(3, 1, 0xFFFFFFFF).Build(), 0x41});
  // Records past the table end the walk: the good subtable is never reached.
  {
    std::vector<uint8_t> cmap = CmapBuilder().SetRecordCount(0xFFFF).Build();
    cases.push_back({"record count past the table", cmap, 0x41});
  }
  {
    // The subtable is cut inside its idRangeOffset array.
    std::vector<uint8_t> cmap = CmapBuilder().AddFormat4(3, 1, good).Build();
    cmap.resize(cmap.size() - 3);
    cases.push_back({"arrays cut by the end of the table", cmap, 0x41});
  }
  {
    // The table ends inside the subtable's format field.
    std::vector<uint8_t> cmap = CmapBuilder().AddFormat4(3, 1, good).Build();
    cmap.resize(13);
    cases.push_back({"format cut by the end of the table", cmap, 0x41});
  }
  cases.push_back({"empty cmap", {}, 0x41});
  for (const Case& c : cases) {
    FONTENTRY entry = EntryWithMap(100);
    EXPECT_TRUE(BuildThroughEngine(FontWithCmap(c.cmap), entry)) << c.name;
    EXPECT_EQ(entry.pdwGlyphMap[0x41], c.expected41) << c.name;
  }
}

TEST(MapSegments, GlyphArrayReadsPastTheTableAreUnmapped) {
  // Segment 0: idRangeOffset pointing past the data. Segment 1: the glyph array runs out
  // halfway through the segment.
  Format4Options options{{{0x100, 0x1FF, 0, {}, 0xFFF0},
                          {0xF041, 0xF044, 0, {}, std::nullopt},
                          {0x41, 0x44, 3, {}, std::nullopt}},
                         {},
                         std::nullopt};
  // Segment 1 and 2 point at the two glyph ids that exist: 2 × (segments - k) + 0.
  options.segments[1].idRangeOffset = 4;
  options.segments[2].idRangeOffset = 2;
  options.extraGlyphIds = {70, 71};
  const Exact subtable(test::BuildFormat4(options));

  FONTENTRY fast = EntryWithMap(1000);
  FONTENTRY reference = EntryWithMap(1000);
  MapUnicodeSegments(fast.GlyphMap(), subtable.view());
  MapUnicodeSegmentsReference(reference.GlyphMap(), subtable.view());
  EXPECT_EQ(fast.pdwGlyphMap[0x100], kUnmappedGlyph);
  EXPECT_EQ(fast.pdwGlyphMap[0x1FF], kUnmappedGlyph);
  EXPECT_EQ(fast.pdwGlyphMap[0x41], 73u);
  EXPECT_EQ(fast.pdwGlyphMap[0x42], 74u);
  EXPECT_EQ(fast.pdwGlyphMap[0x43], kUnmappedGlyph);
  EXPECT_EQ(fast.pdwGlyphMap[0xF041], 70u);
  EXPECT_EQ(fast.pdwGlyphMap[0xF043], kUnmappedGlyph);
  EXPECT_TRUE(std::equal(fast.pdwGlyphMap.get(), fast.pdwGlyphMap.get() + kGlyphMapSize,
                         reference.pdwGlyphMap.get()));

  FONTENTRY symbolFast = EntryWithMap(1000);
  FONTENTRY symbolReference = EntryWithMap(1000);
  MapSymbolSegments(symbolFast.GlyphMap(), subtable.view());
  MapSymbolSegmentsReference(symbolReference.GlyphMap(), subtable.view());
  // Segment 0 (0x100..0x1FF) has the low bytes 0x00..0xFF: it comes first and covers every
  // symbol code, and all its reads leave the table.
  for (uint32_t code = 0; code < 255; ++code)
    EXPECT_EQ(symbolFast.pdwGlyphMap[code], kUnmappedGlyph) << code;
  EXPECT_TRUE(std::equal(symbolFast.pdwGlyphMap.get(), symbolFast.pdwGlyphMap.get() + kGlyphMapSize,
                         symbolReference.pdwGlyphMap.get()));

  // Arrays cut by the end of the view: nothing is written.
  const std::vector<uint8_t> whole = test::BuildFormat4(options);
  const Exact cut(std::vector<uint8_t>(whole.begin(), whole.begin() + 16 + 8 * 3 - 1));
  FONTENTRY untouched = EntryWithMap(1000);
  MapUnicodeSegments(untouched.GlyphMap(), cut.view());
  MapSymbolSegments(untouched.GlyphMap(), cut.view());
  MapUnicodeSegmentsReference(untouched.GlyphMap(), cut.view());
  MapSymbolSegmentsReference(untouched.GlyphMap(), cut.view());
  EXPECT_EQ(std::count(untouched.pdwGlyphMap.get(), untouched.pdwGlyphMap.get() + kGlyphMapSize,
                       kUntouched),
            static_cast<std::ptrdiff_t>(kGlyphMapSize));
}

// ----- Fast fill against the reference -----

Format4Options RandomSubtable(std::mt19937& random, bool symbolCodes) {
  Format4Options options;
  const size_t segments = 1 + random() % 300;
  for (size_t k = 0; k < segments; ++k) {
    CmapSegment s;
    const uint32_t base = symbolCodes && random() % 2 ? 0xF000 : 0;
    const uint32_t span = random() % 4 == 0 ? random() % 0x10000 : random() % 64;
    s.start = static_cast<uint16_t>(base + random() % (symbolCodes ? 0x100 : 0x10000));
    s.end = static_cast<uint16_t>(std::min<uint32_t>(0xFFFF, s.start + span));
    if (random() % 8 == 0) std::swap(s.start, s.end);  // empty segments too
    s.idDelta = static_cast<uint16_t>(random());
    switch (random() % 4) {
      case 0:
        break;  // idRangeOffset 0
      case 1: {
        const size_t ids = std::min<size_t>(s.end >= s.start ? s.end - s.start + 1u : 1u, 512);
        for (size_t i = 0; i < ids; ++i) s.glyphIds.push_back(static_cast<uint16_t>(random()));
        break;
      }
      default:
        s.idRangeOffset = static_cast<uint16_t>(random() | 1);  // anywhere, odd values too
        break;
    }
    options.segments.push_back(std::move(s));
  }
  for (size_t i = random() % 200; i > 0; --i) {
    options.extraGlyphIds.push_back(static_cast<uint16_t>(random()));
  }
  return options;
}

TEST(MapSegments, FastFillEqualsReferenceOnRandomSubtables) {
  for (uint32_t seed = 1; seed <= 40; ++seed) {
    std::mt19937 random(seed);
    for (bool symbol : {false, true}) {
      const Exact subtable(test::BuildFormat4(RandomSubtable(random, symbol)));
      FONTENTRY fast = EntryWithMap(0);
      FONTENTRY reference = EntryWithMap(0);
      if (symbol) {
        MapSymbolSegments(fast.GlyphMap(), subtable.view());
        MapSymbolSegmentsReference(reference.GlyphMap(), subtable.view());
      } else {
        MapUnicodeSegments(fast.GlyphMap(), subtable.view());
        MapUnicodeSegmentsReference(reference.GlyphMap(), subtable.view());
      }
      const auto mismatch =
          std::mismatch(fast.pdwGlyphMap.get(), fast.pdwGlyphMap.get() + kGlyphMapSize,
                        reference.pdwGlyphMap.get());
      ASSERT_EQ(mismatch.first, fast.pdwGlyphMap.get() + kGlyphMapSize)
          << "seed " << seed << (symbol ? " symbol" : " unicode") << " code "
          << (mismatch.first - fast.pdwGlyphMap.get());
    }
  }
}

// The first Windows format-4 subtable of a real font's "cmap", found by hand.
std::optional<std::pair<ByteView, uint16_t>> WindowsFormat4(ByteView font) {
  const std::optional<ByteView> cmap = GetTTEFilePointer(font, "cmap", "CMAP");
  if (!cmap) return std::nullopt;
  uint16_t count = 0;
  cmap->ReadU16(2, count);
  for (uint16_t i = 0; i < count; ++i) {
    uint16_t platformId = 0, encodingId = 0, format = 0;
    uint32_t offset = 0;
    if (!cmap->ReadU16(4 + 8u * i, platformId) || !cmap->ReadU16(6 + 8u * i, encodingId) ||
        !cmap->ReadU32(8 + 8u * i, offset) || !cmap->ReadU16(offset, format)) {
      return std::nullopt;
    }
    if (platformId == 3 && format == 4) return std::make_pair(cmap->Tail(offset), encodingId);
  }
  return std::nullopt;
}

TEST(MapSegments, FastFillEqualsReferenceOnRealFonts) {
  const char* paths[] = {
      "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
      "/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf",
      "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
      "/usr/share/fonts/truetype/liberation2/LiberationMono-Regular.ttf",
      "/usr/share/fonts/truetype/liberation/LiberationSans-Regular.ttf",
      // Thousands of segments, some with glyph index arrays.
      "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf",
  };
  int tested = 0;
  for (const char* path : paths) {
    const std::vector<uint8_t> font = test::ReadWholeFile(path);
    if (font.empty()) continue;
    const auto subtable = WindowsFormat4(View(font));
    ASSERT_TRUE(subtable) << path;
    ++tested;
    FONTENTRY fast = EntryWithMap(0);
    FONTENTRY reference = EntryWithMap(0);
    if (subtable->second == 1) {
      MapUnicodeSegments(fast.GlyphMap(), subtable->first);
      MapUnicodeSegmentsReference(reference.GlyphMap(), subtable->first);
    } else {
      MapSymbolSegments(fast.GlyphMap(), subtable->first);
      MapSymbolSegmentsReference(reference.GlyphMap(), subtable->first);
    }
    EXPECT_TRUE(std::equal(fast.pdwGlyphMap.get(), fast.pdwGlyphMap.get() + kGlyphMapSize,
                           reference.pdwGlyphMap.get()))
        << path;

    // And against FreeType's reading of the same font: a glyph it finds is the map's; a code it
    // does not map is unmapped or glyph 0 in the map.
    testing::FontFile freetype(path);
    ASSERT_TRUE(freetype.ok()) << path;
    int mapped = 0;
    for (uint32_t code = 0; code < kGlyphMapSize && subtable->second == 1; ++code) {
      const uint32_t expected = freetype.GlyphIndex(code);
      const uint32_t got = fast.pdwGlyphMap[code];
      if (expected != 0) {
        ++mapped;
        ASSERT_EQ(got, expected) << path << " code " << std::hex << code;
      } else {
        ASSERT_TRUE(got == 0 || got == kUnmappedGlyph) << path << " code " << std::hex << code;
      }
    }
    EXPECT_GT(mapped, 200) << path;
  }
  if (tested == 0) GTEST_SKIP() << "no real TrueType fonts installed";
}

TEST(MapSegments, ManyOverlappingFullRangeSegmentsStayCheap) {
  // 8000 segments each covering every code: the fill decides each code once.
  Format4Options options;
  for (uint16_t k = 0; k < 8000; ++k) {
    options.segments.push_back({0, 0xFFFF, k, {}, std::nullopt});
  }
  const std::vector<uint8_t> subtable = test::BuildFormat4(options);
  FONTENTRY entry = EntryWithMap(0);
  MapUnicodeSegments(entry.GlyphMap(), View(subtable));
  EXPECT_EQ(entry.pdwGlyphMap[0], 0u);
  EXPECT_EQ(entry.pdwGlyphMap[0xFFFE], 0xFFFEu);
  MapSymbolSegments(entry.GlyphMap(), View(subtable));
  EXPECT_EQ(entry.pdwGlyphMap[0x41], 0xF041u);
}

}  // namespace
}  // namespace tavrfndl
