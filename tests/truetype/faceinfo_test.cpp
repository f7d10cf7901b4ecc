// What is read of a face's design: whether its outlines lean, and how deep its glyphs reach.
#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "support/fontbuilder.h"
#include "truetype/faceinfo.h"

namespace tavrfndl {
namespace {

using test::FontBuilder;

struct Design {
  std::optional<uint32_t> italicAngle;  // "post", 16.16; nothing: no table
  std::optional<uint16_t> macStyle;     // "head"
  std::optional<uint16_t> fsSelection;  // "OS/2"
  bool cut = false;                     // every table ends one byte into its mark
};

std::vector<uint8_t> Table(size_t size, size_t at, uint32_t value, size_t bytes, bool cut) {
  test::Bytes b;
  b.Zeros(size);
  if (bytes == 2) b.PutU16(at, static_cast<uint16_t>(value));
  if (bytes == 4) b.PutU32(at, value);
  std::vector<uint8_t> out = b.Take();
  if (cut) out.resize(at + 1);
  return out;
}

std::vector<uint8_t> FontWith(const Design& d) {
  FontBuilder b;
  if (d.italicAngle) b.AddTable("post", Table(32, 4, *d.italicAngle, 4, d.cut));
  if (d.macStyle) b.AddTable("head", Table(54, 44, *d.macStyle, 2, d.cut));
  if (d.fsSelection) b.AddTable("OS/2", Table(78, 62, *d.fsSelection, 2, d.cut));
  return b.Build();
}

TEST(IsSlantedFace, AnyOfTheThreeItalicMarksMeansSlanted) {
  struct Case {
    const char* name;
    Design design;
    bool slanted;
  } const cases[] = {
      {"upright", {0, 0, 0x40}, false},
      {"italic angle -11 degrees", {0xFFF50000u, 0, 0x40}, true},
      {"italic angle of a fraction of a degree", {0x00000001u, 0, 0}, true},
      {"macStyle italic", {0, 0x0002, 0}, true},
      {"macStyle bold only", {0, 0x0001, 0}, false},
      {"fsSelection italic", {0, 0, 0x0001}, true},
      {"fsSelection bold only", {0, 0, 0x0020}, false},
      {"only OS/2, italic", {std::nullopt, std::nullopt, 0x0001}, true},
      {"no tables", {}, false},
      {"every mark cut off its table", {0xFFF50000u, 0x0002, 0x0001, true}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::TempFile file(FontWith(c.design));
    FontSource source;
    source.bTTE = true;
    source.path = file.c_str();
    FontTables tables(source);
    EXPECT_EQ(IsSlantedFace(tables), c.slanted);

    // The font engine's copy of the same tables says the same.
    test::FontDataEngine engine(FontWith(c.design));
    test::ScopedFontEngine installed(engine);
    FontSource engineSource;
    engineSource.hDC = engine.dc();
    FontTables engineTables(engineSource);
    EXPECT_EQ(IsSlantedFace(engineTables), c.slanted);
  }
}

TEST(ReadFaceDescent, WindowsDescentElseTheHorizontalHeadersAtMostOneEm) {
  struct Case {
    const char* name;
    std::optional<uint16_t> unitsPerEm;    // "head"
    std::optional<uint16_t> winDescent;    // "OS/2"
    std::optional<int16_t> hheaDescender;  // "hhea"
    uint16_t expectedUnitsPerEm, expectedDescent;
  } const cases[] = {
      {"usWinDescent", 2048, 483, -400, 2048, 483},
      {"no OS/2: the depth of the descender", 2048, std::nullopt, -400, 2048, 400},
      {"usWinDescent 0: the descender", 1000, 0, -300, 1000, 300},
      {"a descender above the baseline is none", 1000, std::nullopt, 100, 1000, 0},
      {"deeper than an em: one em", 2048, 3000, -400, 2048, 2048},
      {"no head: nothing known", std::nullopt, 483, -400, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FontBuilder b;
    if (c.unitsPerEm) b.AddTable("head", test::BuildHead(0, *c.unitsPerEm));
    if (c.winDescent) b.AddTable("OS/2", Table(78, 76, *c.winDescent, 2, false));
    if (c.hheaDescender) b.AddTable("hhea", test::BuildHhea(1, 1800, *c.hheaDescender));
    test::TempFile file(b.Build());
    FontSource source;
    source.bTTE = true;
    source.path = file.c_str();
    FontTables tables(source);
    const FaceDescent d = ReadFaceDescent(tables);
    EXPECT_EQ(d.unitsPerEm, c.expectedUnitsPerEm);
    EXPECT_EQ(d.descent, c.expectedDescent);
  }
}

}  // namespace
}  // namespace tavrfndl
