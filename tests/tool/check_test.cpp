// `fndl check` reports what the library would do with a font file, and why.
#include <gtest/gtest.h>

#include <string>

#include "tool_harness.h"

namespace fndl::test {
namespace {

const std::string kFonts = std::string(TAVRFNDL_SOURCE_DIR) + "/tests/fonts/";

TEST(FndlCheck, SaysWhatTheLibraryDoesWithTheFontAndEachGlyph) {
  struct Case {
    const char* file;
    int status;
    const char* said;
  };
  const Case cases[] = {
      {"good/rich.ttf", 0, "accepted: 5 glyphs"},
      {"bad/head-short.ttf", 1, "refused: the library sends nothing"},
      {"bad/head-short.ttf", 1, "head.length"},
      {"bad/composite-runs-off.ttf", 0, "glyf.component: record runs past the glyph (value 3)"},
      // Refused by the component walk, not by the glyph's own bytes.
      {"bad/composite-matches-missing-point.ttf", 0,
       "glyf.component: matches a point that is not there (value 3)"},
      {"good/dejavu-subset.ttf", 0, "28 glyphs are sent with their outline"},
      {"good/dejavu-subset.ttf", 0, "1 glyphs are blanks: sent as records without outline"},
  };
  for (const Case& c : cases) {
    const ToolRun run = RunFndl({"check", kFonts + c.file});
    EXPECT_EQ(run.status, c.status) << c.file << ": " << run.err;
    EXPECT_NE(run.out.find(c.said), std::string::npos) << c.file << ":\n" << run.out;
  }
  EXPECT_EQ(RunFndl({"check", kFonts + "bad/no-such-file.ttf"}).status, 1);
}

}  // namespace
}  // namespace fndl::test
