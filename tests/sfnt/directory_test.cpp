// The table directory reader and the standalone font of a collection face, on small fonts made
// here byte by byte so that every damaged layout can be reached.
#include "sfnt/directory.h"
#include "sfnt/bytes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tavrfndl::sfnt {
namespace {

class Bytes {
 public:
  Bytes& U16(uint16_t v) {
    data_.push_back(static_cast<uint8_t>(v >> 8));
    data_.push_back(static_cast<uint8_t>(v));
    return *this;
  }
  Bytes& U32(uint32_t v) {
    return U16(static_cast<uint16_t>(v >> 16)).U16(static_cast<uint16_t>(v));
  }
  Bytes& Tag(const char* tag) {
    data_.insert(data_.end(), tag, tag + 4);
    return *this;
  }
  Bytes& Raw(const std::string& s) {
    data_.insert(data_.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& Record(const char* tag, uint32_t checkSum, uint32_t offset, uint32_t length) {
    return Tag(tag).U32(checkSum).U32(offset).U32(length);
  }
  size_t size() const { return data_.size(); }
  ByteView view() const { return ByteView(data_.data(), data_.size()); }
  std::vector<uint8_t>& data() { return data_; }

 private:
  std::vector<uint8_t> data_;
};

std::string Text(std::optional<ByteView> view) {
  if (!view) return "<none>";
  return std::string(reinterpret_cast<const char*>(view->data()), view->size());
}

uint32_t U32At(const uint8_t* p) {
  uint32_t v = 0;
  ByteView(p, 4).ReadU32(0, v);
  return v;
}
uint16_t U16At(const uint8_t* p) {
  uint16_t v = 0;
  ByteView(p, 2).ReadU16(0, v);
  return v;
}

TEST(SfntDirectoryTest, FindsTablesOfAPlainFont) {
  Bytes font;
  font.U32(0x00010000).U16(2).U16(32).U16(1).U16(0);
  font.Record("head", 7, 44, 4).Record("OS/2", 8, 48, 3);
  font.Raw("HEADos2");
  Directory dir;
  ASSERT_TRUE(dir.ReadFace(font.view(), 0));
  EXPECT_FALSE(dir.inCollection());
  EXPECT_EQ(dir.tableCount(), 2);
  EXPECT_EQ(dir.sfntVersion(), 0x00010000u);
  EXPECT_EQ(Text(dir.Find(Tag("head"))), "HEAD");
  EXPECT_EQ(Text(dir.Find(Tag("OS/2"))), "os2");
  EXPECT_EQ(Text(dir.Find(Tag("maxp"))), "<none>");
  EXPECT_EQ(Text(dir.Find(Tag("HEAD"))), "<none>") << "tags are case-sensitive";
  EXPECT_FALSE(dir.ReadFace(font.view(), 1)) << "a plain font has only face 0";
}

TEST(SfntDirectoryTest, DamagedDirectories) {
  // The count promises 40 records; two exist before the data ends.
  Bytes font;
  font.U32(0x00010000).U16(40).U16(0).U16(0).U16(0);
  font.Record("glyf", 0, 0xFFFFFFF0u, 0x20)  // starts past the end
      .Record("glyf", 0, 44, 2);             // a second record that is sound
  font.Raw("gg");
  Directory dir;
  ASSERT_TRUE(dir.ReadFace(font.view(), 0));
  EXPECT_EQ(dir.tableCount(), 2) << "records past the end of the file are not counted";
  EXPECT_EQ(Text(dir.Find(Tag("glyf"))), "gg") << "the first record inside the file";

  Bytes wraps;
  wraps.U32(0x00010000).U16(1).U16(0).U16(0).U16(0);
  wraps.Record("loca", 0, 28, 0xFFFFFFF0u);  // offset + length wraps in 32 bits
  wraps.Raw("xxxx");
  ASSERT_TRUE(dir.ReadFace(wraps.view(), 0));
  EXPECT_FALSE(dir.Find(Tag("loca")));

  Bytes tiny;
  tiny.U32(0x00010000).U16(1);
  EXPECT_FALSE(dir.ReadFace(tiny.view(), 0)) << "the offset table itself is cut short";
  EXPECT_FALSE(dir.ReadFace(ByteView(), 0));
}

// A collection of two faces that share "glyf", each with its own "head", tables unaligned.
Bytes TwoFaceCollection() {
  Bytes ttc;
  ttc.Tag("ttcf").U32(0x00010000).U32(2).U32(20).U32(20 + 12 + 32);
  // Face 0 at 20: two tables.
  ttc.U32(0x00010000).U16(2).U16(32).U16(1).U16(0);
  ttc.Record("glyf", 0x11111111, 160, 5).Record("head", 0x22222222, 165, 3);
  // Face 1 at 64: three tables, one empty, one outside the file.
  ttc.U32(0x74727565 /* true */).U16(4).U16(0).U16(0).U16(0);
  ttc.Record("glyf", 0x11111111, 160, 5)
      .Record("head", 0x33333333, 168, 7)
      .Record("name", 0x44444444, 175, 0)
      .Record("post", 0x55555555, 1000, 4);
  while (ttc.size() < 160) ttc.Raw("-");
  ttc.Raw("GLYPHh0_H1-face");
  return ttc;
}

TEST(SfntDirectoryTest, CollectionFaces) {
  Bytes ttc = TwoFaceCollection();
  Directory dir;
  ASSERT_TRUE(dir.ReadFace(ttc.view(), 1));
  EXPECT_TRUE(dir.inCollection());
  EXPECT_EQ(dir.sfntVersion(), 0x74727565u);
  EXPECT_EQ(Text(dir.Find(Tag("glyf"))), "GLYPH");
  EXPECT_EQ(Text(dir.Find(Tag("head"))), "H1-face");
  EXPECT_EQ(Text(dir.Find(Tag("name"))), "");
  EXPECT_FALSE(dir.Find(Tag("post")));
  ASSERT_TRUE(dir.ReadFace(ttc.view(), 0));
  EXPECT_EQ(Text(dir.Find(Tag("head"))), "h0_");
  EXPECT_FALSE(dir.ReadFace(ttc.view(), 2)) << "only two faces";

  // A face offset past the end of the file, and a face count larger than the offset list.
  Bytes bad;
  bad.Tag("ttcf").U32(0x00010000).U32(0xFFFFFFFFu).U32(4000);
  EXPECT_FALSE(dir.ReadFace(bad.view(), 0));
  EXPECT_FALSE(dir.ReadFace(bad.view(), 7));
}

TEST(StandaloneFontTest, CollectionFaceBecomesAPlainFont) {
  Bytes ttc = TwoFaceCollection();
  Directory dir;
  ASSERT_TRUE(dir.ReadFace(ttc.view(), 1));
  StandaloneFont standalone;
  ASSERT_TRUE(BuildStandaloneFont(dir, standalone));
  const uint32_t size = standalone.size;
  // Three tables kept ("post" lies outside the file): 12 + 3 * 16 = 60 bytes of header, then
  // glyf (5, padded to 8), name (0) and head (7, padded to 8).
  ASSERT_EQ(size, 60u + 8 + 0 + 8);
  const uint8_t* p = standalone.bytes.get();
  EXPECT_EQ(U32At(p), 0x74727565u);
  EXPECT_EQ(U16At(p + 4), 3);
  EXPECT_EQ(U16At(p + 6), 32);   // searchRange: 2 records * 16
  EXPECT_EQ(U16At(p + 8), 1);    // entrySelector: log2(2)
  EXPECT_EQ(U16At(p + 10), 16);  // rangeShift: 3 * 16 - 32
  struct Expected {
    const char* tag;
    uint32_t checkSum, offset, length;
    std::string bytes;
  };
  const Expected expected[] = {{"glyf", 0x11111111, 60, 5, "GLYPH"},
                               {"head", 0x33333333, 68, 7, "H1-face"},
                               {"name", 0x44444444, 76, 0, ""}};
  for (int i = 0; i < 3; ++i) {
    const uint8_t* rec = p + 12 + 16 * i;
    SCOPED_TRACE(expected[i].tag);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(rec), 4), expected[i].tag);
    EXPECT_EQ(U32At(rec + 4), expected[i].checkSum);
    EXPECT_EQ(U32At(rec + 8), expected[i].offset);
    EXPECT_EQ(U32At(rec + 12), expected[i].length);
    EXPECT_EQ(
        std::string(reinterpret_cast<const char*>(p + expected[i].offset), expected[i].length),
        expected[i].bytes);
  }
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(p + 65), 3), std::string(3, '\0'))
      << "padding is zero";
  EXPECT_EQ(p[75], 0);

  // And the result reads back as a plain font with the same tables.
  Directory again;
  ASSERT_TRUE(again.ReadFace(standalone.view(), 0));
  EXPECT_FALSE(again.inCollection());
  EXPECT_EQ(Text(again.Find(Tag("head"))), "H1-face");
  EXPECT_EQ(Text(again.Find(Tag("glyf"))), "GLYPH");
}

TEST(StandaloneFontTest, FaceWithoutTables) {
  Bytes font;
  font.U32(0x00010000).U16(0).U16(0).U16(0).U16(0);
  Directory dir;
  ASSERT_TRUE(dir.ReadFace(font.view(), 0));
  StandaloneFont out;
  ASSERT_TRUE(BuildStandaloneFont(dir, out));
  ASSERT_EQ(out.size, 12u);
  EXPECT_EQ(U16At(out.bytes.get() + 4), 0);
  EXPECT_EQ(U16At(out.bytes.get() + 6), 0);
  EXPECT_EQ(U16At(out.bytes.get() + 10), 0);
}

}  // namespace
}  // namespace tavrfndl::sfnt
