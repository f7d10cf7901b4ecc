// `fndl check` reports what the library would do with a font file, and why.
#include <gtest/gtest.h>

#include <string>

#include "tool_harness.h"

namespace fndl::test {
namespace {

const std::string kBad = std::string(TAVRFNDL_SOURCE_DIR) + "/tests/fonts/bad/";

TEST(FndlCheck, AcceptedRefusedAndGlyphsLeftOut) {
  const ToolRun good =
      RunFndl({"check", std::string(TAVRFNDL_SOURCE_DIR) + "/tests/fonts/good/rich.ttf"});
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_NE(good.out.find("accepted"), std::string::npos) << good.out;

  const ToolRun refused = RunFndl({"check", kBad + "head-short.ttf"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.out.find("refused"), std::string::npos) << refused.out;
  EXPECT_NE(refused.out.find("head.length"), std::string::npos) << refused.out;

  const ToolRun glyph = RunFndl({"check", kBad + "composite-runs-off.ttf"});
  EXPECT_EQ(glyph.status, 0);
  EXPECT_NE(glyph.out.find("glyf.component: record runs past the glyph (value 3)"),
            std::string::npos)
      << glyph.out;

  EXPECT_EQ(RunFndl({"check", kBad + "no-such-file.ttf"}).status, 1);
}

}  // namespace
}  // namespace fndl::test
