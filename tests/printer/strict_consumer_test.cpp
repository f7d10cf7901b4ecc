// The strict printer itself: a job the library writes for a good font passes, and each fault it
// is there to see, put into that job by hand, is reported.
#include "support/strict_consumer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "pclxl/format.h"
#include "pclxl/xlstream_reader.h"
#include "softfont_records.h"
#include "support/driver.h"
#include "support/strict_print.h"
#include "support/xl_ops.h"

namespace tavrfndl::testing {
namespace {

using Bytes = std::vector<uint8_t>;

const std::string kGoodFont =
    std::string(TAVRFNDL_SOURCE_DIR) + "/tests/fonts/good/dejavu-subset.ttf";

// Where the font header's bytes and the first glyph lie in the job.
struct JobMap {
  std::vector<size_t> headerAt;  // job offset of each header byte
  fndl::FontHeaderInfo header;
  size_t firstGlyphAt = 0;  // of the first glyph's data with an outline

  size_t GtAt(size_t offsetInGt) const { return headerAt.at(header.gtOffset + offsetInGt); }
  const fndl::SfntTableRecord& Table(const char* tag) const {
    for (const auto& t : header.tables) {
      if (std::memcmp(t.tag, tag, 4) == 0) return t;
    }
    throw std::runtime_error(std::string("no table ") + tag);
  }
  // The job offset of byte `at` of a GT table, and of field `field` of its directory record.
  size_t TableAt(const char* tag, size_t at) const { return GtAt(Table(tag).offset + at); }
  size_t RecordAt(const char* tag, size_t field) const {
    return GtAt(12 + 16 * static_cast<size_t>(&Table(tag) - header.tables.data()) + field);
  }
};

JobMap MapJob(const Bytes& job) {
  JobMap map;
  Bytes header;
  pclxl::XlStreamReader reader = pclxl::XlStreamReader::Fragment(job.data(), job.size());
  pclxl::XlOperator op;
  while (reader.Next(op) == pclxl::XlStreamReader::Result::kOperator) {
    if (op.tag == pclxl::Operator::ReadFontHeader) {
      for (size_t i = 0; i < op.dataLength; ++i) map.headerAt.push_back(op.dataOffset + i);
      header.insert(header.end(), op.data, op.data + op.dataLength);
    } else if (op.tag == pclxl::Operator::ReadChar && op.dataLength > 16 && !map.firstGlyphAt) {
      map.firstGlyphAt = op.dataOffset + 6;
    }
  }
  std::string error;
  EXPECT_TRUE(fndl::DecodeFontHeader(header.data(), header.size(), map.header, error)) << error;
  return map;
}

void PutBe(Bytes& job, size_t at, size_t bytes, uint32_t v) {
  for (size_t i = bytes; i-- > 0; v >>= 8) job.at(at + i) = static_cast<uint8_t>(v);
}

Bytes GoodJob() {
  const Library lib = Library::Load();
  const PrintExports exports{lib.FontDownloadW, lib.RemoveFontW, lib.GetCursor, lib.SetCursor};
  const StrictPrint print = PrintStrictly(exports, kGoodFont, FontMode::kFile, 1,
                                          MappedText(kGoodFont, 40), TempPath("job.pxl"));
  EXPECT_EQ(print.lastResult, FNDL_RESULT_OK);
  return print.job;
}

TEST(StrictConsumer, PassesTheLibrarysJobForAGoodFontAndAJobWithoutFonts) {
  const StrictConsumerReport report = ReadAsStrictPrinter(GoodJob());
  EXPECT_TRUE(report.ok()) << report.Summary();
  EXPECT_EQ(report.fontsDefined, 1u);
  EXPECT_GT(report.glyphRecords, 10u);
  EXPECT_TRUE(ReadAsStrictPrinter({}).ok());
}

struct Fault {
  const char* what;
  std::function<void(Bytes&, const JobMap&)> apply;
  const char* finding;  // a part of the finding it must give
};

TEST(StrictConsumer, ReportsEachFaultAPrinterMeets) {
  const Bytes good = GoodJob();
  const JobMap map = MapJob(good);
  ASSERT_NE(map.firstGlyphAt, 0u);
  const Fault faults[] = {
      {"a GT table reaching past the segment",
       [](Bytes& j, const JobMap& m) { PutBe(j, m.RecordAt("hmtx", 12), 4, 0x10000); },
       "GT table \"hmtx\" (offset"},
      {"head magic number",
       [](Bytes& j, const JobMap& m) { PutBe(j, m.TableAt("head", 12), 4, 0); },
       "\"head\" magicNumber is 0"},
      {"head unitsPerEm", [](Bytes& j, const JobMap& m) { PutBe(j, m.TableAt("head", 18), 2, 8); },
       "\"head\" unitsPerEm is 8"},
      {"more metrics than glyphs",
       [](Bytes& j, const JobMap& m) { PutBe(j, m.TableAt("hhea", 34), 2, 0xFFFF); },
       "\"hhea\" numberOfHMetrics is 65535"},
      {"character records past numGlyphs",
       [](Bytes& j, const JobMap& m) { PutBe(j, m.TableAt("maxp", 4), 2, 2); },
       "rebuilt with a repair"},
      {"a glyph whose contour ends run past its bytes",
       [](Bytes& j, const JobMap& m) { PutBe(j, m.firstGlyphAt, 2, 0x7FF); }, "does not load"},
      {"a font program that fails",
       [](Bytes& j, const JobMap& m) {
         for (uint32_t i = 0; i < m.Table("fpgm").length; ++i) j[m.TableAt("fpgm", i)] = 0x2C;
       },
       "the font's programs fail"},
      {"no maxp to rebuild with",
       [](Bytes& j, const JobMap& m) { std::memcpy(&j[m.RecordAt("maxp", 0)], "maxq", 4); },
       "cannot be rebuilt"},
      {"a job cut inside the font header",
       [](Bytes& j, const JobMap& m) { j.resize(m.GtAt(0) + 4); }, "stream"},
  };
  for (const Fault& fault : faults) {
    SCOPED_TRACE(fault.what);
    Bytes job = good;
    fault.apply(job, map);
    const StrictConsumerReport report = ReadAsStrictPrinter(job);
    EXPECT_NE(report.Summary(100).find(fault.finding), std::string::npos) << report.Summary(100);
  }
}

}  // namespace
}  // namespace tavrfndl::testing
