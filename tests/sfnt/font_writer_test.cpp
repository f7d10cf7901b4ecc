// The sfnt writer: the layout every made font shares, and the checksums rebuilt fonts carry.
#include "sfnt/font_writer.h"

#include <gtest/gtest.h>

#include <vector>

namespace tavrfndl::sfnt {
namespace {

uint32_t U32At(const StandaloneFont& font, size_t at) {
  uint32_t v = 0;
  EXPECT_TRUE(font.view().ReadU32(at, v));
  return v;
}

TEST(FontWriterTest, TablesFollowTheDirectoryPaddedWithTheirChecksums) {
  const uint8_t odd[] = {1, 2, 3, 4, 5};
  const uint8_t full[] = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
  const TableData tables[] = {{"cvt ", ByteView(odd, sizeof odd)},
                              {"fpgm", ByteView(full, sizeof full)}};
  StandaloneFont zero, summed;
  ASSERT_TRUE(BuildFont(0x00010000, tables, zero));
  ASSERT_TRUE(BuildFont(0x00010000, tables, summed, Checksums::kComputed));
  ASSERT_EQ(summed.size, 12u + 2 * 16 + 8 + 8);
  EXPECT_EQ(U32At(summed, 4), 0x00020020u);  // numTables 2, searchRange 32
  EXPECT_EQ(U32At(summed, 8), 0x00010000u);  // entrySelector 1, rangeShift 0
  // The last word of "cvt " is zero padded; the sum of "fpgm" wraps.
  const uint32_t records[2][4] = {{Tag("cvt ").value, 0x06020304, 44, 5},
                                  {Tag("fpgm").value, 0xFFFFFFFE, 52, 8}};
  for (size_t i = 0; i < 2; ++i) {
    for (size_t field = 0; field < 4; ++field) {
      EXPECT_EQ(U32At(summed, 12 + 16 * i + 4 * field), records[i][field]) << i << " " << field;
    }
    EXPECT_EQ(U32At(zero, 12 + 16 * i + 4), 0u);
  }
  EXPECT_EQ(U32At(summed, 48), 0x05000000u) << "padding is zero";
}

TEST(FontWriterTest, RefusesTablesBeyondTheRoomMade) {
  FontWriter writer;
  ASSERT_TRUE(writer.Begin(0x00010000, 1, 4));
  TableRecord record;
  record.length = 5;
  EXPECT_EQ(writer.Add(record), nullptr);
  StandaloneFont out;
  EXPECT_FALSE(writer.Finish(out)) << "a table is missing";
  record.length = 4;
  EXPECT_NE(writer.Add(record), nullptr);
  EXPECT_EQ(writer.Add(record), nullptr);
  EXPECT_TRUE(writer.Finish(out));
  EXPECT_EQ(out.size, 12u + 16 + 4);
}

}  // namespace
}  // namespace tavrfndl::sfnt
