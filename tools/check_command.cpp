// The checks are the library's own (its sfnt module, linked statically): the report cannot drift
// from what the library does with the same file in file mode.
#include "check_command.h"

#include <cstdint>
#include <vector>

#include "file_io.h"
#include "sfnt/directory.h"
#include "sfnt/glyf.h"
#include "sfnt/outline_face.h"
#include "sfnt/validate.h"

namespace fndl {
namespace {

using tavrfndl::ByteView;
namespace sfnt = tavrfndl::sfnt;

// A character record's 16-bit size leaves room for this much glyph data.
constexpr uint32_t kMaxGlyphData = 65529;

void PrintFindings(const sfnt::Findings& findings, const char* prefix, std::FILE* out) {
  for (const sfnt::Finding& f : findings.kept()) {
    char line[256];
    sfnt::FormatFinding(f, line, sizeof line);
    std::fprintf(out, "  %s%s\n", prefix, line);
  }
  if (findings.count() > findings.kept().size()) {
    std::fprintf(out, "  ... and %zu more\n", findings.count() - findings.kept().size());
  }
}

// What the library sends of each glyph, counted.
struct GlyphCounts {
  size_t unreadable = 0;  // not located through "loca"
  size_t outlines = 0;
  size_t blanks = 0;
  size_t refused = 0;
  size_t withEmptyComponent = 0;  // composites sent with the empty record of a component
  sfnt::Findings findings;        // why each refused glyph is refused
};

bool HasEmptyComponent(const sfnt::GlyphTable& table, ByteView glyph, uint16_t index) {
  bool empty = false;
  auto look = [&](uint16_t, ByteView bytes) {
    empty = empty || bytes.empty();
    return true;
  };
  sfnt::WalkComponents(table, glyph, index, look);
  return empty;
}

// Every glyph judged by the library's own rules, as it judges one before sending its record.
void CheckGlyphs(ByteView font, const sfnt::FontFacts& facts, GlyphCounts& counts) {
  sfnt::Directory directory;
  directory.ReadAt(font);
  const auto glyf = directory.Find("glyf");
  const auto loca = directory.Find("loca");
  if (!glyf || !loca) return;
  const sfnt::GlyphTable table{*glyf, *loca, facts.indexToLocFormat, facts.numGlyphs,
                               kMaxGlyphData};
  for (uint32_t g = 0; g < facts.numGlyphs; ++g) {
    const auto index = static_cast<uint16_t>(g);
    const auto glyph = table.Find(index);
    if (!glyph) {
      ++counts.unreadable;
      continue;
    }
    switch (sfnt::JudgeGlyph(table, *glyph, index, counts.findings)) {
      case sfnt::GlyphVerdict::kRefused:
        ++counts.refused;
        continue;
      case sfnt::GlyphVerdict::kBlank:
        ++counts.blanks;
        break;
      case sfnt::GlyphVerdict::kOutline:
        ++counts.outlines;
        break;
    }
    if (sfnt::IsCompositeGlyph(*glyph) && HasEmptyComponent(table, *glyph, index)) {
      ++counts.withEmptyComponent;
    }
  }
}

void PrintGlyphCounts(const GlyphCounts& counts, std::FILE* out) {
  std::fprintf(out, "  %zu glyphs are sent with their outline\n", counts.outlines);
  std::fprintf(out,
               "  %zu glyphs are blanks: sent as records without outline, their characters print "
               "as spaces\n",
               counts.blanks);
  if (counts.withEmptyComponent > 0) {
    std::fprintf(out, "  %zu composites are sent with the empty record of a component\n",
                 counts.withEmptyComponent);
  }
  if (counts.unreadable > 0) {
    std::fprintf(out,
                 "  %zu glyphs cannot be located through \"loca\"; their characters print as "
                 "missing\n",
                 counts.unreadable);
  }
  if (counts.refused > 0) {
    std::fprintf(out, "  %zu glyphs are not valid; their characters print as missing:\n",
                 counts.refused);
    PrintFindings(counts.findings, "", out);
  }
}

// A CFF face is sent as a TrueType font made of its metrics; its glyphs are converted by the
// font engine as they are sent, so only the made font is checked here.
int CheckOutlineFace(const std::string& path, ByteView font, std::FILE* out) {
  sfnt::StandaloneFont made;
  sfnt::Findings findings;
  sfnt::FontFacts facts;
  if (!sfnt::BuildOutlineFaceFont(font, made) ||
      !sfnt::ValidateFont(made.view(), findings, &facts, sfnt::GlyphSource::kEngineOutlines)) {
    std::fprintf(out, "%s: refused: the library sends nothing of this font\n", path.c_str());
    PrintFindings(findings, "", out);
    return 1;
  }
  std::fprintf(out,
               "%s: accepted: %u glyphs, %u units per em, CFF outlines converted as sent (a glyph "
               "without outline as a blank)\n",
               path.c_str(), unsigned{facts.numGlyphs}, unsigned{facts.unitsPerEm});
  return 0;
}

}  // namespace

int RunCheck(const std::string& path, std::FILE* out) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadWholeFile(path, bytes, error)) {
    std::fprintf(stderr, "fndl check: %s\n", error.c_str());
    return 1;
  }
  const ByteView font(bytes.data(), bytes.size());
  sfnt::Findings findings;
  sfnt::FontFacts facts;
  if (sfnt::IsOutlineFace(font)) return CheckOutlineFace(path, font, out);
  if (!sfnt::ValidateFont(font, findings, &facts)) {
    std::fprintf(out, "%s: refused: the library sends nothing of this font\n", path.c_str());
    PrintFindings(findings, "", out);
    return 1;
  }
  GlyphCounts counts;
  CheckGlyphs(font, facts, counts);
  std::fprintf(out, "%s: accepted: %u glyphs, %u units per em\n", path.c_str(),
               unsigned{facts.numGlyphs}, unsigned{facts.unitsPerEm});
  PrintGlyphCounts(counts, out);
  return 0;
}

}  // namespace fndl
