// The simple glyph encoder, read back with a decoder written from the "glyf" format.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "outline/outline.h"
#include "sfnt/bytes.h"

namespace tavrfndl::outline {
namespace {

int16_t S16(const std::vector<uint8_t>& b, size_t& at) {
  int16_t v = 0;
  EXPECT_TRUE(ByteView(b.data(), b.size()).ReadS16(at, v)) << at;
  at += 2;
  return v;
}

// Reads one coordinate axis: short bit, same-or-positive bit.
void ReadAxis(const std::vector<uint8_t>& b, size_t& at, const std::vector<uint8_t>& flags,
              uint8_t shortBit, uint8_t sameBit, std::vector<int32_t>& out) {
  int32_t value = 0;
  for (uint8_t flag : flags) {
    if (flag & shortBit) {
      const int32_t magnitude = b.at(at++);
      value += (flag & sameBit) ? magnitude : -magnitude;
    } else if (!(flag & sameBit)) {
      value += S16(b, at);
    }
    out.push_back(value);
  }
}

struct Decoded {
  std::vector<QuadContour> contours;
  int16_t box[4] = {};
  size_t end = 0;  // bytes read
};

Decoded Decode(const std::vector<uint8_t>& b) {
  Decoded d;
  size_t at = 0;
  const int16_t count = S16(b, at);
  for (int16_t& v : d.box) v = S16(b, at);
  std::vector<uint16_t> ends;
  for (int i = 0; i < count; ++i) ends.push_back(static_cast<uint16_t>(S16(b, at)));
  const uint16_t instructions = static_cast<uint16_t>(S16(b, at));
  at += instructions;
  const size_t points = ends.empty() ? 0 : ends.back() + 1u;
  std::vector<uint8_t> flags;
  while (flags.size() < points) {
    const uint8_t flag = b.at(at++);
    const size_t repeat = (flag & 0x08) ? b.at(at++) : 0;
    flags.insert(flags.end(), repeat + 1, flag);
  }
  std::vector<int32_t> xs, ys;
  ReadAxis(b, at, flags, 0x02, 0x10, xs);
  ReadAxis(b, at, flags, 0x04, 0x20, ys);
  size_t p = 0;
  for (uint16_t end : ends) {
    d.contours.emplace_back();
    for (; p <= end; ++p) d.contours.back().push_back({xs[p], ys[p], (flags[p] & 1) != 0});
  }
  d.end = at;
  return d;
}

TEST(EncodeSimpleGlyph, WritesTheFormatsFields) {
  // Zero, short positive and negative, and long deltas; x 0..100, y 0..300.
  const std::vector<QuadContour> triangle = {{{0, 0, true}, {100, 0, true}, {50, 300, false}}};
  EncodedGlyph glyph;
  ASSERT_TRUE(EncodeSimpleGlyph(triangle, glyph));
  const std::vector<uint8_t> expected = {0x00, 0x01, 0x00, 0x00, 0x00,
                                         0x00, 0x00, 0x64, 0x01, 0x2C,  // 1 contour, box
                                         0x00, 0x02, 0x00, 0x00,        // endPts, no instructions
                                         0x31, 0x33, 0x02,              // flags
                                         0x64, 0x32,                    // x: +100, -50
                                         0x01, 0x2C};                   // y: 0, 0, +300
  EXPECT_EQ(glyph.bytes, expected);
  EXPECT_EQ(glyph.points, 3);
  EXPECT_EQ(glyph.contours, 1);
}

TEST(EncodeSimpleGlyph, DecodesToTheSamePoints) {
  // Long runs of one flag (more than a repeat count holds), deltas at the short and 16-bit
  // limits, negative coordinates, several contours.
  std::vector<QuadContour> contours(3);
  contours[0] = {{-32768, 0, true},
                 {-32768 + 255, 255, false},
                 {-32768 + 510, -1, true},
                 {32767 - 32768 + 510, 32766, true},
                 {0, 0, false}};
  for (int i = 0; i < 300; ++i) contours[1].push_back({i * 10, -i * 10, true});
  contours[2] = {{7, 7, true}, {7, 7, true}, {-256, 7, false}};
  EncodedGlyph glyph;
  ASSERT_TRUE(EncodeSimpleGlyph(contours, glyph));
  const Decoded d = Decode(glyph.bytes);
  EXPECT_EQ(d.contours, contours);
  EXPECT_EQ(d.end, glyph.bytes.size());
  EXPECT_EQ(d.box[0], -32768);
  EXPECT_EQ(d.box[1], -2990);
  EXPECT_EQ(d.box[2], 2990);
  EXPECT_EQ(d.box[3], 32766);
  EXPECT_EQ(glyph.points, 308);
  EXPECT_EQ(glyph.contours, 3);
}

TEST(EncodeSimpleGlyph, EmptyOutlineAndOutlinesNoGlyphHolds) {
  EncodedGlyph glyph;
  glyph.points = 9;
  ASSERT_TRUE(EncodeSimpleGlyph(std::vector<QuadContour>{{}}, glyph));
  EXPECT_TRUE(glyph.bytes.empty());
  EXPECT_EQ(glyph.points, 0);
  EXPECT_EQ(glyph.contours, 0);

  const std::vector<std::vector<QuadContour>> refused = {
      {{{32768, 0, true}}},                     // coordinate beyond 16 bits
      {{{0, -32769, true}}},                    // the same below
      {{{-20000, 0, true}, {20000, 0, true}}},  // delta beyond 16 bits
      {QuadContour(65536, {1, 1, true})},       // too many points
  };
  for (const auto& contours : refused) EXPECT_FALSE(EncodeSimpleGlyph(contours, glyph));
}

}  // namespace
}  // namespace tavrfndl::outline
