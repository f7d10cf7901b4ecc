// Broken and hostile streams for the listing and the preview: every prefix of a real job, bytes
// flipped in it, random bytes. Both must end with a message and a failure status, never crash;
// the sanitizer build runs these same cases.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "dump_listing.h"
#include "page_render.h"
#include "tool_harness.h"

namespace fndl::test {
namespace {

using Bytes = std::vector<uint8_t>;

// A real job from the library, small enough to cut at every byte: two lines of a TrueType file.
class ReadingJobs : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    ScratchDir dir;
    WriteText(dir.Path("in.txt"), "Åb ç\nÐé fi Ω ж\n");
    std::string face = DejaVuSans();
    ToolRun run = RunFndl(
        {"print", "--underline", "--face", face, "-o", dir.Path("job.pxl"), dir.Path("in.txt")});
    if (run.status == 0) job_ = new Bytes(ReadBytes(dir.Path("job.pxl")));
  }
  static void TearDownTestSuite() {
    delete job_;
    job_ = nullptr;
  }
  void SetUp() override { ASSERT_NE(job_, nullptr) << "fndl print could not make the job"; }

  // The listing and the preview of bytes, in this process: the listing's status, whether the
  // preview read the stream to its end, and whether it also found nothing wrong.
  static void ListAndRender(const Bytes& bytes, int& listing, bool& rendered,
                            bool* clean = nullptr) {
    std::FILE* sink = std::fopen("/dev/null", "w");
    ASSERT_NE(sink, nullptr);
    listing = WriteListing(bytes.data(), bytes.size(), sink, sink);
    std::fclose(sink);
    RenderReport report;
    size_t pages = 0;
    rendered = RenderStream(
        bytes.data(), bytes.size(), 20, [&](const RenderedPage&) { return ++pages < 1000; },
        report);
    if (report.streamError) {
      EXPECT_FALSE(report.error.empty());
    }
    if (clean) *clean = rendered && report.problems.empty();
  }

  static Bytes* job_;
};

Bytes* ReadingJobs::job_ = nullptr;

TEST_F(ReadingJobs, TheWholeJobIsClean) {
  int listing = -1;
  bool rendered = false;
  ListAndRender(*job_, listing, rendered);
  EXPECT_EQ(listing, 0);
  EXPECT_TRUE(rendered);
}

TEST_F(ReadingJobs, EveryPrefixOfAJobEndsCleanOnlyBetweenOperators) {
  const Bytes& job = *job_;
  // Where each operator of the whole job ends: a prefix ending there is a readable stream that
  // only lacks its end; any other prefix has something cut in two.
  std::set<size_t> boundaries;
  std::vector<std::pair<size_t, size_t>> longData;
  XlStreamReader reader(job.data(), job.size());
  ASSERT_TRUE(reader.ReadPrologue());
  boundaries.insert(reader.position());
  XlOperator op;
  while (reader.Next(op) == XlStreamReader::Result::kOperator) {
    boundaries.insert(op.hasData ? op.dataOffset + op.dataLength : op.offset + 1);
    if (op.hasData && op.dataLength > 64) longData.push_back({op.dataOffset, op.dataLength});
  }
  ASSERT_GT(boundaries.size(), 20u);
  auto insideLongData = [&](size_t cut) {
    for (const auto& [from, length] : longData) {
      // The middle of a long table cuts the same way at any byte; every 53rd will do.
      if (cut > from + 8 && cut + 8 < from + length) return (cut - from) % 53 != 0;
    }
    return false;
  };
  size_t tried = 0;
  for (size_t cut = 0; cut + kUniversalExitLength < job.size(); ++cut) {
    if (insideLongData(cut)) continue;
    ++tried;
    Bytes prefix(job.begin(), job.begin() + static_cast<ptrdiff_t>(cut));
    int listing = -1;
    bool rendered = false, nothingWrong = false;
    ListAndRender(prefix, listing, rendered, &nothingWrong);
    // An operator whose announced data was cut off entirely still reads; the font code then
    // reports it, so neither the listing nor the preview passes it as clean.
    bool clean = boundaries.count(cut) > 0;
    EXPECT_EQ(listing, clean ? 0 : 1) << "cut at " << cut;
    if (clean) {
      EXPECT_TRUE(rendered) << "cut at " << cut;
    } else {
      EXPECT_FALSE(nothingWrong) << "cut at " << cut;
    }
    if (HasFailure()) return;
  }
  EXPECT_GT(tried, 1000u);
}

TEST_F(ReadingJobs, FlippedAndDeletedBytesFailCleanly) {
  std::mt19937 random(2024);
  for (int round = 0; round < 400; ++round) {
    Bytes bytes = *job_;
    int edits = 1 + static_cast<int>(random() % 8);
    for (int e = 0; e < edits && !bytes.empty(); ++e) {
      size_t at = random() % bytes.size();
      switch (random() % 3) {
        case 0:
          bytes[at] = static_cast<uint8_t>(random());
          break;
        case 1:
          bytes[at] ^= static_cast<uint8_t>(1u << (random() % 8));
          break;
        default:
          bytes.erase(bytes.begin() + static_cast<ptrdiff_t>(at));
          break;
      }
    }
    int listing = -1;
    bool rendered = false;
    ListAndRender(bytes, listing, rendered);
    ASSERT_TRUE(listing == 0 || listing == 1) << round;
  }
}

TEST_F(ReadingJobs, TheToolSaysWhatBrokeAndWhere) {
  ScratchDir dir;
  const Bytes& job = *job_;
  std::mt19937 random(7);
  Bytes noise(4096);
  for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
  Bytes headerThenNoise = {')', ' ', 'H', 'P', '-', 'P', 'C', 'L',
                           ' ', 'X', 'L', ';', '2', ';', '0', '\n'};
  headerThenNoise.insert(headerThenNoise.end(), noise.begin(), noise.end());
  // Cut inside the first font header's data and inside the last Text.
  Bytes inHeader(job.begin(), job.begin() + 400);
  Bytes inText(job.begin(), job.end() - 40);
  struct Case {
    const char* name;
    Bytes bytes;
    const char* listingMessage;
  } cases[] = {
      {"empty file", {}, "the input is empty"},
      {"random bytes", noise, "error at offset"},
      {"header line, then random bytes", headerThenNoise, "error at offset"},
      {"cut inside a font header", inHeader, "error at offset"},
      {"cut inside the font removal", inText, "error at offset"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = dir.Path("bad.pxl");
    WriteBytes(path, c.bytes);
    ToolRun dump = RunFndl({"dump", path});
    ASSERT_TRUE(dump.exited) << "dump crashed: " << dump.err;
    EXPECT_EQ(dump.status, 1);
    EXPECT_NE(dump.out.find(c.listingMessage), std::string::npos) << dump.out;
    EXPECT_NE(dump.err.find("fndl dump: "), std::string::npos);
    ToolRun render = RunFndl({"render", path, "-o", dir.Path("bad.png")});
    ASSERT_TRUE(render.exited) << "render crashed: " << render.err;
    EXPECT_EQ(render.status, 1);
    EXPECT_NE(render.err.find("fndl render: "), std::string::npos) << render.err;
    EXPECT_EQ(dump.err.find("Sanitizer"), std::string::npos) << dump.err;
    EXPECT_EQ(render.err.find("Sanitizer"), std::string::npos) << render.err;
  }
}

TEST_F(ReadingJobs, TheListingShowsTheJobOperatorByOperator) {
  ScratchDir dir;
  WriteBytes(dir.Path("job.pxl"), *job_);
  ToolRun run = RunFndl({"dump", dir.Path("job.pxl")});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string& out = run.out;
  for (const char* expected : {
           "00000000  universal exit",
           "PJL @PJL ENTER LANGUAGE = PCLXL",
           "BeginSession  UnitsPerMeasure=uint16_xy (600, 600)  Measure=ubyte 0 (inch)",
           "BeginFontHeader  FontName=ubyte_array[",
           "ReadFontHeader  FontHeaderLength=uint16 8  + data 8 bytes",
           "segment \"GT\"",
           "gdir   checksum 0x00000000  offset        0  length        0",
           "null segment (0xFFFF), 0 bytes",
           "ReadChar  CharCode=uint16 0x00C5 'Å'  CharDataSize=uint32",
           "character 0x00C5 -> glyph",
           "composite of 2",
           "component -> glyph",
           "TextData=uint16_array[4] \"Åb ç\"",
           "RectanglePath  BoundingBox=sint16_box",
           "RemoveFont",
           "closed by a universal exit",
           "0 problems",
       }) {
    EXPECT_NE(out.find(expected), std::string::npos) << expected;
  }
}

// ROP3 is a ubyte, but a stream may give it as any number type; the preview names the ones it
// cannot draw without converting a number that does not fit.
TEST(HostileNumbers, Rop3OfAnyTypeAndSize) {
  const Bytes prologue = {')', ' ', '\n'};
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {{0xC0, 0x07}, "ROP3 7 drawn as paint"},                               // ubyte
      {{0xC2, 0x24, 0x01, 0xF4, 0xF0}, "ROP3 out of range drawn as paint"},  // uint32 4042588452
      {{0xC4, 0xFB, 0xFF, 0xFF, 0xFF}, "ROP3 out of range drawn as paint"},  // sint32 -5
      {{0xC5, 0xCA, 0xF2, 0x49, 0x71}, "ROP3 out of range drawn as paint"},  // real32 1e30
  };
  for (const auto& [value, expected] : cases) {
    Bytes stream = prologue;
    stream.insert(stream.end(), value.begin(), value.end());
    stream.insert(stream.end(), {0xF8, 0x2C, 0x7B});  // attribute ROP3, SetROP
    RenderReport report;
    EXPECT_TRUE(RenderStream(
        stream.data(), stream.size(), 20, [](const RenderedPage&) { return true; }, report))
        << report.error;
    EXPECT_EQ(report.approximations.count(expected), 1u) << expected;
  }
}

}  // namespace
}  // namespace fndl::test
