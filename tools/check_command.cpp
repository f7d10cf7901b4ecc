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

// Every glyph as the library would send it: located through "loca", then validated.
void CheckGlyphs(ByteView font, const sfnt::FontFacts& facts, sfnt::Findings& findings,
                 size_t& unreadable) {
  sfnt::Directory directory;
  directory.ReadAt(font);
  const auto glyf = directory.Find("glyf");
  const auto loca = directory.Find("loca");
  for (uint32_t g = 0; glyf && loca && g < facts.numGlyphs; ++g) {
    const auto glyph = sfnt::LocateGlyph(*glyf, *loca, facts.indexToLocFormat,
                                         static_cast<uint16_t>(g), kMaxGlyphData);
    if (!glyph) {
      ++unreadable;
      continue;
    }
    sfnt::ValidateGlyph(*glyph, static_cast<uint16_t>(g), facts.numGlyphs, findings);
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
  std::fprintf(out, "%s: accepted: %u glyphs, %u units per em, CFF outlines converted as sent\n",
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
  sfnt::Findings glyphs;
  size_t unreadable = 0;
  CheckGlyphs(font, facts, glyphs, unreadable);
  std::fprintf(out, "%s: accepted: %u glyphs, %u units per em\n", path.c_str(),
               unsigned{facts.numGlyphs}, unsigned{facts.unitsPerEm});
  if (unreadable > 0)
    std::fprintf(out, "  %zu glyphs cannot be located through \"loca\"\n", unreadable);
  if (!glyphs.ok()) {
    std::fprintf(out, "  %zu glyphs are not valid; their characters print as missing:\n",
                 glyphs.count());
    PrintFindings(glyphs, "", out);
  }
  return 0;
}

}  // namespace fndl
