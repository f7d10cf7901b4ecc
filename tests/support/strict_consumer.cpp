#include "support/strict_consumer.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <cstring>
#include <memory>

#include "font_rebuild.h"
#include "pclxl/xlstream_reader.h"
#include "sfnt/bytes.h"
#include "softfont_records.h"
#include "support/fontfile.h"

namespace tavrfndl::testing {
namespace {

using fndl::SoftFont;

constexpr unsigned kPixelSizes[] = {12, 50, 100};
// One broken font can have thousands of broken glyphs; the first few say enough.
constexpr size_t kMaxGlyphFindings = 8;

struct FreeTypeLibrary {
  FT_Library lib = nullptr;
  FreeTypeLibrary() { FT_Init_FreeType(&lib); }
  ~FreeTypeLibrary() { FT_Done_FreeType(lib); }
  FreeTypeLibrary(const FreeTypeLibrary&) = delete;
  FreeTypeLibrary& operator=(const FreeTypeLibrary&) = delete;
};

struct FaceCloser {
  void operator()(FT_FaceRec_* face) const { FT_Done_Face(face); }
};
using FacePtr = std::unique_ptr<FT_FaceRec_, FaceCloser>;

// FreeType's own error texts (fterrors.h builds the switch when included this way).
const char* FreeTypeErrorText(FT_Error error) {
#undef FTERRORS_H_
#define FT_ERROR_START_LIST switch (error) {
#define FT_ERRORDEF(e, v, s) \
  case v:                    \
    return s;
#define FT_ERROR_END_LIST }
#include FT_ERRORS_H
  return "unknown error";
}

std::string FreeTypeError(FT_Error error) {
  char text[24];
  std::snprintf(text, sizeof text, "FreeType error 0x%02X", static_cast<unsigned>(error));
  return std::string(text) + " (" + FreeTypeErrorText(error) + ")";
}

// A GT table's bytes as sent, cut to the segment (a table outside it is reported on its own).
std::vector<uint8_t> GtTable(const SoftFont& font, const char* tag) {
  const fndl::FontHeaderInfo& h = font.header;
  for (const fndl::SfntTableRecord& t : h.tables) {
    if (std::memcmp(t.tag, tag, 4) != 0 || t.offset > h.gtSize) continue;
    const uint32_t length = std::min(t.length, h.gtSize - t.offset);
    const uint8_t* at = font.headerBytes.data() + h.gtOffset + t.offset;
    return std::vector<uint8_t>(at, at + length);
  }
  return {};
}

void CheckDirectory(const SoftFont& font, std::vector<std::string>& out) {
  for (const fndl::SfntTableRecord& t : font.header.tables) {
    if (t.inside) continue;
    out.push_back("GT table \"" + fndl::PrintableTag(t.tag) + "\" (offset " +
                  std::to_string(t.offset) + ", length " + std::to_string(t.length) +
                  ") lies outside the GT segment of " + std::to_string(font.header.gtSize) +
                  " bytes");
  }
}

// Fields FreeType forgives but a printer's rasterizer sizes its tables and loops by.
void CheckHeaderFields(const SoftFont& font, std::vector<std::string>& out) {
  const std::vector<uint8_t> head = GtTable(font, "head");
  const std::vector<uint8_t> hhea = GtTable(font, "hhea");
  const std::vector<uint8_t> maxp = GtTable(font, "maxp");
  const std::vector<uint8_t> hmtx = GtTable(font, "hmtx");
  if (head.size() < 54 || hhea.size() < 36 || maxp.size() < 6) {
    out.push_back("\"head\", \"hhea\" or \"maxp\" is missing or short in the GT segment");
    return;
  }
  const uint32_t magic = BeU32(head, 12), unitsPerEm = BeU16(head, 18);
  const uint32_t numGlyphs = BeU16(maxp, 4), hMetrics = BeU16(hhea, 34);
  if (magic != 0x5F0F3CF5) out.push_back("\"head\" magicNumber is " + std::to_string(magic));
  if (unitsPerEm < 16 || unitsPerEm > 16384) {
    out.push_back("\"head\" unitsPerEm is " + std::to_string(unitsPerEm));
  }
  if (numGlyphs == 0) out.push_back("\"maxp\" numGlyphs is 0");
  if (hMetrics == 0 || hMetrics > numGlyphs) {
    out.push_back("\"hhea\" numberOfHMetrics is " + std::to_string(hMetrics) + " for " +
                  std::to_string(numGlyphs) + " glyphs");
  } else if (hmtx.size() < 4 * size_t{hMetrics} + 2 * size_t{numGlyphs - hMetrics}) {
    out.push_back("\"hmtx\" has " + std::to_string(hmtx.size()) + " bytes, too few for " +
                  std::to_string(hMetrics) + " metrics of " + std::to_string(numGlyphs) +
                  " glyphs");
  }
}

// Rebuilding repairs what it can and says so: any repair but skipping a repeated table is a
// fault the printer would meet unrepaired.
bool Rebuild(const SoftFont& font, fndl::RebuiltFont& rebuilt, std::vector<std::string>& out) {
  std::string error;
  if (!fndl::RebuildTrueType(font, rebuilt, error)) {
    out.push_back("cannot be rebuilt: " + error);
    return false;
  }
  for (const std::string& note : rebuilt.notes) {
    if (note.rfind("a second table", 0) != 0) out.push_back("rebuilt with a repair: " + note);
  }
  return true;
}

// How a glyph fails to load at one of the sizes, or an empty string.
std::string LoadFailure(FT_Face face, uint16_t glyph, bool hinted) {
  for (unsigned ppem : kPixelSizes) {
    if (FT_Error e = FT_Set_Pixel_Sizes(face, 0, ppem)) {
      return "cannot be set to " + std::to_string(ppem) + " ppem: " + FreeTypeError(e);
    }
    if (FT_Error e = FT_Load_Glyph(face, glyph, hinted ? FT_LOAD_DEFAULT : FT_LOAD_NO_HINTING)) {
      return std::string(hinted ? "hinted" : "unhinted") + " at " + std::to_string(ppem) +
             " ppem: " + FreeTypeError(e);
    }
  }
  return {};
}

// Hinting runs the font's own programs ("fpgm", "prep") before any glyph; when they fail, every
// hinted load fails. A glyph the job did not send is empty in the rebuilt font, so loading it
// hinted runs the programs alone: their failure is told once, not as every glyph's.
bool ProgramsRun(FT_Face face, const SoftFont& font, uint16_t numGlyphs,
                 std::vector<std::string>& out) {
  uint16_t empty = 0;
  while (empty < numGlyphs && font.glyphs.count(empty)) ++empty;
  if (empty == numGlyphs) return true;
  const std::string failure = LoadFailure(face, empty, true);
  if (!failure.empty())
    out.push_back("the font's programs fail: an empty glyph does not load " + failure);
  return failure.empty();
}

void CheckGlyphs(const SoftFont& font, const fndl::RebuiltFont& rebuilt,
                 std::vector<std::string>& out) {
  FreeTypeLibrary ft;
  FT_Face raw = nullptr;
  if (FT_Error e = FT_New_Memory_Face(ft.lib, rebuilt.file.data(),
                                      static_cast<FT_Long>(rebuilt.file.size()), 0, &raw)) {
    out.push_back("FreeType does not load the rebuilt font: " + FreeTypeError(e));
    return;
  }
  FacePtr face(raw);
  const bool hinting = ProgramsRun(face.get(), font, rebuilt.numGlyphs, out);
  size_t failed = 0;
  for (const auto& [glyph, bytes] : font.glyphs) {
    std::string failure = LoadFailure(face.get(), glyph, false);
    if (failure.empty() && hinting) failure = LoadFailure(face.get(), glyph, true);
    if (failure.empty() || ++failed > kMaxGlyphFindings) continue;
    out.push_back("glyph " + std::to_string(glyph) + " (" + std::to_string(bytes.size()) +
                  " bytes) does not load " + failure);
  }
  if (failed > kMaxGlyphFindings) {
    out.push_back(std::to_string(failed) + " glyphs in all do not load");
  }
}

std::vector<std::string> FontFindings(const SoftFont& font) {
  std::vector<std::string> out;
  CheckDirectory(font, out);
  CheckHeaderFields(font, out);
  fndl::RebuiltFont rebuilt;
  if (Rebuild(font, rebuilt, out)) CheckGlyphs(font, rebuilt, out);
  return out;
}

pclxl::XlStreamReader ReaderFor(const std::vector<uint8_t>& job) {
  static constexpr char kStreamHeader[] = ") HP-PCL XL";
  const auto starts = [&](const char* text, size_t n) {
    return job.size() >= n && std::memcmp(job.data(), text, n) == 0;
  };
  if (starts(pclxl::kUniversalExit, pclxl::kUniversalExitLength) ||
      starts(kStreamHeader, sizeof kStreamHeader - 1)) {
    return pclxl::XlStreamReader(job.data(), job.size());
  }
  return pclxl::XlStreamReader::Fragment(job.data(), job.size());
}

}  // namespace

std::string StrictConsumerReport::Summary(size_t max) const {
  std::string text;
  for (size_t i = 0; i < findings.size() && i < max; ++i) text += findings[i] + "\n";
  if (findings.size() > max) {
    text += "... " + std::to_string(findings.size() - max) + " more\n";
  }
  return text;
}

StrictConsumerReport ReadAsStrictPrinter(const std::vector<uint8_t>& job) {
  StrictConsumerReport report;
  pclxl::XlStreamReader reader = ReaderFor(job);
  fndl::SoftFontCollector fonts;
  pclxl::XlOperator op;
  pclxl::XlStreamReader::Result result;
  while ((result = reader.Next(op)) == pclxl::XlStreamReader::Result::kOperator) {
    report.fontsDefined += op.tag == pclxl::Operator::BeginFontHeader;
    report.glyphRecords += op.tag == pclxl::Operator::ReadChar;
    const fndl::FontEvent event = fonts.Feed(op);
    if (event.kind == fndl::FontEvent::Kind::kProblem) {
      report.findings.push_back("stream " + pclxl::FormatOffset(op.offset) + ": " + event.message);
    }
  }
  if (result == pclxl::XlStreamReader::Result::kError) {
    report.findings.push_back("stream " + pclxl::FormatOffset(reader.errorOffset()) + ": " +
                              reader.error());
  }
  if (fonts.history().size() != report.fontsDefined) {
    report.findings.push_back(std::to_string(report.fontsDefined) + " font headers begun, " +
                              std::to_string(fonts.history().size()) + " complete");
  }
  for (const auto& font : fonts.history()) {
    for (const std::string& finding : FontFindings(*font)) {
      report.findings.push_back("font \"" + font->name + "\": " + finding);
    }
  }
  return report;
}

}  // namespace tavrfndl::testing
