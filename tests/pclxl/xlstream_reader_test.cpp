// The PCL XL reader on hand-built streams: every byte below is written from the binary binding
// (tag, value low byte first, attribute id after its value, data after its operator).
#include "pclxl/xlstream_reader.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tavrfndl::pclxl {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Stream(const Bytes& body, const std::string& header = ") HP-PCL XL;2;0;test\n") {
  Bytes out(header.begin(), header.end());
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// The operators point into the bytes, so the bytes live as long as the result.
struct Read {
  Bytes bytes;
  std::vector<XlOperator> ops;
  XlStreamReader::Result last = XlStreamReader::Result::kError;
  std::string error;
  size_t errorOffset = 0;
};

Read ReadAll(Bytes bytes) {
  Read r;
  r.bytes = std::move(bytes);
  XlStreamReader reader(r.bytes.data(), r.bytes.size());
  XlOperator op;
  while ((r.last = reader.Next(op)) == XlStreamReader::Result::kOperator) r.ops.push_back(op);
  r.error = reader.error();
  r.errorOffset = reader.errorOffset();
  return r;
}

TEST(XlStreamReader, PrologueItemsComeBeforeTheHeaderLine) {
  std::string text =
      "\x1B%-12345X@PJL JOB NAME = \"x\"\r\n@PJL ENTER LANGUAGE = PCLXL\r\n"
      ") HP-PCL XL;2;1;Comment; with; semicolons\n";
  Bytes bytes(text.begin(), text.end());
  bytes.push_back(0x41);  // BeginSession, no attributes
  XlStreamReader reader(bytes.data(), bytes.size());
  ASSERT_TRUE(reader.ReadPrologue()) << reader.error();
  ASSERT_EQ(reader.prologue().size(), 3u);
  EXPECT_EQ(reader.prologue()[0].kind, XlPrologueItem::Kind::kExit);
  EXPECT_EQ(reader.prologue()[1].text, "@PJL JOB NAME = \"x\"");
  EXPECT_EQ(reader.prologue()[2].offset, 30u);
  EXPECT_EQ(reader.prologue()[2].text, "@PJL ENTER LANGUAGE = PCLXL");
  EXPECT_EQ(reader.header().offset, 59u);
  EXPECT_EQ(reader.header().protocolName, "HP-PCL XL");
  EXPECT_EQ(reader.header().protocolClass, "2");
  EXPECT_EQ(reader.header().revision, "1");
  EXPECT_EQ(reader.header().comment, "Comment; with; semicolons");
  XlOperator op;
  ASSERT_EQ(reader.Next(op), XlStreamReader::Result::kOperator);
  EXPECT_EQ(op.tag, Operator::BeginSession);
  EXPECT_EQ(op.offset, 59u + 42u);
  EXPECT_EQ(reader.Next(op), XlStreamReader::Result::kEnd);
  EXPECT_FALSE(reader.endedWithUniversalExit());
}

TEST(XlStreamReader, DecodesEveryValueShape) {
  Bytes body = {
      0xC0, 0xFE, 0xF8, 0x01,                                            // ubyte 254
      0xC1, 0x2C, 0x01, 0xF8, 0x02,                                      // uint16 300
      0xC2, 0x78, 0x56, 0x34, 0x12, 0xF8, 0x03,                          // uint32 0x12345678
      0xC3, 0xFB, 0xFF, 0xF8, 0x04,                                      // sint16 -5
      0xC4, 0x00, 0x00, 0x00, 0x80, 0xF8, 0x05,                          // sint32 INT32_MIN
      0xC5, 0x00, 0x00, 0xC0, 0x3F, 0xF8, 0x06,                          // real32 1.5
      0xD3, 0x64, 0x00, 0x38, 0xFF, 0xF8, 0x07,                          // sint16_xy (100, -200)
      0xE1, 0x01, 0x00, 0x02, 0x00, 0x03, 0x00, 0x04, 0x00, 0xF8, 0x08,  // uint16_box
      0xC9, 0xC0, 0x02, 0x41, 0x00, 0xE9, 0x03, 0xF8, 0x09,        // uint16_array, ubyte length 2
      0xC8, 0xC1, 0x03, 0x00, 0x61, 0x62, 0x63, 0xF9, 0x34, 0x12,  // ubyte_array, attr_uint16
      0xCD, 0xC0, 0x01, 0x00, 0x00, 0xC0, 0x3F, 0xF8, 0x0A,        // real32_array {1.5}
      0x6B};
  Read r = ReadAll(Stream(body));
  ASSERT_EQ(r.last, XlStreamReader::Result::kEnd) << r.error;
  ASSERT_EQ(r.ops.size(), 1u);
  const XlOperator& op = r.ops[0];
  ASSERT_EQ(op.attributes.size(), 11u);
  EXPECT_EQ(op.Find(1)->value.number[0], 254);
  EXPECT_EQ(op.Find(2)->value.number[0], 300);
  EXPECT_EQ(op.Find(3)->value.number[0], 0x12345678);
  EXPECT_EQ(op.Find(4)->value.number[0], -5);
  EXPECT_EQ(op.Find(5)->value.number[0], -2147483648.0);
  EXPECT_TRUE(op.Find(6)->value.IsReal());
  EXPECT_EQ(op.Find(6)->value.number[0], 1.5);
  EXPECT_EQ(op.Find(7)->value.shape, XlShape::kXY);
  EXPECT_EQ(op.Find(7)->value.number[1], -200);
  EXPECT_EQ(op.Find(8)->value.shape, XlShape::kBox);
  EXPECT_EQ(op.Find(8)->value.number[3], 4);
  const XlValue& array = op.Find(9)->value;
  ASSERT_EQ(array.count, 2u);
  EXPECT_EQ(array.Element(0), 0x41);
  EXPECT_EQ(array.Element(1), 0x3E9);
  EXPECT_EQ(array.Element(2), 0);  // out of range reads nothing
  EXPECT_FALSE(array.IsReal());
  EXPECT_TRUE(op.Find(10)->value.IsReal());
  EXPECT_EQ(op.Find(10)->value.Element(0), 1.5);
  const XlAttribute* wide = op.Find(0x1234);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide->value.count, 3u);
  EXPECT_EQ(wide->value.Element(2), 'c');
  EXPECT_EQ(op.start, 21u);  // the first value, right after the header line
}

TEST(XlStreamReader, HighByteFirstBindingSwapsEveryValue) {
  Bytes body = {0xC1, 0x01, 0x02, 0xF8, 0x02, 0xC9, 0xC1, 0x00, 0x01, 0x12, 0x34, 0xF8, 0x03, 0x6B};
  Read r = ReadAll(Stream(body, "( HP-PCL XL;2;0\n"));
  ASSERT_EQ(r.last, XlStreamReader::Result::kEnd) << r.error;
  EXPECT_EQ(r.ops[0].Find(2)->value.number[0], 0x0102);
  EXPECT_EQ(r.ops[0].Find(3)->value.count, 1u);
  EXPECT_EQ(r.ops[0].Find(3)->value.Element(0), 0x1234);
}

TEST(XlStreamReader, EmbeddedDataBelongsToTheOperatorBeforeIt) {
  Bytes body = {0xC1, 0x03, 0x00, 0xF8, 0xA7, 0x50,  // ReadFontHeader
                0x20, 0x0A,                          // white space may stand between
                0xFA, 0x03, 0x00, 0x00, 0x00, 0xAA,
                0xBB, 0xCC, 0x53, 0xFB, 0x01, 0xDD,  // ReadChar with the short length form
                0x54};
  Read r = ReadAll(Stream(body));
  ASSERT_EQ(r.last, XlStreamReader::Result::kEnd) << r.error;
  ASSERT_EQ(r.ops.size(), 3u);
  ASSERT_TRUE(r.ops[0].hasData);
  EXPECT_EQ(r.ops[0].dataLength, 3u);
  EXPECT_EQ(r.ops[0].data[2], 0xCC);
  EXPECT_EQ(r.ops[0].dataOffset, 21u + 13u);
  ASSERT_TRUE(r.ops[1].hasData);
  EXPECT_EQ(r.ops[1].dataLength, 1u);
  EXPECT_EQ(r.ops[1].data[0], 0xDD);
  EXPECT_FALSE(r.ops[2].hasData);
}

TEST(XlStreamReader, UniversalExitEndsTheStream) {
  Bytes body = {0x42, 0x1B, '%', '-', '1', '2', '3', '4', '5', 'X', '@', 'P', 'J', 'L'};
  Bytes bytes = Stream(body);
  XlStreamReader reader(bytes.data(), bytes.size());
  XlOperator op;
  ASSERT_EQ(reader.Next(op), XlStreamReader::Result::kOperator);
  ASSERT_EQ(reader.Next(op), XlStreamReader::Result::kEnd);
  EXPECT_TRUE(reader.endedWithUniversalExit());
  EXPECT_EQ(reader.endOffset(), 22u);
  EXPECT_EQ(reader.Next(op), XlStreamReader::Result::kEnd);
}

TEST(XlStreamReader, FragmentsHaveNoPrologue) {
  Bytes bytes = {0xD3, 0x2C, 0x01, 0x90, 0x01, 0xF8, 0x4C, 0x6B};
  XlStreamReader reader = XlStreamReader::Fragment(bytes.data(), bytes.size());
  XlOperator op;
  ASSERT_EQ(reader.Next(op), XlStreamReader::Result::kOperator);
  EXPECT_EQ(op.Find(0x4C)->value.number[0], 300);
  EXPECT_EQ(op.Find(0x4C)->value.number[1], 400);
}

struct BrokenCase {
  const char* name;
  Bytes body;  // after a 21-byte header line, or the whole input when raw
  bool raw;
  size_t offset;
  const char* message;
};

TEST(XlStreamReader, BrokenStreamsStopAtTheFaultWithItsOffset) {
  const BrokenCase cases[] = {
      {"empty input", {}, true, 0, "empty"},
      {"no header line", {'x', 'y'}, true, 0, "expected a universal exit"},
      {"header without line feed", {')', ' ', 'H', 'P'}, true, 0, "no line feed"},
      {"ASCII binding", {'\'', ' ', 'H', '\n'}, true, 0, "ASCII binding"},
      {"missing space after binding", {')', 'H', '\n'}, true, 0, "lacks the space"},
      {"value cut off", {0xC2, 0x01, 0x02}, false, 21, "ends inside a uint32"},
      {"array runs past the end", {0xC9, 0xC0, 0x03, 0x01, 0x00}, false, 21, "3 elements"},
      {"array length of the wrong type", {0xC8, 0xC2, 0x01}, false, 22, "ubyte or a uint16"},
      {"attribute id without value", {0xF8, 0x4C, 0x6B}, false, 21, "without a value"},
      {"value without attribute id", {0xC0, 0x01, 0x6B}, false, 21, "without an attribute id"},
      {"two values in a row", {0xC0, 0x01, 0xC0, 0x02}, false, 23, "second value"},
      {"byte outside the binding", {0x6B, 0x30}, false, 22, "not a tag"},
      {"data type tag that does not exist", {0xC6, 0x00}, false, 21, "not a tag"},
      {"escape that is no universal exit", {0x1B, 'x'}, false, 21, "escape"},
      {"data without an operator", {0xFB, 0x01, 0x00}, false, 21, "without an operator"},
      {"data longer than the input",
       {0x53, 0xFA, 0x10, 0x00, 0x00, 0x00, 0x01},
       false,
       22,
       "16 bytes runs past"},
      {"input ends inside an attribute list",
       {0xC0, 0x01, 0xF8, 0x02},
       false,
       25,
       "ends inside an operator"},
      {"universal exit inside an attribute list",
       {0xC0, 0x01, 0xF8, 0x02, 0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'},
       false,
       25,
       "interrupts"},
  };
  for (const BrokenCase& c : cases) {
    SCOPED_TRACE(c.name);
    Read r = ReadAll(c.raw ? c.body : Stream(c.body, ") HP-PCL XL;2;0;test\n"));
    EXPECT_EQ(r.last, XlStreamReader::Result::kError);
    EXPECT_EQ(r.errorOffset, c.offset);
    EXPECT_NE(r.error.find(c.message), std::string::npos) << r.error;
  }
}

TEST(XlStreamReader, RefusesMoreAttributesThanAnOperatorCanHave) {
  Bytes body;
  for (size_t i = 0; i <= XlStreamReader::kMaxAttributes; ++i) {
    body.insert(body.end(), {0xC0, 0x00, 0xF8, 0x01});
  }
  body.push_back(0x6B);
  Read r = ReadAll(Stream(body));
  EXPECT_EQ(r.last, XlStreamReader::Result::kError);
  EXPECT_NE(r.error.find("attributes"), std::string::npos);
  EXPECT_TRUE(r.ops.empty());
}

TEST(XlStreamReader, RandomInputAlwaysEndsWithinOneStepPerByte) {
  std::mt19937 random(12345);
  for (int round = 0; round < 3000; ++round) {
    Bytes body(random() % 64);
    for (uint8_t& b : body) {
      // Bias towards tags so that the interesting paths are taken.
      uint32_t pick = random() % 4;
      b = static_cast<uint8_t>(pick == 0   ? 0xC0 + random() % 0x3A
                               : pick == 1 ? 0x41 + random() % 0x7F
                                           : random());
    }
    Bytes bytes = Stream(body);
    XlStreamReader reader(bytes.data(), bytes.size());
    XlOperator op;
    size_t steps = 0;
    XlStreamReader::Result result;
    while ((result = reader.Next(op)) == XlStreamReader::Result::kOperator) {
      ASSERT_LE(++steps, bytes.size());
      ASSERT_LE(op.offset, bytes.size());
      if (op.hasData) {
        ASSERT_LE(op.dataOffset + op.dataLength, bytes.size());
      }
    }
    if (result == XlStreamReader::Result::kError) {
      EXPECT_FALSE(reader.error().empty());
      EXPECT_LE(reader.errorOffset(), bytes.size());
    }
  }
}

}  // namespace
}  // namespace tavrfndl::pclxl
