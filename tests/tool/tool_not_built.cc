// Stands in for the tool's tests when the build leaves the fndl tool out.
#include <gtest/gtest.h>

TEST(FndlTool, IsNotBuilt) {
  GTEST_SKIP() << "configure with TAVRFNDL_BUILD_TOOLS=ON to test fndl";
}
