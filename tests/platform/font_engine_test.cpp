// The POSIX font engine against real fonts. Expected values are worked out here from the font
// files' own tables (hmtx, post, OS/2, glyf), read independently of the engine, and where a real
// GDI was asked (Wine) its answers are checked literally.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "platform/posix/engine_stats.h"
#include "sfnt/bytes.h"

namespace tavrfndl::platform {
namespace {

constexpr const char* kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";
constexpr const char* kDejaVuSansBold = "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf";
constexpr const char* kDejaVuSansOblique =
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-Oblique.ttf";
constexpr const char* kDejaVuSansBoldOblique =
    "/usr/share/fonts/truetype/dejavu/DejaVuSans-BoldOblique.ttf";
constexpr const char* kLiberationSans =
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
constexpr const char* kIpaGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
constexpr const char* kWqyCollection = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc";

constexpr uint32_t Id(const char* tag) {
  return uint32_t{static_cast<uint8_t>(tag[0])} | (uint32_t{static_cast<uint8_t>(tag[1])} << 8) |
         (uint32_t{static_cast<uint8_t>(tag[2])} << 16) |
         (uint32_t{static_cast<uint8_t>(tag[3])} << 24);
}

bool Exists(const char* path) {
  return access(path, R_OK) == 0;
}

#define REQUIRE_FONT(path, package)                                          \
  do {                                                                       \
    if (!Exists(path)) GTEST_SKIP() << path << " missing: install " package; \
  } while (0)

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// --- The test's own reading of a font file -------------------------------------------------

struct TableRef {
  uint32_t recordAt = 0;  // where the directory record is
  uint32_t offset = 0;
  uint32_t length = 0;
};

uint32_t FaceOffset(ByteView file, uint32_t face) {
  uint32_t tag = 0, offset = 0;
  if (file.ReadU32(0, tag) && tag == 0x74746366 /* ttcf */ && file.ReadU32(12 + 4 * face, offset)) {
    return offset;
  }
  return 0;
}

std::optional<TableRef> FindTableRecord(ByteView file, uint32_t faceOffset, const char* tag) {
  uint16_t count = 0;
  if (!file.ReadU16(faceOffset + 4, count)) return std::nullopt;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t at = faceOffset + 12 + 16 * i;
    auto rec = file.Sub(at, 16);
    if (!rec) return std::nullopt;
    if (memcmp(rec->data(), tag, 4) != 0) continue;
    TableRef ref;
    ref.recordAt = at;
    rec->ReadU32(8, ref.offset);
    rec->ReadU32(12, ref.length);
    return ref;
  }
  return std::nullopt;
}

std::vector<uint8_t> FileTable(ByteView file, uint32_t faceOffset, const char* tag) {
  auto ref = FindTableRecord(file, faceOffset, tag);
  if (!ref) return {};
  auto bytes = file.Sub(ref->offset, ref->length);
  if (!bytes) return {};
  return std::vector<uint8_t>(bytes->data(), bytes->data() + bytes->size());
}

// The glyph of a BMP code from the (3,1) format-4 subtable.
uint16_t GlyphOf(ByteView cmap, uint16_t code) {
  uint16_t count = 0;
  cmap.ReadU16(2, count);
  for (uint32_t i = 0; i < count; ++i) {
    uint16_t platform = 0, encoding = 0;
    uint32_t offset = 0;
    cmap.ReadU16(4 + 8 * i, platform);
    cmap.ReadU16(6 + 8 * i, encoding);
    cmap.ReadU32(8 + 8 * i, offset);
    uint16_t format = 0;
    if (platform != 3 || encoding != 1 || !cmap.ReadU16(offset, format) || format != 4) continue;
    ByteView sub = cmap.Tail(offset);
    uint16_t segX2 = 0;
    sub.ReadU16(6, segX2);
    for (uint32_t s = 0; s < segX2; s += 2) {
      uint16_t end = 0, start = 0, idRangeOffset = 0;
      int16_t delta = 0;
      sub.ReadU16(14 + s, end);
      sub.ReadU16(16 + segX2 + s, start);
      sub.ReadS16(16 + 2 * segX2 + s, delta);
      size_t rangeAt = 16 + 3 * size_t{segX2} + s;
      sub.ReadU16(rangeAt, idRangeOffset);
      if (code > end) continue;
      if (code < start) return 0;
      if (idRangeOffset == 0) return static_cast<uint16_t>(code + delta);
      uint16_t glyph = 0;
      sub.ReadU16(rangeAt + idRangeOffset + 2 * size_t{uint16_t(code - start)}, glyph);
      return glyph == 0 ? 0 : static_cast<uint16_t>(glyph + delta);
    }
  }
  return 0;
}

// What a font file says, in font units.
struct FileFont {
  std::vector<uint8_t> bytes;
  uint32_t faceOffset = 0;

  explicit FileFont(const char* path, uint32_t face = 0) : bytes(ReadFile(path)) {
    faceOffset = FaceOffset(view(), face);
  }
  ByteView view() const { return ByteView(bytes.data(), bytes.size()); }
  std::vector<uint8_t> Table(const char* tag) const { return FileTable(view(), faceOffset, tag); }
  int16_t S16(const char* tag, size_t at) const {
    auto t = Table(tag);
    int16_t v = 0;
    EXPECT_TRUE(ByteView(t.data(), t.size()).ReadS16(at, v)) << tag << " +" << at;
    return v;
  }
  uint16_t U16(const char* tag, size_t at) const { return static_cast<uint16_t>(S16(tag, at)); }

  int unitsPerEm() const { return U16("head", 18); }
  int cellHeight() const { return U16("OS/2", 74) + U16("OS/2", 76); }
  uint16_t Glyph(uint16_t code) const {
    auto cmap = Table("cmap");
    return GlyphOf(ByteView(cmap.data(), cmap.size()), code);
  }
  int Advance(uint16_t glyph) const {
    uint16_t metrics = U16("hhea", 34);
    auto hmtx = Table("hmtx");
    uint16_t advance = 0;
    ByteView(hmtx.data(), hmtx.size())
        .ReadU16(4 * size_t{glyph < metrics ? glyph : metrics - 1u}, advance);
    return advance;
  }
  // The glyph's bounding box from its glyf header (xMin, yMin, xMax, yMax).
  std::vector<int> GlyphBox(uint16_t glyph) const {
    bool longLoca = S16("head", 50) == 1;
    auto loca = Table("loca");
    auto glyf = Table("glyf");
    ByteView l(loca.data(), loca.size()), g(glyf.data(), glyf.size());
    uint32_t at = 0;
    if (longLoca) {
      l.ReadU32(4 * size_t{glyph}, at);
    } else {
      uint16_t half = 0;
      l.ReadU16(2 * size_t{glyph}, half);
      at = 2u * half;
    }
    std::vector<int> box(4);
    for (int i = 0; i < 4; ++i) {
      int16_t v = 0;
      EXPECT_TRUE(g.ReadS16(at + 2 + 2 * i, v));
      box[i] = v;
    }
    return box;
  }
};

// A value in font units at ppem, rounded half away from zero: the engine's rule, worked out in
// floating point here.
int Scaled(int fontUnits, int ppem, int unitsPerEm) {
  return static_cast<int>(std::lround(static_cast<double>(fontUnits) * ppem / unitsPerEm));
}

// The em in pixels for a positive (cell) height.
int PpemForCell(const FileFont& font, int cellHeight) {
  return static_cast<int>(
      std::lround(static_cast<double>(cellHeight) * font.unitsPerEm() / font.cellHeight()));
}

// --- Fixture ---------------------------------------------------------------------------------

class FontEngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dc_ = engine().CreateCompatibleDC();
    ASSERT_NE(dc_, nullptr);
  }
  void TearDown() override {
    EXPECT_TRUE(engine().DeleteDC(dc_));
    for (HFONT font : fonts_) EXPECT_TRUE(engine().DeleteObject(font));
    ReleaseFontEngineCaches();
    if (!tempDir_.empty()) {
      std::string command = "rm -rf '" + tempDir_ + "'";
      EXPECT_EQ(system(command.c_str()), 0);
    }
  }

  static FontEngine& engine() { return CurrentFontEngine(); }

  static LOGFONTA Logfont(const char* face, int32_t height, int32_t weight = 400,
                          bool italic = false) {
    LOGFONTA lf;
    lf.lfHeight = height;
    lf.lfWeight = weight;
    lf.lfItalic = italic ? 1 : 0;
    snprintf(lf.lfFaceName, sizeof(lf.lfFaceName), "%s", face);
    return lf;
  }

  // Creates the font and keeps it for deletion at the end of the test.
  HFONT Create(const LOGFONTA& lf, const char* pszFont = nullptr) {
    HFONT font = engine().CreateFontIndirectA(lf, pszFont);
    if (font != nullptr) fonts_.push_back(font);
    return font;
  }
  // Creates the font and selects it into the fixture's context.
  HFONT Select(const char* face, int32_t height, int32_t weight = 400, bool italic = false,
               const char* pszFont = nullptr) {
    HFONT font = Create(Logfont(face, height, weight, italic), pszFont);
    if (font != nullptr) engine().SelectObject(dc_, font);
    return font;
  }
  HFONT SelectPath(const std::string& path, int32_t height) {
    return Select("", height, 400, false, path.c_str());
  }

  std::vector<uint8_t> EngineTable(uint32_t id, HDC dc = nullptr) {
    dc = dc != nullptr ? dc : dc_;
    uint32_t size = engine().GetFontData(dc, id, 0, nullptr, 0);
    LentFontData lent;
    EXPECT_EQ(engine().LendFontData(dc, id, lent), size != GDI_ERROR);
    if (size == GDI_ERROR) return {};
    std::vector<uint8_t> bytes(size);
    EXPECT_EQ(engine().GetFontData(dc, id, 0, bytes.data(), size), size);
    EXPECT_EQ(std::vector<uint8_t>(lent.data, lent.data + lent.size), bytes) << "lent as copied";
    return bytes;
  }

  int Width(uint32_t code) {
    int32_t width = -1;
    EXPECT_TRUE(engine().GetCharWidthA(dc_, code, code, &width)) << code;
    return width;
  }

  OUTLINETEXTMETRICA Metrics() {
    OUTLINETEXTMETRICA otm;
    uint32_t size = engine().GetOutlineTextMetricsA(dc_, 0, nullptr);
    EXPECT_EQ(size, sizeof(OUTLINETEXTMETRICA));
    EXPECT_NE(engine().GetOutlineTextMetricsA(dc_, size, &otm), 0u);
    return otm;
  }

  std::string TempPath(const char* name) {
    if (tempDir_.empty()) {
      char pattern[] = "/tmp/tavrfndl-engine-XXXXXX";
      EXPECT_NE(mkdtemp(pattern), nullptr);
      tempDir_ = pattern;
    }
    return tempDir_ + "/" + name;
  }

  HDC dc_ = nullptr;
  std::vector<HFONT> fonts_;
  std::string tempDir_;
};

// --- Table reads -------------------------------------------------------------------------------

TEST_F(FontEngineTest, TablesAreTheFontFilesOwnBytes) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  ASSERT_NE(SelectPath(kDejaVuSans, 120), nullptr);
  FileFont file(kDejaVuSans);
  for (const char* tag : {"maxp", "head", "cmap", "glyf", "hmtx", "post", "OS/2", "cvt "}) {
    EXPECT_EQ(EngineTable(Id(tag)), file.Table(tag)) << tag;
  }
  EXPECT_EQ(Id("maxp"), 0x7078616Du);
  EXPECT_EQ(EngineTable(0), file.bytes) << "dwTable 0 is the whole font file";
}

TEST_F(FontEngineTest, TableReadsHonourOffsetSizeAndMissingTables) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  ASSERT_NE(SelectPath(kDejaVuSans, 120), nullptr);
  auto head = FileFont(kDejaVuSans).Table("head");
  ASSERT_EQ(head.size(), 54u);

  // A size query ignores the offset and a zero-sized buffer is a size query too.
  uint8_t buffer[64];
  EXPECT_EQ(engine().GetFontData(dc_, Id("head"), 10, nullptr, 0), 54u);
  EXPECT_EQ(engine().GetFontData(dc_, Id("head"), 0, buffer, 0), 54u);

  // Part of the table from an offset; a buffer larger than the rest gets only the rest.
  memset(buffer, 0xEE, sizeof(buffer));
  EXPECT_EQ(engine().GetFontData(dc_, Id("head"), 12, buffer, 4), 4u);
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 4), std::vector<uint8_t>(&head[12], &head[16]));
  EXPECT_EQ(buffer[4], 0xEE) << "nothing is written past the count";
  EXPECT_EQ(engine().GetFontData(dc_, Id("head"), 50, buffer, sizeof(buffer)), 4u);
  EXPECT_EQ(engine().GetFontData(dc_, Id("head"), 54, buffer, sizeof(buffer)), 0u);
  EXPECT_EQ(engine().GetFontData(dc_, Id("head"), 55, buffer, sizeof(buffer)), GDI_ERROR);

  // DejaVu Sans has no hdmx; tags are case-sensitive; "ttcf" exists only for a collection.
  EXPECT_EQ(engine().GetFontData(dc_, Id("hdmx"), 0, nullptr, 0), GDI_ERROR);
  EXPECT_EQ(engine().GetFontData(dc_, Id("HEAD"), 0, nullptr, 0), GDI_ERROR);
  EXPECT_EQ(engine().GetFontData(dc_, Id("ttcf"), 0, nullptr, 0), GDI_ERROR);
}

TEST_F(FontEngineTest, LentBytesOutliveTheFontAndTheCaches) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  const std::vector<uint8_t> file = FileFont(kDejaVuSans).bytes;
  HDC dc = engine().CreateCompatibleDC();
  HFONT font = engine().CreateFontIndirectA(Logfont("", 120), kDejaVuSans);
  ASSERT_NE(font, nullptr);
  engine().SelectObject(dc, font);
  LentFontData lent;
  ASSERT_TRUE(engine().LendFontData(dc, 0, lent));
  LentFontData missing;
  EXPECT_FALSE(engine().LendFontData(dc, Id("hdmx"), missing)) << "DejaVu Sans has no hdmx";
  EXPECT_TRUE(engine().DeleteDC(dc));
  EXPECT_TRUE(engine().DeleteObject(font));
  ReleaseFontEngineCaches();
  EXPECT_EQ(std::vector<uint8_t>(lent.data, lent.data + lent.size), file);
}

TEST_F(FontEngineTest, QueriesWithoutAFontFail) {
  uint8_t buffer[8];
  int32_t width = 0;
  GLYPHMETRICS gm;
  OUTLINETEXTMETRICA otm;
  EXPECT_EQ(engine().GetCurrentObject(dc_), nullptr);
  EXPECT_EQ(engine().GetFontData(dc_, Id("head"), 0, buffer, sizeof(buffer)), GDI_ERROR);
  EXPECT_EQ(engine().GetFontData(dc_, 0, 0, nullptr, 0), GDI_ERROR);
  LentFontData lent;
  EXPECT_FALSE(engine().LendFontData(dc_, 0, lent));
  EXPECT_FALSE(engine().GetCharWidthA(dc_, 'A', 'A', &width));
  EXPECT_EQ(engine().GetGlyphOutlineA(dc_, 36, GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0, nullptr,
                                      &kIdentityMatrix),
            GDI_ERROR);
  EXPECT_EQ(engine().GetOutlineTextMetricsA(dc_, sizeof(otm), &otm), 0u);
  EXPECT_EQ(engine().GetOutlineTextMetricsA(dc_, 0, nullptr), 0u);
  // And with no device context at all.
  EXPECT_EQ(engine().GetFontData(nullptr, Id("head"), 0, nullptr, 0), GDI_ERROR);
  EXPECT_FALSE(engine().GetCharWidthA(nullptr, 'A', 'A', &width));
}

// --- Sizes, widths and metrics ---------------------------------------------------------------

TEST_F(FontEngineTest, DejaVuSansAt120MatchesGdi) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  ASSERT_NE(Select("DejaVu Sans", 120), nullptr);
  FileFont file(kDejaVuSans);
  // 120 * 2048 / (1901 + 483) = 103.09: the em is 103 pixels.
  ASSERT_EQ(PpemForCell(file, 120), 103);
  // What GDI (Wine) answers for this font.
  EXPECT_EQ(Width('A'), 70);
  OUTLINETEXTMETRICA otm = Metrics();
  EXPECT_EQ(otm.otmsUnderscorePosition, -2);
  EXPECT_EQ(otm.otmsUnderscoreSize, 5);
  EXPECT_EQ(otm.otmSize, sizeof(OUTLINETEXTMETRICA));
  EXPECT_EQ(otm.otmEMSquare, 2048u);
  // From the file's own post and OS/2 tables at 103 pixels.
  EXPECT_EQ(otm.otmsUnderscorePosition, Scaled(file.S16("post", 8), 103, 2048));
  EXPECT_EQ(otm.otmsUnderscoreSize, Scaled(file.S16("post", 10), 103, 2048));
  EXPECT_EQ(otm.otmAscent, Scaled(file.S16("OS/2", 68), 103, 2048));
  EXPECT_EQ(otm.otmDescent, Scaled(file.S16("OS/2", 70), 103, 2048));
  EXPECT_LT(otm.otmDescent, 0);
}

TEST_F(FontEngineTest, LiberationSansAt120MatchesGdi) {
  REQUIRE_FONT(kLiberationSans, "fonts-liberation2");
  ASSERT_NE(Select("Liberation Sans", 120), nullptr);
  FileFont file(kLiberationSans);
  int ppem = PpemForCell(file, 120);  // 120 * 2048 / 2288 = 107.4
  ASSERT_EQ(ppem, 107);
  OUTLINETEXTMETRICA otm = Metrics();
  // -67 * 107 / 2048 = -3.5005 and 150 * 107 / 2048 = 7.84.
  EXPECT_EQ(otm.otmsUnderscorePosition, -4);
  EXPECT_EQ(otm.otmsUnderscoreSize, 8);
  EXPECT_EQ(Width('A'), Scaled(file.Advance(file.Glyph('A')), ppem, 2048));
}

TEST_F(FontEngineTest, WidthsAreHmtxAdvancesAtTheWholePixelEm) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  FileFont file(kDejaVuSans);
  for (int height : {120, 33, 7, 1000}) {
    SCOPED_TRACE(height);
    HFONT font = Select("DejaVu Sans", height);
    ASSERT_NE(font, nullptr);
    int ppem = PpemForCell(file, height);
    std::vector<int32_t> widths(0xFF - 0x20 + 1, -1);
    ASSERT_TRUE(engine().GetCharWidthA(dc_, 0x20, 0xFF, widths.data()));
    for (uint16_t code = 0x20; code <= 0xFF; ++code) {
      if (code >= 0x7F && code < 0xA0) continue;  // control codes: the font maps none
      ASSERT_EQ(widths[code - 0x20], Scaled(file.Advance(file.Glyph(code)), ppem, 2048))
          << "code " << code;
    }
  }
}

TEST_F(FontEngineTest, NegativeHeightIsTheEmAndZeroIsTheDefaultCell) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  FileFont file(kDejaVuSans);
  int advanceW = file.Advance(file.Glyph('W'));

  ASSERT_NE(Select("DejaVu Sans", -103), nullptr);
  EXPECT_EQ(Width('A'), 70) << "em 103 is cell 120";
  EXPECT_EQ(Width('W'), Scaled(advanceW, 103, 2048));

  // lfHeight 0 is a 16-pixel cell: 16 * 2048 / 2384 = 13.7, so the em is 14.
  ASSERT_NE(Select("DejaVu Sans", 0), nullptr);
  int zeroWidth = Width('W');
  ASSERT_NE(Select("DejaVu Sans", 16), nullptr);
  EXPECT_EQ(zeroWidth, Width('W'));
  EXPECT_EQ(zeroWidth, Scaled(advanceW, 14, 2048));
}

TEST_F(FontEngineTest, IdeographicSpaceIsAFullEm) {
  REQUIRE_FONT(kIpaGothic, "fonts-ipafont-gothic");
  ASSERT_NE(SelectPath(kIpaGothic, -100), nullptr);
  FileFont file(kIpaGothic);
  ASSERT_NE(file.Glyph(0x3000), 0);
  EXPECT_EQ(Width(0x3000), Scaled(file.Advance(file.Glyph(0x3000)), 100, file.unitsPerEm()));
  EXPECT_EQ(Width(0x3000), 100);
  EXPECT_EQ(Width('A'), 50) << "IPA Gothic's Latin is half width";
}

TEST_F(FontEngineTest, CharWidthRangesAndBadArguments) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  ASSERT_NE(Select("DejaVu Sans", 120), nullptr);
  int32_t widths[3] = {-1, -1, -1};
  ASSERT_TRUE(engine().GetCharWidthA(dc_, 'A', 'C', widths));
  EXPECT_EQ(widths[0], Width('A'));
  EXPECT_EQ(widths[1], Width('B'));
  EXPECT_EQ(widths[2], Width('C'));
  EXPECT_FALSE(engine().GetCharWidthA(dc_, 'C', 'A', widths));
  EXPECT_FALSE(engine().GetCharWidthA(dc_, 'A', 'A', nullptr));
  // A code the font does not map has the width of glyph 0.
  FileFont file(kDejaVuSans);
  ASSERT_EQ(file.Glyph(0x3000), 0);
  EXPECT_EQ(Width(0x3000), Scaled(file.Advance(0), 103, 2048));
}

TEST_F(FontEngineTest, OutlineTextMetricsBlockSizes) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  ASSERT_NE(Select("DejaVu Sans", 120), nullptr);
  OUTLINETEXTMETRICA otm;
  otm.otmsUnderscoreSize = 12345;
  EXPECT_EQ(engine().GetOutlineTextMetricsA(dc_, 0, &otm), sizeof(otm)) << "cjCopy 0 asks the size";
  EXPECT_EQ(otm.otmsUnderscoreSize, 12345) << "a size query leaves the block alone";
  EXPECT_EQ(engine().GetOutlineTextMetricsA(dc_, sizeof(otm) - 1, &otm), 0u);
  EXPECT_EQ(otm.otmsUnderscoreSize, 12345);
  EXPECT_NE(engine().GetOutlineTextMetricsA(dc_, sizeof(otm) + 16, &otm), 0u);
  EXPECT_EQ(otm.otmsUnderscoreSize, 5);
}

TEST_F(FontEngineTest, GlyphMetricsAreTheHintedOutlineInWholePixels) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  ASSERT_NE(Select("DejaVu Sans", 120), nullptr);
  FileFont file(kDejaVuSans);
  for (uint16_t code : {'A', 'g', 'j', 'O', '.'}) {
    SCOPED_TRACE(static_cast<char>(code));
    uint16_t glyph = file.Glyph(code);
    GLYPHMETRICS gm;
    ASSERT_NE(engine().GetGlyphOutlineA(dc_, glyph, GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0, nullptr,
                                        &kIdentityMatrix),
              GDI_ERROR);
    // Hinting moves each edge by less than a pixel, so every edge of the box lies within a
    // pixel of the unhinted glyph box scaled to 103 pixels (the width, two edges, within two).
    std::vector<int> box = file.GlyphBox(glyph);
    double scale = 103.0 / 2048;
    int left = static_cast<int>(std::floor(box[0] * scale));
    int right = static_cast<int>(std::ceil(box[2] * scale));
    int top = static_cast<int>(std::ceil(box[3] * scale));
    int bottom = static_cast<int>(std::floor(box[1] * scale));
    EXPECT_NEAR(gm.gmptGlyphOrigin.x, left, 1);
    EXPECT_NEAR(gm.gmptGlyphOrigin.x + static_cast<int>(gm.gmBlackBoxX), right, 1);
    EXPECT_NEAR(gm.gmptGlyphOrigin.y, top, 1);
    EXPECT_NEAR(gm.gmptGlyphOrigin.y - static_cast<int>(gm.gmBlackBoxY), bottom, 1);
    EXPECT_EQ(gm.gmCellIncX, Width(code));
    EXPECT_EQ(gm.gmCellIncY, 0);

    // By character code the same glyph answers the same.
    GLYPHMETRICS byCode;
    ASSERT_NE(
        engine().GetGlyphOutlineA(dc_, code, GGO_METRICS, &byCode, 0, nullptr, &kIdentityMatrix),
        GDI_ERROR);
    EXPECT_EQ(byCode.gmBlackBoxX, gm.gmBlackBoxX);
    EXPECT_EQ(byCode.gmptGlyphOrigin.x, gm.gmptGlyphOrigin.x);
  }
  // 'j' reaches left of the origin and below the baseline.
  GLYPHMETRICS j;
  engine().GetGlyphOutlineA(dc_, file.Glyph('j'), GGO_METRICS | GGO_GLYPH_INDEX, &j, 0, nullptr,
                            &kIdentityMatrix);
  EXPECT_LT(j.gmptGlyphOrigin.x, 0);
  EXPECT_GT(static_cast<int>(j.gmBlackBoxY), j.gmptGlyphOrigin.y);
}

TEST_F(FontEngineTest, GlyphMetricsOfEmptyAndInvalidGlyphs) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  ASSERT_NE(Select("DejaVu Sans", 120), nullptr);
  FileFont file(kDejaVuSans);
  GLYPHMETRICS gm;
  ASSERT_NE(engine().GetGlyphOutlineA(dc_, file.Glyph(' '), GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0,
                                      nullptr, &kIdentityMatrix),
            GDI_ERROR);
  EXPECT_EQ(gm.gmBlackBoxX, 1u) << "a glyph without outline has a 1 x 1 box, as in GDI";
  EXPECT_EQ(gm.gmBlackBoxY, 1u);
  EXPECT_EQ(gm.gmCellIncX, Width(' '));

  uint16_t numGlyphs = file.U16("maxp", 4);
  EXPECT_EQ(engine().GetGlyphOutlineA(dc_, numGlyphs, GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0,
                                      nullptr, &kIdentityMatrix),
            GDI_ERROR);
  EXPECT_NE(engine().GetGlyphOutlineA(dc_, numGlyphs - 1u, GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0,
                                      nullptr, &kIdentityMatrix),
            GDI_ERROR);
  MAT2 doubled = kIdentityMatrix;
  doubled.eM11.value = 2;
  EXPECT_EQ(
      engine().GetGlyphOutlineA(dc_, 36, GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0, nullptr, &doubled),
      GDI_ERROR);
  EXPECT_EQ(
      engine().GetGlyphOutlineA(dc_, 36, GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0, nullptr, nullptr),
      GDI_ERROR);
  EXPECT_EQ(engine().GetGlyphOutlineA(dc_, 36, GGO_METRICS | GGO_GLYPH_INDEX, nullptr, 0, nullptr,
                                      &kIdentityMatrix),
            GDI_ERROR);
  constexpr uint32_t kGgoBitmap = 1;
  EXPECT_EQ(engine().GetGlyphOutlineA(dc_, 36, kGgoBitmap | GGO_GLYPH_INDEX, &gm, 0, nullptr,
                                      &kIdentityMatrix),
            GDI_ERROR);
}

// --- Face lookup -------------------------------------------------------------------------------

TEST_F(FontEngineTest, FaceFollowsFamilyWeightAndSlant) {
  REQUIRE_FONT(kDejaVuSansBoldOblique, "fonts-dejavu-core");
  struct Case {
    int32_t weight;
    bool italic;
    const char* file;
  };
  for (const Case& c :
       {Case{400, false, kDejaVuSans}, Case{0, false, kDejaVuSans},
        Case{700, false, kDejaVuSansBold}, Case{400, true, kDejaVuSansOblique},
        Case{700, true, kDejaVuSansBoldOblique}, Case{900, false, kDejaVuSansBold}}) {
    SCOPED_TRACE(c.file);
    SCOPED_TRACE(c.weight);
    ASSERT_NE(Select("DejaVu Sans", 120, c.weight, c.italic), nullptr);
    // The head table (its checksum adjustment and dates) tells the files apart.
    EXPECT_EQ(EngineTable(Id("head")), FileFont(c.file).Table("head"));
  }
}

TEST_F(FontEngineTest, LongFaceNameInPszFontWins) {
  REQUIRE_FONT(kWqyCollection, "fonts-wqy-microhei");
  // lfFaceName holds a truncated, different name; the full name decides.
  LOGFONTA lf = Logfont("Liberation Sans", 120);
  HFONT font = Create(lf, "WenQuanYi Micro Hei Mono");
  ASSERT_NE(font, nullptr);
  engine().SelectObject(dc_, font);
  FileFont mono(kWqyCollection, 1);
  EXPECT_EQ(EngineTable(Id("name")), mono.Table("name"));
}

TEST_F(FontEngineTest, UnknownFaceNameFallsBackToATrueTypeFace) {
  ASSERT_NE(Select("Zz No Such Face Anywhere", 120), nullptr);
  EXPECT_NE(engine().GetFontData(dc_, Id("glyf"), 0, nullptr, 0), GDI_ERROR);
  EXPECT_GT(Width('A'), 0);
  // An empty name is the default face.
  ASSERT_NE(Select("", 120), nullptr);
  EXPECT_NE(engine().GetFontData(dc_, Id("glyf"), 0, nullptr, 0), GDI_ERROR);
  // A path to no file is only a name.
  ASSERT_NE(Select("", 120, 400, false, "/no/such/dir/font.ttf"), nullptr);
  EXPECT_NE(engine().GetFontData(dc_, Id("glyf"), 0, nullptr, 0), GDI_ERROR);
}

// The engine asks on the process's fontconfig configuration, which every caller in the process
// shares (the fndl tool asks the same question before the library does): the configuration an
// application makes current is where its faces come from.
TEST_F(FontEngineTest, FacesComeFromTheProcessFontconfigConfiguration) {
  REQUIRE_FONT(kLiberationSans, "fonts-liberation2");
  FcConfig* system = FcConfigReference(nullptr);
  FcConfig* own = FcConfigCreate();
  ASSERT_TRUE(system != nullptr && own != nullptr);
  ASSERT_TRUE(FcConfigSetCurrent(own));
  FcConfigDestroy(own);  // the current configuration holds it now
  ASSERT_TRUE(FcConfigAppFontAddFile(own, reinterpret_cast<const FcChar8*>(kLiberationSans)));
  ReleaseFontEngineCaches();
  const HFONT font = Select("DejaVu Sans", 120);
  FcConfigSetCurrent(system);
  FcConfigDestroy(system);
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(EngineTable(Id("head")), FileFont(kLiberationSans).Table("head"));
}

// --- Collections -------------------------------------------------------------------------------

TEST_F(FontEngineTest, CollectionFaceReadsAsAStandaloneFont) {
  REQUIRE_FONT(kWqyCollection, "fonts-wqy-microhei");
  ASSERT_NE(Select("WenQuanYi Micro Hei Mono", 120), nullptr);
  FileFont collection(kWqyCollection, 1);
  ASSERT_NE(collection.faceOffset, 0u);

  std::vector<uint8_t> font = EngineTable(0);
  ASSERT_FALSE(font.empty());
  ByteView view(font.data(), font.size());
  uint32_t version = 0;
  uint16_t numTables = 0, searchRange = 0, entrySelector = 0, rangeShift = 0;
  ASSERT_TRUE(view.ReadU32(0, version));
  EXPECT_NE(version, 0x74746366u) << "not a collection any more";
  view.ReadU16(4, numTables);
  view.ReadU16(6, searchRange);
  view.ReadU16(8, entrySelector);
  view.ReadU16(10, rangeShift);
  uint16_t collectionTables = 0;
  collection.view().ReadU16(collection.faceOffset + 4, collectionTables);
  ASSERT_EQ(numTables, collectionTables);
  EXPECT_EQ(searchRange, 16u * 16);  // 20 tables: 16 is the largest power of two
  EXPECT_EQ(entrySelector, 4u);
  EXPECT_EQ(rangeShift, numTables * 16u - searchRange);

  uint32_t end = 12 + 16u * numTables;
  for (uint16_t i = 0; i < numTables; ++i) {
    char tag[5] = {};
    memcpy(tag, &font[12 + 16 * i], 4);
    SCOPED_TRACE(tag);
    auto ref = FindTableRecord(view, 0, tag);
    ASSERT_TRUE(ref);
    EXPECT_EQ(ref->offset % 4, 0u);
    EXPECT_GE(ref->offset, end) << "tables follow the directory without overlap";
    end = ref->offset + ref->length;
    // Same bytes as the collection's table, checksum record unchanged.
    EXPECT_EQ(FileTable(view, 0, tag), collection.Table(tag));
    auto original = FindTableRecord(collection.view(), collection.faceOffset, tag);
    uint32_t checkSum = 0, originalCheckSum = 1;
    view.ReadU32(ref->recordAt + 4, checkSum);
    collection.view().ReadU32(original->recordAt + 4, originalCheckSum);
    EXPECT_EQ(checkSum, originalCheckSum);
    // And the same as a table read of the face.
    EXPECT_EQ(EngineTable(Id(tag)), collection.Table(tag));
  }
  EXPECT_LE(end, font.size());
  EXPECT_GE(end + 3, font.size()) << "nothing after the last table but its padding";

  // The whole collection is still there under "ttcf".
  EXPECT_EQ(EngineTable(Id("ttcf")), collection.bytes);

  // The standalone font is itself a font the engine can load by path.
  std::string path = TempPath("mono.ttf");
  WriteFile(path, font);
  HDC other = engine().CreateCompatibleDC();
  HFONT reloaded = Create(Logfont("", 120), path.c_str());
  ASSERT_NE(reloaded, nullptr);
  engine().SelectObject(other, reloaded);
  EXPECT_EQ(EngineTable(Id("cmap"), other), collection.Table("cmap"));
  EXPECT_EQ(engine().GetFontData(other, Id("ttcf"), 0, nullptr, 0), GDI_ERROR);
  int32_t a = 0, b = 0;
  EXPECT_TRUE(engine().GetCharWidthA(other, 'A', 'A', &a));
  EXPECT_TRUE(engine().GetCharWidthA(dc_, 'A', 'A', &b));
  EXPECT_EQ(a, b);
  EXPECT_TRUE(engine().DeleteDC(other));
}

TEST_F(FontEngineTest, CollectionPathIsItsFirstFace) {
  REQUIRE_FONT(kWqyCollection, "fonts-wqy-microhei");
  ASSERT_NE(SelectPath(kWqyCollection, 120), nullptr);
  FileFont first(kWqyCollection, 0);
  EXPECT_EQ(EngineTable(Id("name")), first.Table("name"));
  EXPECT_NE(EngineTable(Id("name")), FileFont(kWqyCollection, 1).Table("name"));
}

// --- Cache ---------------------------------------------------------------------------------------

TEST_F(FontEngineTest, RepeatedCreationReusesTheMatchAndTheFace) {
  REQUIRE_FONT(kDejaVuSansOblique, "fonts-dejavu-core");
  ReleaseFontEngineCaches();
  auto stats = [] { return posix::GetFontEngineStatsForTesting(); };
  auto start = stats();

  ASSERT_NE(Select("DejaVu Sans", 120), nullptr);
  auto first = stats();
  EXPECT_EQ(first.fontconfigMatches - start.fontconfigMatches, 1u);
  EXPECT_EQ(first.fontFileOpens - start.fontFileOpens, 1u);

  // Same name (in any case), weight and slant at other sizes: nothing new.
  ASSERT_NE(Select("DejaVu Sans", 33), nullptr);
  ASSERT_NE(Select("dejavu sans", -50), nullptr);
  EXPECT_EQ(stats().fontconfigMatches, first.fontconfigMatches);
  EXPECT_EQ(stats().fontFileOpens, first.fontFileOpens);

  // Another slant is another match and another file.
  ASSERT_NE(Select("DejaVu Sans", 120, 400, true), nullptr);
  EXPECT_EQ(stats().fontconfigMatches, first.fontconfigMatches + 1);
  EXPECT_EQ(stats().fontFileOpens, first.fontFileOpens + 1);

  // The loaded file by its path is the cached face: no match, no open.
  auto beforePath = stats();
  ASSERT_NE(SelectPath(kDejaVuSans, 120), nullptr);
  EXPECT_EQ(stats().fontconfigMatches, beforePath.fontconfigMatches);
  EXPECT_EQ(stats().fontFileOpens, beforePath.fontFileOpens);

  // Emptying the cache keeps live fonts working; the next creation starts over.
  ReleaseFontEngineCaches();
  EXPECT_EQ(Width('A'), 70);
  EXPECT_EQ(engine().GetFontData(dc_, Id("head"), 0, nullptr, 0), 54u);
  auto afterRelease = stats();
  ASSERT_NE(Select("DejaVu Sans", 120), nullptr);
  EXPECT_EQ(stats().fontconfigMatches, afterRelease.fontconfigMatches + 1);
  EXPECT_EQ(stats().fontFileOpens, afterRelease.fontFileOpens + 1);
}

TEST_F(FontEngineTest, ARewrittenFontFileIsLoadedAgain) {
  REQUIRE_FONT(kLiberationSans, "fonts-liberation2");
  std::string path = TempPath("changing.ttf");
  WriteFile(path, ReadFile(kDejaVuSans));
  ASSERT_NE(SelectPath(path, 120), nullptr);
  EXPECT_EQ(EngineTable(Id("head")), FileFont(kDejaVuSans).Table("head"));
  // Replaced under the same name: the cache must not answer with the old face.
  ASSERT_EQ(unlink(path.c_str()), 0);
  WriteFile(path, ReadFile(kLiberationSans));
  ASSERT_NE(SelectPath(path, 120), nullptr);
  EXPECT_EQ(EngineTable(Id("head")), FileFont(kLiberationSans).Table("head"));
}

// --- Bad input ---------------------------------------------------------------------------------

TEST_F(FontEngineTest, FilesThatAreNoFontMakeNoFont) {
  std::string text = TempPath("readme.txt");
  std::string empty = TempPath("empty.ttf");
  std::string stub = TempPath("stub.ttf");
  std::string text_content = "This is not a font.\n";
  WriteFile(text, std::vector<uint8_t>(text_content.begin(), text_content.end()));
  WriteFile(empty, {});
  WriteFile(stub, {0x00, 0x01, 0x00, 0x00, 0x00});  // an sfnt version and nothing else
  for (const std::string& path : {text, empty, stub}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(Create(Logfont("DejaVu Sans", 120), path.c_str()), nullptr);
  }
  // A directory is not a file: its name goes to fontconfig and gets a face.
  EXPECT_NE(Create(Logfont("", 120), TempPath("").c_str()), nullptr);
}

TEST_F(FontEngineTest, TruncatedFontFile) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  FileFont file(kDejaVuSans);
  auto post = FindTableRecord(file.view(), 0, "post");
  auto head = FindTableRecord(file.view(), 0, "head");
  ASSERT_TRUE(post && head);

  // Cut inside "post" (the second-to-last table): the outlines are whole, post and prep are
  // gone and read as missing tables.
  std::vector<uint8_t> cut(file.bytes.begin(), file.bytes.begin() + post->offset + 100);
  std::string path = TempPath("cut-post.ttf");
  WriteFile(path, cut);
  ASSERT_NE(SelectPath(path, 120), nullptr);
  EXPECT_EQ(engine().GetFontData(dc_, Id("post"), 0, nullptr, 0), GDI_ERROR);
  EXPECT_EQ(engine().GetFontData(dc_, Id("prep"), 0, nullptr, 0), GDI_ERROR);
  EXPECT_EQ(EngineTable(Id("head")), file.Table("head"));
  EXPECT_EQ(EngineTable(0), cut);
  EXPECT_EQ(Width('A'), 70);
  GLYPHMETRICS gm;
  EXPECT_NE(engine().GetGlyphOutlineA(dc_, file.Glyph('A'), GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0,
                                      nullptr, &kIdentityMatrix),
            GDI_ERROR);
  OUTLINETEXTMETRICA otm;
  EXPECT_NE(engine().GetOutlineTextMetricsA(dc_, sizeof(otm), &otm), 0u);

  // Cut inside "glyf", before "head": no font can be made of it.
  std::vector<uint8_t> cutGlyf(file.bytes.begin(), file.bytes.begin() + head->offset - 1000);
  std::string glyfPath = TempPath("cut-glyf.ttf");
  WriteFile(glyfPath, cutGlyf);
  EXPECT_EQ(Create(Logfont("", 120), glyfPath.c_str()), nullptr);
}

TEST_F(FontEngineTest, DirectoryPointingOutsideTheFile) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  FileFont file(kDejaVuSans);
  std::vector<uint8_t> bytes = file.bytes;
  auto kern = FindTableRecord(file.view(), 0, "kern");
  auto gasp = FindTableRecord(file.view(), 0, "gasp");
  ASSERT_TRUE(kern && gasp);
  // kern starts far past the end; gasp's length runs past it (and wraps a 32-bit sum).
  for (int i = 0; i < 4; ++i) bytes[kern->recordAt + 8 + i] = 0xFF;
  for (int i = 0; i < 4; ++i) bytes[gasp->recordAt + 12 + i] = 0xFF;
  std::string path = TempPath("bad-directory.ttf");
  WriteFile(path, bytes);
  ASSERT_NE(SelectPath(path, 120), nullptr);
  EXPECT_EQ(engine().GetFontData(dc_, Id("kern"), 0, nullptr, 0), GDI_ERROR);
  EXPECT_EQ(engine().GetFontData(dc_, Id("gasp"), 0, nullptr, 0), GDI_ERROR);
  EXPECT_EQ(EngineTable(Id("maxp")), file.Table("maxp"));
  EXPECT_EQ(EngineTable(0), bytes);
}

// --- Objects -----------------------------------------------------------------------------------

TEST_F(FontEngineTest, SelectionAndDeletionFollowGdi) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  HFONT a = engine().CreateFontIndirectA(Logfont("DejaVu Sans", 120), nullptr);
  HFONT b = engine().CreateFontIndirectA(Logfont("DejaVu Sans", 60), nullptr);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(engine().SelectObject(dc_, a), nullptr) << "nothing was selected";
  EXPECT_EQ(engine().GetCurrentObject(dc_), a);
  EXPECT_FALSE(engine().DeleteObject(a)) << "a selected font cannot be deleted";
  EXPECT_EQ(Width('A'), 70);
  EXPECT_EQ(engine().SelectObject(dc_, b), a);
  EXPECT_EQ(engine().SelectObject(dc_, b), b);
  EXPECT_TRUE(engine().DeleteObject(a));
  EXPECT_FALSE(engine().DeleteObject(a)) << "a deleted handle is no font";
  EXPECT_EQ(engine().SelectObject(dc_, a), nullptr);
  EXPECT_EQ(engine().GetCurrentObject(dc_), b);
  EXPECT_EQ(engine().SelectObject(dc_, nullptr), nullptr) << "null is not a font";

  // Deleting the context frees its font for deletion; the context handle is dead.
  HDC other = engine().CreateCompatibleDC();
  ASSERT_NE(other, nullptr);
  HFONT c = engine().CreateFontIndirectA(Logfont("DejaVu Sans", 30), nullptr);
  engine().SelectObject(other, c);
  EXPECT_TRUE(engine().DeleteDC(other));
  EXPECT_FALSE(engine().DeleteDC(other));
  EXPECT_EQ(engine().GetFontData(other, Id("head"), 0, nullptr, 0), GDI_ERROR);
  EXPECT_EQ(engine().GetCurrentObject(other), nullptr);
  EXPECT_TRUE(engine().DeleteObject(c));

  // b is selected in the fixture's context: deleting it must wait for the deselection.
  EXPECT_FALSE(engine().DeleteObject(b));
  EXPECT_TRUE(engine().DeleteDC(dc_));
  EXPECT_TRUE(engine().DeleteObject(b));
  dc_ = engine().CreateCompatibleDC();
  EXPECT_FALSE(engine().DeleteObject(nullptr));
  EXPECT_FALSE(engine().DeleteDC(nullptr));
}

TEST_F(FontEngineTest, OneFaceAtManySizesInTurnAndFromManyThreads) {
  REQUIRE_FONT(kDejaVuSans, "fonts-dejavu-core");
  // Fonts of one face share FreeType's face: each size's hinted box must not be disturbed by
  // another size of the face being used in between, or at the same time.
  FileFont file(kDejaVuSans);
  uint16_t glyph = file.Glyph('g');
  constexpr int kSizes = 4;
  const int32_t heights[kSizes] = {-11, -37, -103, -250};
  auto metrics = [glyph](HDC dc) {
    GLYPHMETRICS gm;
    EXPECT_NE(engine().GetGlyphOutlineA(dc, glyph, GGO_METRICS | GGO_GLYPH_INDEX, &gm, 0, nullptr,
                                        &kIdentityMatrix),
              GDI_ERROR);
    return gm;
  };
  auto same = [](const GLYPHMETRICS& a, const GLYPHMETRICS& b) {
    return a.gmBlackBoxX == b.gmBlackBoxX && a.gmBlackBoxY == b.gmBlackBoxY &&
           a.gmptGlyphOrigin.x == b.gmptGlyphOrigin.x && a.gmptGlyphOrigin.y == b.gmptGlyphOrigin.y;
  };
  GLYPHMETRICS alone[kSizes];
  HDC dcs[kSizes];
  for (int i = 0; i < kSizes; ++i) {
    ASSERT_NE(Select("DejaVu Sans", heights[i]), nullptr);
    alone[i] = metrics(dc_);
    dcs[i] = engine().CreateCompatibleDC();
    engine().SelectObject(dcs[i], Create(Logfont("DejaVu Sans", heights[i])));
  }
  EXPECT_LT(alone[0].gmBlackBoxY + 50, alone[3].gmBlackBoxY);
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < kSizes; ++i) EXPECT_TRUE(same(metrics(dcs[i]), alone[i])) << heights[i];
  }

  std::atomic<bool> go{false};
  std::atomic<int> mismatches{0};
  std::vector<std::thread> threads;
  for (int i = 0; i < kSizes; ++i) {
    threads.emplace_back([&, i] {
      while (!go.load()) std::this_thread::yield();
      for (int n = 0; n < 300; ++n) {
        if (!same(metrics(dcs[i]), alone[i])) ++mismatches;
      }
    });
  }
  go = true;
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
  for (HDC dc : dcs) EXPECT_TRUE(engine().DeleteDC(dc));
}

TEST_F(FontEngineTest, TestEngineReplacesThePlatformEngine) {
  FontEngine& platform = CurrentFontEngine();
  struct Double : FontEngine {
    HDC CreateCompatibleDC() override { return nullptr; }
    HFONT CreateFontIndirectA(const LOGFONTA&, const char*) override { return nullptr; }
    HFONT SelectObject(HDC, HFONT) override { return nullptr; }
    HFONT GetCurrentObject(HDC) override { return nullptr; }
    bool DeleteObject(HFONT) override { return false; }
    bool DeleteDC(HDC) override { return false; }
    uint32_t GetFontData(HDC, uint32_t, uint32_t, void*, uint32_t) override { return 42; }
    bool GetCharWidthA(HDC, uint32_t, uint32_t, int32_t*) override { return false; }
    uint32_t GetGlyphOutlineA(HDC, uint32_t, uint32_t, GLYPHMETRICS*, uint32_t, void*,
                              const MAT2*) override {
      return GDI_ERROR;
    }
    uint32_t GetOutlineTextMetricsA(HDC, uint32_t, OUTLINETEXTMETRICA*) override { return 0; }
  } testDouble;
  SetFontEngineForTesting(&testDouble);
  EXPECT_EQ(&CurrentFontEngine(), &testDouble);
  EXPECT_EQ(CurrentFontEngine().GetFontData(nullptr, 0, 0, nullptr, 0), 42u);
  SetFontEngineForTesting(nullptr);
  EXPECT_EQ(&CurrentFontEngine(), &platform);
}

}  // namespace
}  // namespace tavrfndl::platform
