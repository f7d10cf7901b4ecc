// The Windows font engine against GDI itself: what the engine answers for a face and size must be
// what the same GDI calls answer when the tests make them directly, with the library's
// structures copied member for member.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "platform/platform.h"
#include "platform/windows/collection_face.h"
#include "support/driver.h"
#include "support/fontbuilder.h"
#include "support/fontfile.h"
#include "support/shared_read.h"

// After the library's header: <windows.h> makes GDI_ERROR, GGO_METRICS and GGO_GLYPH_INDEX
// macros, which the engine's static assertions tie to the library's constants of the same names.
#include "platform/windows/win32.h"

namespace tavrfndl::testing {
namespace {

namespace pf = tavrfndl::platform;
using Bytes = std::vector<uint8_t>;

constexpr uint32_t kMetricsByIndex = GGO_METRICS | GGO_GLYPH_INDEX;

// The tag as GetFontData takes it: first byte least significant.
uint32_t GdiTag(const char* tag) {
  return uint32_t{static_cast<uint8_t>(tag[0])} | uint32_t{static_cast<uint8_t>(tag[1])} << 8 |
         uint32_t{static_cast<uint8_t>(tag[2])} << 16 |
         uint32_t{static_cast<uint8_t>(tag[3])} << 24;
}

::HDC Win(pf::HDC hdc) {
  return reinterpret_cast<::HDC>(hdc);
}
::HFONT Win(pf::HFONT font) {
  return reinterpret_cast<::HFONT>(font);
}

pf::LOGFONTA LogFont(const char* face, int32_t height) {
  pf::LOGFONTA lf;
  lf.lfHeight = height;
  lf.lfWeight = 400;
  // At most 31 bytes, as the library fills it.
  std::memcpy(lf.lfFaceName, face, strnlen(face, sizeof lf.lfFaceName - 1));
  return lf;
}

// Device contexts with a font selected, made through the engine and deleted with their fonts at
// the end of the test.
class Gdi : public ::testing::Test {
 protected:
  pf::FontEngine& engine = pf::CurrentFontEngine();

  pf::HDC Select(const pf::LOGFONTA& lf, const char* pszFont = nullptr) {
    pf::HDC dc = engine.CreateCompatibleDC();
    EXPECT_NE(dc, nullptr);
    pf::HFONT font = engine.CreateFontIndirectA(lf, pszFont != nullptr ? pszFont : lf.lfFaceName);
    EXPECT_NE(font, nullptr) << lf.lfFaceName;
    if (dc != nullptr && font != nullptr) engine.SelectObject(dc, font);
    made_.push_back({dc, font});
    return dc;
  }
  pf::HDC Select(const char* face, int32_t height) { return Select(LogFont(face, height)); }

  void TearDown() override {
    for (const Made& m : made_) {
      // The context goes first: a font still selected into one is not deleted.
      if (m.dc != nullptr) {
        EXPECT_TRUE(engine.DeleteDC(m.dc));
      }
      if (m.font != nullptr) {
        EXPECT_TRUE(engine.DeleteObject(m.font));
      }
    }
  }

  Bytes FontData(pf::HDC dc, uint32_t table) {
    const uint32_t size = engine.GetFontData(dc, table, 0, nullptr, 0);
    if (size == GDI_ERROR) return {};
    Bytes bytes(size);
    EXPECT_EQ(engine.GetFontData(dc, table, 0, bytes.data(), size), size);
    return bytes;
  }

  pf::OUTLINETEXTMETRICA Metrics(pf::HDC dc) {
    pf::OUTLINETEXTMETRICA otm;
    const uint32_t size = engine.GetOutlineTextMetricsA(dc, 0, nullptr);
    EXPECT_EQ(size, sizeof otm);
    EXPECT_NE(engine.GetOutlineTextMetricsA(dc, size, &otm), 0u);
    return otm;
  }

 private:
  struct Made {
    pf::HDC dc;
    pf::HFONT font;
  };
  std::vector<Made> made_;
};

TEST_F(Gdi, ContextAndFontAreGdiObjectsThatSelectDeselectAndDelete) {
  pf::HDC dc = engine.CreateCompatibleDC();
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetObjectType(Win(dc)), static_cast<DWORD>(OBJ_MEMDC));
  pf::HFONT font = engine.CreateFontIndirectA(LogFont("DejaVu Sans", 120), "DejaVu Sans");
  ASSERT_NE(font, nullptr);
  EXPECT_EQ(GetObjectType(Win(font)), static_cast<DWORD>(OBJ_FONT));

  // A new memory context has the stock font selected, which SelectObject hands back.
  pf::HFONT stock = engine.GetCurrentObject(dc);
  EXPECT_EQ(Win(stock), GetCurrentObject(Win(dc), OBJ_FONT));
  EXPECT_EQ(engine.SelectObject(dc, font), stock);
  EXPECT_EQ(engine.GetCurrentObject(dc), font);
  EXPECT_EQ(engine.SelectObject(dc, stock), font);
  EXPECT_EQ(engine.GetCurrentObject(dc), stock);

  EXPECT_TRUE(engine.DeleteObject(font));
  EXPECT_EQ(GetObjectType(Win(font)), 0u);
  EXPECT_TRUE(engine.DeleteDC(dc));
  EXPECT_FALSE(engine.DeleteDC(dc));
  EXPECT_EQ(engine.GetCurrentObject(dc), nullptr);
  EXPECT_EQ(engine.GetFontData(dc, 0, 0, nullptr, 0), GDI_ERROR);
}

TEST_F(Gdi, CreateFontIndirectAGivesGdiEveryLogFontMember) {
  pf::LOGFONTA lf = LogFont("DejaVu Sans", -37);
  lf.lfWidth = 11;
  lf.lfEscapement = 450;
  lf.lfOrientation = 900;
  lf.lfWeight = 700;
  lf.lfItalic = 1;
  lf.lfUnderline = 1;
  lf.lfStrikeOut = 1;
  lf.lfCharSet = EASTEUROPE_CHARSET;
  lf.lfOutPrecision = OUT_TT_PRECIS;
  lf.lfClipPrecision = CLIP_LH_ANGLES;
  lf.lfQuality = ANTIALIASED_QUALITY;
  lf.lfPitchAndFamily = VARIABLE_PITCH | FF_SWISS;
  pf::HFONT font = engine.CreateFontIndirectA(lf, lf.lfFaceName);
  ASSERT_NE(font, nullptr);
  ::LOGFONTA got{};
  ASSERT_EQ(GetObjectA(Win(font), sizeof got, &got), static_cast<int>(sizeof got));
  EXPECT_EQ(got.lfHeight, -37);
  EXPECT_EQ(got.lfWidth, 11);
  EXPECT_EQ(got.lfEscapement, 450);
  EXPECT_EQ(got.lfOrientation, 900);
  EXPECT_EQ(got.lfWeight, 700);
  EXPECT_EQ(got.lfItalic, 1);
  EXPECT_EQ(got.lfUnderline, 1);
  EXPECT_EQ(got.lfStrikeOut, 1);
  EXPECT_EQ(got.lfCharSet, EASTEUROPE_CHARSET);
  EXPECT_EQ(got.lfOutPrecision, OUT_TT_PRECIS);
  EXPECT_EQ(got.lfClipPrecision, CLIP_LH_ANGLES);
  EXPECT_EQ(got.lfQuality, ANTIALIASED_QUALITY);
  EXPECT_EQ(got.lfPitchAndFamily, VARIABLE_PITCH | FF_SWISS);
  EXPECT_STREQ(got.lfFaceName, "DejaVu Sans");
  EXPECT_TRUE(engine.DeleteObject(font));
}

TEST_F(Gdi, FaceNameWithoutTerminatorIsCutToThirtyOneBytes) {
  pf::LOGFONTA lf = LogFont("", 120);
  std::memset(lf.lfFaceName, 'q', sizeof lf.lfFaceName);
  pf::HFONT font = engine.CreateFontIndirectA(lf, nullptr);
  ASSERT_NE(font, nullptr);
  ::LOGFONTA got{};
  ASSERT_NE(GetObjectA(Win(font), sizeof got, &got), 0);
  EXPECT_EQ(std::string(got.lfFaceName), std::string(31, 'q'));
  EXPECT_TRUE(engine.DeleteObject(font));
}

TEST_F(Gdi, FontDataOfDejaVuSansIsTheBytesOfItsFile) {
  pf::HDC dc = Select("DejaVu Sans", 120);
  const Bytes file = ReadSharedFile(kDejaVuSans);
  ASSERT_FALSE(file.empty());
  EXPECT_EQ(FontData(dc, 0), file);

  FontFile font(kDejaVuSans);
  ASSERT_TRUE(font.ok());
  for (const char* tag : {"head", "hhea", "maxp", "cmap", "glyf", "loca", "hmtx", "OS/2", "post",
                          "name", "cvt ", "fpgm", "prep"}) {
    const Bytes table = font.Table(tag);
    ASSERT_FALSE(table.empty()) << tag;
    EXPECT_EQ(FontData(dc, GdiTag(tag)), table) << tag;
  }

  // From an offset, into a buffer that is too small for the rest: what fits is copied.
  uint8_t magic[4] = {};
  EXPECT_EQ(engine.GetFontData(dc, GdiTag("head"), 12, magic, sizeof magic), 4u);
  EXPECT_EQ(Bytes(magic, magic + 4), (Bytes{0x5F, 0x0F, 0x3C, 0xF5}));
  EXPECT_EQ(engine.GetFontData(dc, GdiTag("head"), 0, nullptr, 0), 54u);

  EXPECT_EQ(engine.GetFontData(dc, GdiTag("zzzz"), 0, nullptr, 0), GDI_ERROR);
  EXPECT_EQ(engine.GetFontData(nullptr, 0, 0, nullptr, 0), GDI_ERROR);
}

TEST_F(Gdi, CharWidthsAreGdisForUtf16Codes) {
  for (int32_t height : {120, -50, 33, 1000}) {
    SCOPED_TRACE(height);
    pf::HDC dc = Select("DejaVu Sans", height);
    // GetCharWidthA reads a code in the code page of the font's character set, 1252 for the
    // ANSI_CHARSET asked for here, which is UTF-16 for these codes.
    for (uint32_t code = 0x20; code <= 0xFF; ++code) {
      if (code >= 0x7F && code < 0xA0) continue;
      int32_t ours = -1;
      INT direct = -2;
      ASSERT_TRUE(engine.GetCharWidthA(dc, code, code, &ours)) << code;
      ASSERT_TRUE(::GetCharWidthA(Win(dc), code, code, &direct)) << code;
      EXPECT_EQ(ours, direct) << code;
    }
    // Above 0xFF, and in 0x80-0x9F, a code is a UTF-16 code unit, as in the library's text.
    for (uint32_t code : {0x80u, 0x9Fu, 0x0416u, 0x20ACu, 0x3000u, 0xFB01u}) {
      int32_t ours = -1;
      INT direct = -2;
      ASSERT_TRUE(engine.GetCharWidthA(dc, code, code, &ours)) << code;
      ASSERT_TRUE(::GetCharWidth32W(Win(dc), code, code, &direct)) << code;
      EXPECT_EQ(ours, direct) << code;
    }
    // A range gives each code's own width.
    int32_t range[26] = {};
    ASSERT_TRUE(engine.GetCharWidthA(dc, 'A', 'Z', range));
    for (uint32_t i = 0; i < 26; ++i) {
      int32_t one = -1;
      ASSERT_TRUE(engine.GetCharWidthA(dc, 'A' + i, 'A' + i, &one));
      EXPECT_EQ(range[i], one);
    }
  }
  pf::HDC dc = Select("DejaVu Sans", 120);
  int32_t w = 0;
  ASSERT_TRUE(engine.GetCharWidthA(dc, 'A', 'A', &w));
  EXPECT_EQ(w, 70);  // hmtx 1401 at the 103-pixel em of a 120-unit cell, as the POSIX engine
  EXPECT_FALSE(engine.GetCharWidthA(dc, 'B', 'A', &w));
  EXPECT_FALSE(engine.GetCharWidthA(dc, 'A', 'A', nullptr));
}

TEST_F(Gdi, GlyphMetricsAreGdisAndTheMatrixIsPassedOn) {
  pf::HDC dc = Select("DejaVu Sans", 120);
  FontFile font(kDejaVuSans);
  for (char16_t c : {u'A', u'g', u' ', u'\u00e9', u'\u0416', u'\u2211'}) {
    const uint32_t glyph = font.GlyphIndex(c);
    ASSERT_NE(glyph, 0u) << int(c);
    pf::GLYPHMETRICS ours;
    ASSERT_NE(engine.GetGlyphOutlineA(dc, glyph, kMetricsByIndex, &ours, 0, nullptr,
                                      &pf::kIdentityMatrix),
              GDI_ERROR);
    ::GLYPHMETRICS direct{};
    const ::MAT2 identity = {{0, 1}, {0, 0}, {0, 0}, {0, 1}};
    ASSERT_NE(::GetGlyphOutlineW(Win(dc), glyph, kMetricsByIndex, &direct, 0, nullptr, &identity),
              GDI_ERROR);
    EXPECT_EQ(ours.gmBlackBoxX, direct.gmBlackBoxX) << int(c);
    EXPECT_EQ(ours.gmBlackBoxY, direct.gmBlackBoxY) << int(c);
    EXPECT_EQ(ours.gmptGlyphOrigin.x, direct.gmptGlyphOrigin.x) << int(c);
    EXPECT_EQ(ours.gmptGlyphOrigin.y, direct.gmptGlyphOrigin.y) << int(c);
    EXPECT_EQ(ours.gmCellIncX, direct.gmCellIncX) << int(c);
    EXPECT_EQ(ours.gmCellIncY, direct.gmCellIncY) << int(c);
  }

  // Every member of the matrix reaches GDI: twice as wide and mirrored upside down.
  const uint32_t a = font.GlyphIndex(u'A');
  pf::GLYPHMETRICS plain, transformed;
  ASSERT_NE(
      engine.GetGlyphOutlineA(dc, a, kMetricsByIndex, &plain, 0, nullptr, &pf::kIdentityMatrix),
      GDI_ERROR);
  const pf::MAT2 wide = {{0, 2}, {0, 0}, {0, 0}, {0, -1}};
  ASSERT_NE(engine.GetGlyphOutlineA(dc, a, kMetricsByIndex, &transformed, 0, nullptr, &wide),
            GDI_ERROR);
  EXPECT_NEAR(transformed.gmCellIncX, 2 * plain.gmCellIncX, 1);
  EXPECT_NEAR(transformed.gmBlackBoxX, 2 * plain.gmBlackBoxX, 2);
  EXPECT_NEAR(transformed.gmptGlyphOrigin.y, plain.gmptGlyphOrigin.y - int32_t(plain.gmBlackBoxY),
              1);

  pf::GLYPHMETRICS untouched;
  untouched.gmCellIncX = 1234;
  EXPECT_EQ(
      engine.GetGlyphOutlineA(dc, a, kMetricsByIndex, nullptr, 0, nullptr, &pf::kIdentityMatrix),
      GDI_ERROR);
  EXPECT_EQ(engine.GetGlyphOutlineA(dc, a, kMetricsByIndex, &untouched, 0, nullptr, nullptr),
            GDI_ERROR);
  EXPECT_EQ(engine.GetGlyphOutlineA(dc, font.NumGlyphs() + 100, kMetricsByIndex, &untouched, 0,
                                    nullptr, &pf::kIdentityMatrix),
            GDI_ERROR);
  EXPECT_EQ(untouched.gmCellIncX, 1234);
}

TEST_F(Gdi, OutlineTextMetricsFillTheLibrarysOwnBlock) {
  struct Case {
    const char* face;
    int32_t underscoreSize, underscorePosition;
  };
  // The POSIX engine answers the same for these faces at this size.
  for (const Case& c : {Case{"DejaVu Sans", 5, -2}, Case{"Liberation Sans", 8, -4}}) {
    SCOPED_TRACE(c.face);
    pf::HDC dc = Select(c.face, 120);
    // The caller allocates what the size query says: the library's block, not Windows'.
    ASSERT_EQ(engine.GetOutlineTextMetricsA(dc, 0, nullptr), sizeof(pf::OUTLINETEXTMETRICA));
    const pf::OUTLINETEXTMETRICA otm = Metrics(dc);
    EXPECT_EQ(otm.otmSize, sizeof(pf::OUTLINETEXTMETRICA));
    EXPECT_EQ(otm.otmEMSquare, 2048u);
    EXPECT_EQ(otm.otmsUnderscoreSize, c.underscoreSize);
    EXPECT_EQ(otm.otmsUnderscorePosition, c.underscorePosition);

    const UINT windowsSize = ::GetOutlineTextMetricsA(Win(dc), 0, nullptr);
    ASSERT_GT(windowsSize, sizeof(pf::OUTLINETEXTMETRICA));
    std::vector<uint8_t> block(windowsSize + 8);
    auto* direct = reinterpret_cast<::OUTLINETEXTMETRICA*>(block.data());
    ASSERT_NE(::GetOutlineTextMetricsA(Win(dc), windowsSize, direct), 0u);
    EXPECT_EQ(otm.otmAscent, direct->otmAscent);
    EXPECT_EQ(otm.otmDescent, direct->otmDescent);
    EXPECT_EQ(otm.otmsUnderscoreSize, direct->otmsUnderscoreSize);
    EXPECT_EQ(otm.otmsUnderscorePosition, direct->otmsUnderscorePosition);

    // A block larger than asked for is filled at its start only.
    pf::OUTLINETEXTMETRICA two[2];
    two[1].otmSize = 77;
    EXPECT_NE(engine.GetOutlineTextMetricsA(dc, sizeof two, two), 0u);
    EXPECT_EQ(two[0].otmsUnderscoreSize, c.underscoreSize);
    EXPECT_EQ(two[1].otmSize, 77u);
    // A smaller one fails and is left alone.
    pf::OUTLINETEXTMETRICA small;
    small.otmEMSquare = 5;
    EXPECT_EQ(engine.GetOutlineTextMetricsA(dc, sizeof small - 1, &small), 0u);
    EXPECT_EQ(small.otmEMSquare, 5u);
  }
  EXPECT_EQ(engine.GetOutlineTextMetricsA(nullptr, 0, nullptr), 0u);
}

TEST_F(Gdi, DejaVuSansAtACellHeightOf120HasA103PixelEm) {
  pf::HDC dc = Select("DejaVu Sans", 120);
  TEXTMETRICA tm{};
  ASSERT_TRUE(GetTextMetricsA(Win(dc), &tm));
  EXPECT_EQ(tm.tmHeight, 120);
  EXPECT_EQ(tm.tmHeight - tm.tmInternalLeading, 103);
  const pf::OUTLINETEXTMETRICA otm = Metrics(dc);
  // sTypoAscender 1556 and sTypoDescender -492 at 103 / 2048.
  EXPECT_EQ(otm.otmAscent, 78);
  EXPECT_EQ(otm.otmDescent, -25);
}

// The font file with every `from` in it (ASCII and UTF-16BE) replaced by `to` of the same length:
// a name no installed font has, so that only the file itself can answer for it.
Bytes Renamed(const char* path, const std::string& from, const std::string& to) {
  Bytes bytes = ReadSharedFile(path);
  Bytes utf16From, utf16To;
  for (size_t i = 0; i < from.size(); ++i) {
    utf16From.insert(utf16From.end(), {0, uint8_t(from[i])});
    utf16To.insert(utf16To.end(), {0, uint8_t(to[i])});
  }
  for (const auto& [f, t] :
       {std::pair{Bytes(from.begin(), from.end()), Bytes(to.begin(), to.end())},
        std::pair{utf16From, utf16To}}) {
    for (auto it = std::search(bytes.begin(), bytes.end(), f.begin(), f.end()); it != bytes.end();
         it = std::search(it + 1, bytes.end(), f.begin(), f.end())) {
      std::copy(t.begin(), t.end(), it);
    }
  }
  return bytes;
}

std::string WriteTemp(const std::string& name, const Bytes& bytes) {
  const std::string path = TempPath(name);
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::string PrivateFontFile() {
  return WriteTemp("private.ttf", Renamed(kDejaVuSans, "DejaVu Sans", "Tavrfndl QA"));
}

uint32_t U16(const Bytes& b, size_t at) {
  return BeU16(b, at);
}
uint32_t U32(const Bytes& b, size_t at) {
  return BeU32(b, at);
}
void PutU32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.at(at + i) = uint8_t(v >> (24 - 8 * i));
}

// A font collection of the fonts: header, the directories one after the other, then each font's
// tables, 4-byte aligned, at offsets counted from the start of the collection.
Bytes Collection(const std::vector<Bytes>& fonts) {
  Bytes out = {'t', 't', 'c', 'f', 0, 1, 0, 0, 0, 0, 0, uint8_t(fonts.size())};
  out.resize(12 + 4 * fonts.size());
  std::vector<size_t> directories;
  for (size_t f = 0; f < fonts.size(); ++f) {
    directories.push_back(out.size());
    PutU32(out, 12 + 4 * f, uint32_t(out.size()));
    const size_t tables = U16(fonts[f], 4);
    out.insert(out.end(), fonts[f].begin(), fonts[f].begin() + 12 + 16 * long(tables));
  }
  for (size_t f = 0; f < fonts.size(); ++f) {
    for (size_t i = 0; i < U16(fonts[f], 4); ++i) {
      const size_t record = 12 + 16 * i;
      const uint32_t offset = U32(fonts[f], record + 8), length = U32(fonts[f], record + 12);
      PutU32(out, directories[f] + record + 8, uint32_t(out.size()));
      out.insert(out.end(), fonts[f].begin() + offset, fonts[f].begin() + offset + length);
      out.resize((out.size() + 3) & ~size_t{3});
    }
  }
  return out;
}

TEST_F(Gdi, FontFilePathGivesThatFilesFaceWhateverTheWeightAskedFor) {
  const std::string path = PrivateFontFile();
  const Bytes file = ReadSharedFile(path);
  for (int32_t weight : {400, 700}) {
    SCOPED_TRACE(weight);
    pf::LOGFONTA lf = LogFont(path.c_str(), 120);
    lf.lfWeight = weight;
    pf::HDC dc = Select(lf, path.c_str());
    EXPECT_EQ(FontData(dc, 0), file);
    const pf::OUTLINETEXTMETRICA otm = Metrics(dc);
    EXPECT_EQ(otm.otmsUnderscoreSize, 5);
    EXPECT_EQ(otm.otmsUnderscorePosition, -2);
    char face[LF_FACESIZE] = {};
    GetTextFaceA(Win(dc), sizeof face, face);
    EXPECT_STREQ(face, "Tavrfndl QA");
  }
  // An installed font's file gives that font.
  pf::HDC dc = Select(LogFont(kDejaVuSans, 120), kDejaVuSans);
  EXPECT_EQ(FontData(dc, 0), ReadSharedFile(kDejaVuSans));
}

// The whole font of a face in a collection is that face alone: its own directory, offsets
// rebased, and every table's bytes; which face is asked for decides which font comes back.
TEST_F(Gdi, WholeFontOfACollectionFaceIsAFontOfItsOwn) {
  const Bytes sans = Renamed(kDejaVuSans, "DejaVu Sans", "Tavrfndl QA");
  const Bytes serif =
      Renamed("/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf", "DejaVu Serif", "Tavrfndl Ser");
  ASSERT_FALSE(sans.empty());
  ASSERT_FALSE(serif.empty());
  const Bytes collection = Collection({sans, serif});
  const std::string path = WriteTemp("pair.ttc", collection);

  // The first face by the file's path; the file is then known to GDI, the second by its name.
  pf::HDC first = Select(LogFont(path.c_str(), 120), path.c_str());
  pf::HDC second = Select("Tavrfndl Ser", 120);
  const Bytes firstFont = FontData(first, 0);
  const Bytes secondFont = FontData(second, 0);
  EXPECT_EQ(FontData(first, 0), firstFont);  // the other face in between changes nothing

  for (const auto& [font, original, name] :
       {std::tuple{firstFont, sans, "first"}, std::tuple{secondFont, serif, "second"}}) {
    SCOPED_TRACE(name);
    const size_t tables = U16(original, 4);
    ASSERT_GE(font.size(), 12 + 16 * tables);
    EXPECT_EQ(U32(font, 0), U32(original, 0));
    EXPECT_EQ(U16(font, 4), tables);
    // searchRange, entrySelector, rangeShift for the count.
    size_t power = 1, log = 0;
    while (power * 2 <= tables) power *= 2, ++log;
    EXPECT_EQ(U16(font, 6), 16 * power);
    EXPECT_EQ(U16(font, 8), log);
    EXPECT_EQ(U16(font, 10), 16 * tables - 16 * power);
    size_t expectedAt = 12 + 16 * tables;
    for (size_t i = 0; i < tables; ++i) {
      const size_t record = 12 + 16 * i;
      EXPECT_EQ(U32(font, record), U32(original, record)) << i;          // tag
      EXPECT_EQ(U32(font, record + 4), U32(original, record + 4)) << i;  // checksum
      EXPECT_EQ(U32(font, record + 8), expectedAt) << i;
      const uint32_t length = U32(original, record + 12), from = U32(original, record + 8);
      ASSERT_EQ(U32(font, record + 12), length) << i;
      ASSERT_LE(expectedAt + length, font.size());
      EXPECT_TRUE(std::equal(original.begin() + from, original.begin() + from + length,
                             font.begin() + long(expectedAt)))
          << i;
      expectedAt = (expectedAt + length + 3) & ~size_t{3};
    }
    EXPECT_EQ(font.size(), expectedAt);
  }

  // GDI's answers for the collection itself and for single tables are left as they are.
  EXPECT_EQ(engine.GetFontData(first, GdiTag("ttcf"), 0, nullptr, 0), collection.size());
  EXPECT_EQ(FontData(second, GdiTag("head")),
            FontFile(WriteTemp("serif.ttf", serif)).Table("head"));
  EXPECT_EQ(engine.GetFontData(first, 0, 0, nullptr, 0), firstFont.size());
  // Reads from an offset: to the end gives nothing, past it an error.
  uint8_t part[8] = {};
  EXPECT_EQ(engine.GetFontData(first, 0, 4, part, sizeof part), 8u);
  EXPECT_TRUE(std::equal(part, part + 8, firstFont.begin() + 4));
  const uint32_t size = uint32_t(firstFont.size());
  EXPECT_EQ(engine.GetFontData(first, 0, size - 3, part, sizeof part), 3u);
  EXPECT_EQ(engine.GetFontData(first, 0, size, part, sizeof part), 0u);
  EXPECT_EQ(engine.GetFontData(first, 0, size + 1, part, sizeof part), GDI_ERROR);

  // A font that is no collection face is not one: GDI's "ttcf" answer is an error.
  pf::HDC single = Select("DejaVu Sans", 120);
  EXPECT_EQ(engine.GetFontData(single, GdiTag("ttcf"), 0, nullptr, 0), GDI_ERROR);
}

TEST_F(Gdi, FileThatIsNoFontGivesNoFontButAFolderIsAFaceName) {
  const std::string text = TempPath("notes.ttf");
  std::ofstream(text) << "not a font at all, but long enough to have a header\n";
  EXPECT_EQ(engine.CreateFontIndirectA(LogFont(text.c_str(), 120), text.c_str()), nullptr);

  // A name that is no file goes to the font mapper, which always finds something.
  const std::string folder = TempPath("folder");
  ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
  pf::HFONT font = engine.CreateFontIndirectA(LogFont(folder.c_str(), 120), folder.c_str());
  EXPECT_NE(font, nullptr);
  if (font != nullptr) {
    EXPECT_TRUE(engine.DeleteObject(font));
  }
}

TEST_F(Gdi, ReleasingTheCachesKeepsExistingFontsAndFilesCanBeUsedAgain) {
  const std::string path = PrivateFontFile();
  const Bytes file = ReadSharedFile(path);
  pf::HDC before = Select(LogFont(path.c_str(), 120), path.c_str());
  pf::ReleaseFontEngineCaches();
  EXPECT_EQ(FontData(before, GdiTag("head")), FontFile(path).Table("head"));
  pf::HDC after = Select(LogFont(path.c_str(), 60), path.c_str());
  EXPECT_EQ(FontData(after, 0), file);
  pf::ReleaseFontEngineCaches();
}

// The standalone font of a collection face is kept between calls, and releasing the caches (what
// removing the last font does) lets it go: a later job builds it anew from GDI's answers.
TEST_F(Gdi, ReleasingTheCachesDropsTheLastCollectionFace) {
  const Bytes collection = Collection({Renamed(kDejaVuSans, "DejaVu Sans", "Tavrfndl QB")});
  const std::string path = WriteTemp("kept.ttc", collection);
  pf::HDC dc = Select(LogFont(path.c_str(), 120), path.c_str());
  const uint64_t before = pf::windows::CollectionFacesBuiltForTesting();
  const Bytes font = FontData(dc, 0);
  ASSERT_FALSE(font.empty());
  EXPECT_EQ(FontData(dc, 0), font);
  EXPECT_EQ(pf::windows::CollectionFacesBuiltForTesting(), before + 1) << "kept between calls";
  pf::ReleaseFontEngineCaches();
  EXPECT_EQ(FontData(Select(LogFont(path.c_str(), 120), path.c_str()), 0), font);
  EXPECT_EQ(pf::windows::CollectionFacesBuiltForTesting(), before + 2) << "built anew";
  pf::ReleaseFontEngineCaches();
}

TEST_F(Gdi, FaceNamesAreReadInTheAnsiCodePageATestSets) {
  // "ＭＳ ゴシック" in Shift_JIS.
  const char sjis[] = "\x82\x6c\x82\x72 \x83\x53\x83\x56\x83\x62\x83\x4e";
  pf::SetAnsiCodeSetForTesting("CP932");
  pf::HFONT font = engine.CreateFontIndirectA(LogFont(sjis, 120), sjis);
  pf::SetAnsiCodeSetForTesting(nullptr);
  ASSERT_NE(font, nullptr);
  ::LOGFONTW got{};
  ASSERT_NE(GetObjectW(Win(font), sizeof got, &got), 0);
  EXPECT_EQ(std::wstring(got.lfFaceName), L"\uFF2D\uFF33 \u30B4\u30B7\u30C3\u30AF");
  EXPECT_TRUE(engine.DeleteObject(font));
}

TEST(FontEngineSwitch, TestDoubleReplacesGdiUntilRemoved) {
  pf::FontEngine& platformEngine = pf::CurrentFontEngine();
  test::FontDataEngine fake(Bytes(64, 0));
  {
    test::ScopedFontEngine installed(fake);
    EXPECT_EQ(&pf::CurrentFontEngine(), &fake);
  }
  EXPECT_EQ(&pf::CurrentFontEngine(), &platformEngine);
  pf::HDC dc = platformEngine.CreateCompatibleDC();
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GetObjectType(Win(dc)), static_cast<DWORD>(OBJ_MEMDC));
  EXPECT_TRUE(platformEngine.DeleteDC(dc));
}

}  // namespace
}  // namespace tavrfndl::testing
