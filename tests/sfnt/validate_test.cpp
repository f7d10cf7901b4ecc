// The validator names what a printer's rasterizer would trip over, and nothing in a sound font.
#include "sfnt/validate.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "sfnt/glyf.h"
#include "support/fontbuilder.h"

namespace tavrfndl::sfnt {
namespace {

namespace fb = tavrfndl::test;
using Bytes = std::vector<uint8_t>;

fb::FontBuilder Sound() {
  fb::GlyfBuilder glyphs(fb::LocaFormat::kShort);
  glyphs.AddEmpty();
  glyphs.AddGlyph(fb::SimpleGlyph({{{0, 0}, {100, 0}, {0, 100}}}));
  fb::CmapBuilder cmap;
  cmap.AddFormat4(3, 1,
                  {{0x41, 0x41, uint16_t(1 - 0x41), {}, std::nullopt}, fb::CmapSegment::Final()});
  return fb::BasicFont(glyphs, cmap);
}

// The first finding as a line, or "" for a sound font.
std::string FirstFinding(const Bytes& font) {
  Findings findings;
  if (ValidateFont(ByteView(font.data(), font.size()), findings)) return "";
  char line[200];
  FormatFinding(findings.kept()[0], line, sizeof line);
  return line;
}

void Put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = uint8_t(v >> 8);
  b[at + 1] = uint8_t(v);
}

TEST(ValidateFont, NamesTheFieldAndValueARasterizerWouldTripOver) {
  EXPECT_EQ(FirstFinding(Sound().Build()), "");
  const struct {
    const char* tag;
    std::function<void(Bytes&)> smash;
    std::string expected;
  } cases[] = {
      {"head", [](Bytes& t) { t[12] = 0; }, "head.magicNumber: is not 0x5F0F3CF5"},
      {"head", [](Bytes& t) { Put16(t, 18, 8); },
       "head.unitsPerEm: is outside 16..16384 (value 8)"},
      {"head", [](Bytes& t) { Put16(t, 50, 2); }, "head.indexToLocFormat: is neither 0 nor 1"},
      {"maxp", [](Bytes& t) { Put16(t, 4, 0); }, "maxp.numGlyphs: is 0"},
      {"maxp", [](Bytes& t) { t.resize(20); }, "maxp.length: is too short for the fields read"},
      {"hhea", [](Bytes& t) { Put16(t, 34, 3); }, "hhea.numberOfHMetrics: is outside 1..numGlyphs"},
      {"hmtx", [](Bytes& t) { t.resize(6); }, "hmtx.length: is too short for the fields read"},
  };
  for (const auto& c : cases) {
    fb::FontBuilder font = Sound();
    c.smash(font.Find(c.tag)->data);
    EXPECT_EQ(FirstFinding(font.Build()).rfind(c.expected, 0), 0u)
        << c.expected << " / " << FirstFinding(font.Build());
  }
  fb::FontBuilder overlapping = Sound();
  overlapping.Find("prep")->dirOffset = 4;
  EXPECT_EQ(FirstFinding(overlapping.Build()),
            "prep.offset: table overlaps the table directory (value 4)");
}

// n function definitions, numbered first, first + 1, ...: NPUSHB the numbers, then FDEF ENDF each.
Bytes Functions(uint8_t n, uint8_t first = 0) {
  Bytes code{0x40, n};
  for (uint8_t i = 0; i < n; ++i) code.push_back(uint8_t(first + n - 1 - i));
  for (uint8_t i = 0; i < n; ++i) code.insert(code.end(), {0x2C, 0x2D});
  return code;
}

// The programs against the room "maxp" gives them (the sound font allows 64 functions, whatever
// maxFunctionDefs says, no opcode definitions beyond 64 and a stack of 64 + 128).
TEST(ValidateFont, ProgramsThatPlainlyNeedMoreThanMaxpGivesAreRefused) {
  const Bytes nine = Functions(9);
  const auto pushes = [](uint8_t n) {  // NPUSHB n zeros
    Bytes code(2 + size_t{n});
    code[0] = 0x40;
    code[1] = n;
    return code;
  };
  const Bytes deep = pushes(193);
  const struct {
    Bytes fpgm, prep;
    std::function<void(Bytes&)> maxp;
    std::string expected;
  } cases[] = {
      {Functions(64), {}, {}, ""},
      {Functions(65), {}, {}, "maxp.maxFunctionDefs: is below the functions the programs define"},
      {Functions(65), {}, [](Bytes& t) { Put16(t, 20, 65); }, ""},
      {Functions(64, 1), Functions(1, 1), {}, ""},  // prep defines function 1 again
      {nine, {}, [](Bytes& t) { t[0] = 0x80; }, "maxp.version: is before 1.0"},
      {{0x40, 1, 0, 0x89, 0x2D},
       {},
       [](Bytes& t) { Put16(t, 22, 0); },
       "maxp.maxInstructionDefs: is below the opcodes"},
      {{0xB8, 0xFF, 0xFF, 0x2C, 0x2D}, {}, {}, "fpgm.instructions: define a function or opcode"},
      {nine, {0xB0, 8, 0x2B}, {}, ""},
      {nine, {0xB0, 9, 0x2B}, {}, "prep.instructions: call a function the font does not define"},
      {{0xB0, 9, 0x20, 0x2C, 0x2D}, {0xB0, 8, 0x2B}, {}, ""},  // DUP: function 9 not known
      {{0x2C, 0x2D}, {0xB0, 0, 0x2B}, {}, ""},  // an FDEF on an empty stack defines function 0
      {{0x2C, 0x2D}, {0xB0, 1, 0x2B}, {}, "prep.instructions: call a function"},
      {{}, pushes(192), {}, ""},
      {{}, deep, {}, "maxp.maxStackElements: is below the stack the programs use (value 64)"},
      {{}, deep, [](Bytes& t) { Put16(t, 24, 65); }, ""},
  };
  for (const auto& c : cases) {
    fb::FontBuilder font = Sound();
    font.Find("fpgm")->data = c.fpgm;
    font.Find("prep")->data = c.prep;
    if (c.maxp) c.maxp(font.Find("maxp")->data);
    const std::string found = FirstFinding(font.Build());
    EXPECT_EQ(found.substr(0, c.expected.size()), c.expected) << c.expected << " / " << found;
    EXPECT_EQ(found.empty(), c.expected.empty()) << found;
  }
}

std::string GlyphFinding(const Bytes& glyph, uint32_t numGlyphs = 10) {
  Findings findings;
  if (ValidateGlyph(ByteView(glyph.data(), glyph.size()), 7, numGlyphs, findings)) return "";
  char line[200];
  FormatFinding(findings.kept()[0], line, sizeof line);
  return line;
}

TEST(ValidateGlyph, EveryByteARasterizerReadsLiesInsideTheGlyph) {
  const Bytes triangle = fb::SimpleGlyph({{{0, 0}, {100, 0}, {0, 100}}});
  EXPECT_EQ(GlyphFinding(triangle), "");
  EXPECT_EQ(GlyphFinding({}), "") << "an empty glyph draws nothing";

  Bytes cut = triangle;
  cut.pop_back();
  EXPECT_EQ(GlyphFinding(cut), "glyf.xCoordinates: run past the glyph (value 7)");
  Bytes twoContours = fb::SimpleGlyph({{{0, 0}, {9, 0}, {0, 9}}, {{5, 5}, {6, 5}, {5, 6}}});
  Put16(twoContours, 12, 2);  // the second contour ends where the first did
  EXPECT_EQ(GlyphFinding(twoContours).rfind("glyf.endPtsOfContours", 0), 0u);
  Bytes instructions = triangle;
  Put16(instructions, 12, 0xFFFF);
  EXPECT_EQ(GlyphFinding(instructions).rfind("glyf.instructionLength", 0), 0u);
  Bytes repeats = fb::SimpleGlyph({{{0, 0}}});
  repeats[14] |= 0x08;  // its one flag repeated past the point count
  repeats.insert(repeats.begin() + 15, 5);
  EXPECT_EQ(GlyphFinding(repeats).rfind("glyf.flags", 0), 0u);

  fb::Component part;
  part.glyphIndex = 9;
  EXPECT_EQ(GlyphFinding(fb::CompositeGlyph({part})), "");
  EXPECT_EQ(GlyphFinding(fb::CompositeGlyph({part}), 9),
            "glyf.component: names a glyph past numGlyphs (value 7)");
  Bytes hinted = fb::CompositeGlyph({part}, {1, 2, 3});
  hinted.pop_back();
  EXPECT_EQ(GlyphFinding(hinted).rfind("glyf.instructionLength", 0), 0u);
}

}  // namespace
}  // namespace tavrfndl::sfnt
