// OpenType fonts with CFF outlines go to the printer as TrueType soft fonts: the face asked for by
// name is the CFF face, and the job is one a strict printer takes.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "softfont_records.h"
#include "support/driver.h"
#include "support/strict_print.h"
#include "support/xlparse.h"
#include "xlstream_reader.h"

namespace tavrfndl::testing {
namespace {

constexpr const char* kNimbusSans = "/usr/share/fonts/opentype/urw-base35/NimbusSans-Regular.otf";

struct FreeTypeFace {
  FT_Library library = nullptr;
  FT_Face face = nullptr;
  explicit FreeTypeFace(const std::vector<uint8_t>& bytes) : data(bytes) {
    if (FT_Init_FreeType(&library) == 0 &&
        FT_New_Memory_Face(library, data.data(), FT_Long(data.size()), 0, &face) != 0) {
      face = nullptr;
    }
    if (face) FT_Set_Pixel_Sizes(face, 0, 100);
  }
  ~FreeTypeFace() {
    if (face) FT_Done_Face(face);
    if (library) FT_Done_FreeType(library);
  }
  std::vector<uint8_t> data;
};

TEST(CffFont, ByNameTheCffFaceGoesOutAndPassesTheStrictPrinter) {
  if (!std::filesystem::exists(kNimbusSans)) GTEST_SKIP() << "install fonts-urw-base35";
  const Library lib = Library::Load();
  const PrintExports exports{lib.FontDownloadW, lib.RemoveFontW, lib.GetCursor, lib.SetCursor};
  const std::u16string text = MappedText(kNimbusSans, 2000);
  const StrictPrint print =
      PrintStrictly(exports, "Nimbus Sans", FontMode::kEngine, 1, text, TempPath("cff.pxl"));
  ASSERT_TRUE(print.fontSent());
  EXPECT_TRUE(print.report.ok()) << print.report.Summary();

  FreeTypeFace original(ReadFileBytes(kNimbusSans));
  ASSERT_NE(original.face, nullptr);
  fndl::XlStreamReader reader = fndl::XlStreamReader::Fragment(print.job.data(), print.job.size());
  fndl::SoftFontCollector collector;
  fndl::XlOperator op;
  while (reader.Next(op) == fndl::XlStreamReader::Result::kOperator) collector.Feed(op);
  ASSERT_EQ(collector.history().size(), 1u);
  const fndl::SoftFont& font = *collector.history()[0];
  EXPECT_EQ(font.header.characterCount, original.face->num_glyphs) << "the CFF face itself";
  std::string error;
  EXPECT_GT(font.glyphs.size(), 500u);
}

}  // namespace
}  // namespace tavrfndl::testing
