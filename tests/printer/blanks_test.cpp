// Blanks (no-break space, en space, thin space, ideographic space: glyphs without outline, or
// composites of them) print through the C interface as the spaces they are, in both font
// sources: the run goes on over them, each advances by its width, each is sent once, and the
// strict printer takes the job.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "support/driver.h"
#include "support/fontfile.h"
#include "support/strict_print.h"
#include "support/xl_ops.h"

namespace tavrfndl::testing {
namespace {

constexpr const char* kLiberationSans =
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
constexpr const char* kNimbusSans = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";
constexpr const char* kIpaGothic = "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf";
// 12 pt at 600 dpi, as PrintStrictly prints.
constexpr double kCharacterSize = 100;

size_t ReadCharsFor(const std::vector<WireOp>& ops, char16_t code) {
  size_t n = 0;
  for (const WireOp& o : ops) {
    n += o.tag == Operator::ReadChar && o.Number(Attribute::CharCode) == code;
  }
  return n;
}

// Each character's advance as the Text records give it.
std::vector<std::pair<char16_t, double>> Advances(const std::vector<WireOp>& ops) {
  std::vector<std::pair<char16_t, double>> out;
  for (const WireOp& o : ops) {
    if (o.tag != Operator::Text) continue;
    const std::vector<double> codes = o.Elements(Attribute::TextData);
    const std::vector<double> widths = o.Elements(Attribute::XSpacingData);
    for (size_t i = 0; i < codes.size() && i < widths.size(); ++i) {
      out.emplace_back(static_cast<char16_t>(codes[i]), widths[i]);
    }
  }
  return out;
}

struct Face {
  const char* file;
  const char* family;
  std::u16string blanks;
};

TEST(Blanks, PrintAsSpacesOfTheirWidthSentOnceInBothModes) {
  // Liberation Sans draws U+00A0 as a composite of its empty space glyph; Nimbus Sans is a CFF
  // face and maps no thin space.
  const Face faces[] = {{kLiberationSans, "Liberation Sans", u"\u00A0\u2002\u2009"},
                        {kNimbusSans, "Nimbus Sans", u"\u00A0\u2002"}};
  const Library lib = Library::Load();
  const PrintExports exports{lib.FontDownloadW, lib.RemoveFontW, lib.GetCursor, lib.SetCursor};
  uint32_t id = 1;
  for (const Face& face : faces) {
    if (!std::filesystem::exists(face.file)) GTEST_SKIP() << face.file << " is not installed";
    const FontFile font(face.file);
    std::u16string text = u"a";
    for (char16_t blank : face.blanks) text += std::u16string(1, blank) + u"b";
    text += text;  // every blank twice
    for (FontMode mode : {FontMode::kFile, FontMode::kEngine}) {
      SCOPED_TRACE(std::string(face.family) + ", " + FontModeName(mode));
      const std::string named = mode == FontMode::kFile ? face.file : face.family;
      const StrictPrint print =
          PrintStrictly(exports, named, mode, id++, text, TempPath("blanks.pxl"));
      EXPECT_EQ(print.firstResult, FNDL_RESULT_OK);
      EXPECT_TRUE(print.report.ok()) << print.report.Summary();
      const std::vector<WireOp> ops = ReadOps(print.job);
      for (char16_t blank : face.blanks) EXPECT_EQ(ReadCharsFor(ops, blank), 1u) << int(blank);
      const auto advances = Advances(ops);
      ASSERT_EQ(advances.size(), text.size());
      for (const auto& [code, width] : advances) {
        if (face.blanks.find(code) == std::u16string::npos) continue;
        // A mapped file advances every character by the character size.
        const double expected =
            mode == FontMode::kFile
                ? kCharacterSize
                : kCharacterSize * font.Advance(font.GlyphIndex(code)) / font.UnitsPerEm();
        EXPECT_LE(std::abs(width - expected), 1.0) << int(code);
      }
    }
  }
}

TEST(Blanks, IdeographicSpaceIsSentOnceAcrossRuns) {
  if (!std::filesystem::exists(kIpaGothic)) GTEST_SKIP() << "install fonts-ipafont-gothic";
  const Library lib = Library::Load();
  for (int32_t bTTE : {1, 0}) {
    const std::string out = TempPath("ideographic.pxl");
    PAGEINFOW page = FilePage(kIpaGothic, out, 3);
    page.bTTE = bTTE;
    for (int run = 0; run < 2; ++run) {
      TEXTINFOW text = Text(u"\u65E5\u3000\u672C", 120);
      EXPECT_EQ(lib.FontDownloadW(&text, &page), FNDL_RESULT_OK) << "bTTE " << bTTE;
    }
    const std::vector<WireOp> ops = ReadOps(ReadFileBytes(out));
    EXPECT_EQ(ReadCharsFor(ops, u'\u3000'), 1u) << "bTTE " << bTTE;
    const uint32_t id = page.nFontId;
    lib.RemoveFontW(&id);
  }
}

}  // namespace
}  // namespace tavrfndl::testing
