// Writes the seed corpora of the fuzz targets and the hostile font set, from the test font
// builder and a cut-down DejaVu Sans:
//
//   tests/fonts/good/*.ttf      fonts the library takes whole (also fonts the records target uses)
//   tests/fonts/bad/*.ttf       the hostile fonts of tests/hostile/hostile_fonts.cpp, README.md
//   fuzz/corpus/font/seed-*     font bytes + text, the font target's input format
//   fuzz/corpus/records/seed-*  call scripts, the records target's input format
//   fuzz/corpus/stream/seed-*   jobs written with the library (with the fndl tool's framing)
//
// Usage: fuzz_seedgen [SOURCE_DIR]. Files it does not write (inputs the fuzzers found) are left
// alone; its own are rewritten, byte for byte the same for the same builder and DejaVu Sans.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "hostile/hostile_fonts.h"
#include "sfnt/bytes.h"
#include "support/fontbuilder.h"
#include "support/fontfile.h"
#include "tavrfndl.h"
#ifdef TAVRFNDL_SEEDGEN_JOBS
#include "job_framing.h"
#endif

namespace fs = std::filesystem;
using namespace tavrfndl::test;

namespace {

constexpr const char* kDejaVuSans = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

void Write(const fs::path& path, const std::vector<uint8_t>& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
  std::printf("%8zu  %s\n", bytes.size(), path.c_str());
}

uint32_t Be16(const std::vector<uint8_t>& b, size_t at) {
  uint16_t v = 0;
  tavrfndl::ByteView(b.data(), b.size()).ReadU16(at, v);
  return v;
}

void PutBe16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b.at(at) = static_cast<uint8_t>(v >> 8);
  b.at(at + 1) = static_cast<uint8_t>(v);
}

// ----- Fonts -----

// The component records of a composite glyph: where each one's glyph index is.
std::vector<size_t> ComponentIndexPositions(const std::vector<uint8_t>& glyph) {
  std::vector<size_t> positions;
  if (glyph.size() < 10 || (Be16(glyph, 0) & 0x8000) == 0) return positions;
  for (size_t pos = 10; pos + 4 <= glyph.size();) {
    const uint32_t flags = Be16(glyph, pos);
    positions.push_back(pos + 2);
    pos += 4 + ((flags & kArg1And2AreWords) ? 4 : 2) +
           ((flags & kWeHaveAScale)         ? 2
            : (flags & kWeHaveAnXAndYScale) ? 4
            : (flags & kWeHaveATwoByTwo)    ? 8
                                            : 0);
    if ((flags & kMoreComponents) == 0) break;
  }
  return positions;
}

// DejaVu Sans cut down to the glyphs of a few characters and their components, renumbered in
// their original order (composite glyphs patched to the new numbers). The hinting tables come
// along whole.
std::vector<uint8_t> DejaVuSubset(const std::u16string& chars) {
  tavrfndl::testing::FontFile font(kDejaVuSans);
  if (!font.ok()) return {};
  std::set<uint32_t> needed{0};
  std::vector<uint32_t> pending;
  std::vector<std::pair<uint16_t, uint32_t>> mapping;
  for (char16_t c : chars) {
    const uint32_t g = font.GlyphIndex(c);
    if (g == 0) continue;
    mapping.push_back({static_cast<uint16_t>(c), g});
    pending.push_back(g);
  }
  while (!pending.empty()) {
    const uint32_t g = pending.back();
    pending.pop_back();
    if (!needed.insert(g).second) continue;
    const std::vector<uint8_t> bytes = font.GlyphBytes(g);
    for (size_t at : ComponentIndexPositions(bytes)) pending.push_back(Be16(bytes, at));
  }
  std::map<uint32_t, uint16_t> renumbered;
  for (uint32_t g : needed) renumbered[g] = static_cast<uint16_t>(renumbered.size());
  const uint32_t count = static_cast<uint32_t>(needed.size());

  GlyfBuilder glyf(LocaFormat::kLong);
  std::vector<HMetric> metrics;
  const std::vector<uint8_t> hmtx = font.Table("hmtx");
  const uint32_t longMetrics = Be16(font.Table("hhea"), 34);
  for (uint32_t g : needed) {
    std::vector<uint8_t> bytes = font.GlyphBytes(g);
    for (size_t at : ComponentIndexPositions(bytes)) {
      PutBe16(bytes, at, renumbered.at(Be16(bytes, at)));
    }
    glyf.AddGlyph(bytes);
    const size_t lsbAt = g < longMetrics ? 4 * g + 2 : 4 * longMetrics + 2 * (g - longMetrics);
    metrics.push_back(
        {static_cast<uint16_t>(font.Advance(g)), static_cast<int16_t>(Be16(hmtx, lsbAt))});
  }
  std::sort(mapping.begin(), mapping.end());
  mapping.erase(std::unique(mapping.begin(), mapping.end()), mapping.end());
  std::vector<CmapSegment> segments;
  for (const auto& [code, glyph] : mapping) {
    const uint16_t g = renumbered.at(glyph);
    segments.push_back({code, code, static_cast<uint16_t>(g - code), {}, std::nullopt});
  }
  segments.push_back(CmapSegment::Final());
  CmapBuilder cmap;
  cmap.AddFormat4(3, 1, segments);

  std::vector<uint8_t> head = font.Table("head");
  PutBe16(head, 50, 1);
  std::vector<uint8_t> hhea = font.Table("hhea");
  PutBe16(hhea, 34, count);
  std::vector<uint8_t> maxp = font.Table("maxp");
  PutBe16(maxp, 4, count);

  FontBuilder out;
  out.AddTable("OS/2", font.Table("OS/2"));
  out.AddTable("cmap", cmap.Build());
  out.AddTable("cvt ", font.Table("cvt "));
  out.AddTable("fpgm", font.Table("fpgm"));
  out.AddTable("gasp", font.Table("gasp"));
  out.AddTable("glyf", glyf.Glyf());
  out.AddTable("head", head);
  out.AddTable("hhea", hhea);
  out.AddTable("hmtx", BuildHmtx(metrics));
  out.AddTable("loca", glyf.Loca());
  out.AddTable("maxp", maxp);
  out.AddTable("prep", font.Table("prep"));
  return out.Build();
}

// Long "loca", composite glyphs with every transform and word arguments, a glyph with
// instructions, and overlapping "cmap" segments (the first one wins).
std::vector<uint8_t> RichFont() {
  GlyfBuilder glyf(LocaFormat::kLong);
  glyf.AddEmpty();
  glyf.AddGlyph(SimpleGlyph({{{0, 0}, {600, 0}, {300, 800}}}, {0xB0, 0x00}));
  glyf.AddGlyph(
      SimpleGlyph({{{0, 0}, {200, 0}, {200, 200}, {0, 200}}, {{50, 50}, {150, 50}, {100, 150}}}));
  std::vector<Component> parts(4);
  parts[0].glyphIndex = 1;
  parts[1].glyphIndex = 2;
  parts[1].wordArgs = true;
  parts[1].arg1 = 700;
  parts[1].transform = Component::Transform::kScale;
  parts[2].glyphIndex = 2;
  parts[2].transform = Component::Transform::kXYScale;
  parts[2].scale[3] = 0x2000;
  parts[3].glyphIndex = 1;
  parts[3].transform = Component::Transform::kTwoByTwo;
  parts[3].scale[1] = 0x1000;
  parts[3].extraFlags = kUseMyMetrics;
  glyf.AddGlyph(CompositeGlyph(parts, {0xB0, 0x01}, 0, 0, 900, 800));
  Component nested;
  nested.glyphIndex = 3;
  glyf.AddGlyph(CompositeGlyph({nested}));
  CmapBuilder cmap;
  cmap.AddFormat4(0, 3, {{0x20, 0x7E, 0, {}, std::nullopt}, CmapSegment::Final()});
  cmap.AddFormat4(3, 1,
                  {{0x41, 0x44, static_cast<uint16_t>(1 - 0x41), {}, std::nullopt},
                   {0x43, 0x60, 0, {}, std::nullopt},
                   {0x61, 0x64, 0, {1, 2, 3, 4}, std::nullopt},
                   {0x20AC, 0x20AC, static_cast<uint16_t>(3 - 0x20AC), {}, std::nullopt},
                   CmapSegment::Final()});
  return BasicFont(glyf, cmap).Build();
}

// A symbol font: only a (3,0) subtable, its codes at U+F000.
std::vector<uint8_t> SymbolFont() {
  GlyfBuilder glyf(LocaFormat::kShort);
  glyf.AddEmpty();
  glyf.AddGlyph(SimpleGlyph({{{0, 0}, {500, 0}, {250, 700}}}));
  glyf.AddGlyph(SimpleGlyph({{{0, 0}, {500, 500}, {0, 500}}}));
  CmapBuilder cmap;
  cmap.AddFormat4(3, 0,
                  {{0xF041, 0xF042, static_cast<uint16_t>(1 - 0xF041), {}, std::nullopt},
                   {0xF061, 0xF062, 0, {1, 2}, std::nullopt},
                   CmapSegment::Final()});
  return BasicFont(glyf, cmap).Build();
}

// ----- Inputs of the targets -----

// The font target's format: font, text as UTF-16 little-endian, the unit count.
std::vector<uint8_t> FontInput(const std::vector<uint8_t>& font, const std::u16string& text) {
  std::vector<uint8_t> out = font;
  for (char16_t c : text) {
    out.push_back(static_cast<uint8_t>(c));
    out.push_back(static_cast<uint8_t>(c >> 8));
  }
  out.push_back(static_cast<uint8_t>(text.size()));
  return out;
}

// The records target's script format (see fuzz/records_fuzzer.cpp).
class Script {
 public:
  explicit Script(uint8_t codeSet) { U8(codeSet); }

  struct Download {
    bool wide = true;
    uint8_t flags = 0;
    uint8_t font = 0;  // index into the target's font files or face names
    std::u16string text = u"Hamburg";
    int32_t fontHeight = 120, bBold = 0, bItalic = 0, bUnderline = 0, nOffsetToText = 0;
    int32_t nStartX = 300;
    uint8_t fontId = 0;
    uint32_t resolution = 600, lineSpacing = 100;
    int32_t lfWeight = 400, lfCharSet = 0;
    int32_t bTTE = 1;
  };

  Script& Run(const Download& d) {
    U8(d.wide ? 0 : 2).U8(d.flags).U8(d.font).U16(static_cast<uint16_t>(d.text.size()));
    for (char16_t c : d.text) d.wide ? U16(c) : U8(static_cast<uint8_t>(c));
    I32(d.fontHeight).I32(d.bBold).I32(d.bItalic).I32(d.bUnderline).I32(0).I32(d.nOffsetToText);
    I32(d.nStartX).I32(0);
    U8(d.fontId).I32(0).I32(0).I32(static_cast<int32_t>(d.resolution));
    I32(static_cast<int32_t>(d.lineSpacing));
    const int32_t lf[13] = {0, 0, 0, 0, d.lfWeight, 0, 0, 0, d.lfCharSet, 0, 0, 0, 0};
    for (int32_t v : lf) I32(v);
    return I32(d.bTTE).I32(0);
  }
  Script& Cursor(int32_t x, int32_t y) { return U8(3).I32(x).I32(y); }
  Script& Remove(uint8_t id, bool wide = true) { return U8(wide ? 5 : 6).U8(id); }
  Script& NullRecords() { return U8(7); }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  Script& U8(uint8_t v) {
    bytes_.push_back(v);
    return *this;
  }
  Script& U16(uint16_t v) { return U8(static_cast<uint8_t>(v)).U8(static_cast<uint8_t>(v >> 8)); }
  Script& I32(int32_t v) {
    const auto u = static_cast<uint32_t>(v);
    return U16(static_cast<uint16_t>(u)).U16(static_cast<uint16_t>(u >> 16));
  }
  std::vector<uint8_t> bytes_;
};

std::vector<std::pair<std::string, std::vector<uint8_t>>> RecordScripts() {
  using D = Script::Download;
  std::vector<std::pair<std::string, std::vector<uint8_t>>> out;
  auto add = [&](const Script& script) {
    out.push_back({"seed-" + std::to_string(out.size() + 1), script.bytes()});
  };
  {
    // A short job in file mode: two runs, a second font, removals.
    D a;
    D b;
    b.text = u"ABCD abcd \u20AC";
    b.font = 1;
    b.fontId = 1;
    b.bUnderline = 1;
    b.bItalic = 1;
    add(Script(0).Cursor(300, 400).Run(a).Run(b).Run(a).Remove(1).Remove(0));
  }
  {
    // Engine mode by face name, bold and italic, an A call in the Western code page.
    D a;
    a.bTTE = 0;
    a.font = 0;
    a.bBold = 1;
    a.text = u"Gr\u00FC\u00DFe";
    D b = a;
    b.wide = false;
    b.text = u"Stra\u00DFe";
    b.fontId = 2;
    add(Script(1).Cursor(300, 400).Run(a).Run(b).Remove(0).Remove(2, false));
  }
  {
    // Lines that break and a page that fills: a long text at a large size near the bottom.
    D a;
    a.fontHeight = 480;
    a.text = std::u16string(300, u'W');
    for (size_t i = 7; i < a.text.size(); i += 8) a.text[i] = u' ';
    add(Script(0).Cursor(300, 6500).Run(a).Cursor(300, 400).Run(a));
  }
  {
    // A character without a glyph, the call behind it, and an offset into the text.
    D a;
    a.text = u"AB\u4E2DCD";
    D b = a;
    b.nOffsetToText = 3;
    add(Script(0).Run(a).Run(b).Remove(0));
  }
  {
    // Broken records: a text without its terminator, an unopenable job file, null records.
    D a;
    a.flags = 0x01;
    D b;
    b.flags = 0x08;
    D c;
    c.nOffsetToText = 40;
    add(Script(2).Run(a).Run(b).Run(c).NullRecords());
  }
  {
    // A character wider than any line with the cursor at the top of the 32-bit range and a
    // spacing of 1: 2^31 empty lines to the bottom of the page, which the run used to write.
    D a;
    a.fontHeight = 100000;
    a.lineSpacing = 1;
    a.text = u"AB";
    out.push_back(
        {"regress-empty-lines-far-above-page", Script(0).Cursor(300, INT32_MIN).Run(a).bytes()});
  }
  return out;
}

// ----- Jobs -----

// What the library appends for a few runs, written with its own entry points.
std::vector<uint8_t> LibraryOutput(const fs::path& scratch,
                                   const std::vector<std::pair<fs::path, std::u16string>>& runs) {
  const fs::path job = scratch / "job.pxl";
  fs::remove(job);
  int32_t x = 300;
  int32_t y = 400;
  FNDLSetCursor(&x, &y);
  uint32_t id = 0;
  for (const auto& [fontPath, text] : runs) {
    TEXTINFOW t{};
    for (size_t i = 0; i < text.size() && i < 515; ++i) t.chText[i] = text[i];
    t.FontHeight = 120;
    t.bUnderline = id % 2;
    PAGEINFOW p{};
    const std::string font = fontPath.string();
    const std::string out = job.string();
    for (size_t i = 0; i < font.size() && i < 255; ++i) p.chFont[i] = static_cast<uint8_t>(font[i]);
    for (size_t i = 0; i < out.size() && i < 255; ++i)
      p.chOutFile[i] = static_cast<uint8_t>(out[i]);
    p.nFontId = ++id;
    p.nResolution = 600;
    p.nLineSpacing = 100;
    p.bTTE = 1;
    FNDLFontDownloadW(&t, &p);
  }
  for (uint32_t i = 1; i <= id; ++i) FNDLRemoveFontW(&i);
  std::ifstream in(job, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path root = argc > 1 ? fs::path(argv[1]) : fs::path(TAVRFNDL_SOURCE_DIR);
  const fs::path good = root / "tests" / "fonts" / "good";
  const fs::path bad = root / "tests" / "fonts" / "bad";
  const fs::path corpus = root / "fuzz" / "corpus";

  const std::vector<uint8_t> dejavu =
      DejaVuSubset(u"Hamburg Z\u00FCrich \u00C4\u00D6\u00DC\u00DF\u00E9\u00E8fi");
  if (dejavu.empty()) {
    std::fprintf(stderr, "cannot read %s\n", kDejaVuSans);
    return 1;
  }
  Write(good / "intact.ttf", IntactFont());
  Write(good / "rich.ttf", RichFont());
  Write(good / "symbol.ttf", SymbolFont());
  Write(good / "dejavu-subset.ttf", dejavu);

  std::string readme =
      "# Hostile fonts\n\n"
      "Written by `fuzz_seedgen` from `tests/hostile/hostile_fonts.cpp`; each is the intact font\n"
      "(`../good/intact.ttf`) with one thing broken. `test_hostile` runs every one through the C\n"
      "interface with the text \"ABC\". Expected: the result in file mode, and where a run stops\n"
      "on result 1 (nOffsetToText).\n\n"
      "| file | what is broken | result |\n|---|---|---|\n";
  for (const HostileFont& font : HostileFonts()) {
    Write(bad / font.name, font.bytes);
    readme += "| " + font.name + " | " + font.what + " | " + std::to_string(font.result) +
              (font.result == 1 ? " at " + std::to_string(font.stopOffset) : std::string()) +
              " |\n";
    // The fuzzers mutate small inputs best; the two of 64 KiB stay in the hostile set only.
    if (font.bytes.size() <= 8192) {
      Write(corpus / "font" / ("seed-bad-" + fs::path(font.name).stem().string()),
            FontInput(font.bytes, kHostileText));
    }
  }
  {
    std::ofstream out(bad / "README.md", std::ios::trunc);
    out << readme;
  }

  Write(corpus / "font" / "seed-intact", FontInput(IntactFont(), u"ABCD abcd"));
  Write(corpus / "font" / "seed-rich", FontInput(RichFont(), u"ABCDE abcd \u20AC"));
  Write(corpus / "font" / "seed-symbol", FontInput(SymbolFont(), u"AB ab \uF041"));
  Write(corpus / "font" / "seed-dejavu-subset",
        FontInput(dejavu, u"Hamburg Z\u00FCrich \u00C4\u00D6\u00DC fi"));

  for (const auto& [name, script] : RecordScripts()) Write(corpus / "records" / name, script);

  const fs::path scratch = fs::temp_directory_path() / "tavrfndl-seedgen";
  fs::create_directories(scratch);
  Write(scratch / "intact.ttf", IntactFont());
  Write(scratch / "rich.ttf", RichFont());
  Write(scratch / "dejavu.ttf", dejavu);
  Write(scratch / "composite-runs-off.ttf", FindHostileFont("composite-runs-off.ttf").bytes);
  const std::vector<uint8_t> fragment =
      LibraryOutput(scratch, {{scratch / "dejavu.ttf", u"Hamburg Z\u00FCrich"},
                              {scratch / "rich.ttf", u"ABCD abcd \u20AC"},
                              {scratch / "composite-runs-off.ttf", u"ABC"},
                              {scratch / "intact.ttf", std::u16string(120, u'A')}});
  Write(corpus / "stream" / "seed-fragment", fragment);
#ifdef TAVRFNDL_SEEDGEN_JOBS
  std::vector<uint8_t> job = fndl::JobOpening(600, "fuzz seed");
  for (fndl::MediaSize paper : {fndl::MediaSize::eA4Paper, fndl::MediaSize::eLetterPaper}) {
    const std::vector<uint8_t> opening = fndl::PageOpening(paper);
    const std::vector<uint8_t> closing = fndl::PageClosing();
    job.insert(job.end(), opening.begin(), opening.end());
    job.insert(job.end(), fragment.begin(), fragment.end());
    job.insert(job.end(), closing.begin(), closing.end());
  }
  const std::vector<uint8_t> end = fndl::JobClosing();
  job.insert(job.end(), end.begin(), end.end());
  Write(corpus / "stream" / "seed-job", job);
#endif
  fs::remove_all(scratch);
  return 0;
}
