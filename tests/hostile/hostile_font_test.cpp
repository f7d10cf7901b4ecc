// Hostile fonts through the C interface: every font of hostile_fonts.cpp (and every file in
// tests/fonts/bad/, where inputs found by fuzzing are kept) must give the library's defined
// answer and leave a job whose announced lengths all hold. File mode goes through the shared
// library as a driver loads it; engine mode serves the same bytes from a test font engine, whose
// tables the library copies into blocks of exactly their size, so that under AddressSanitizer
// any read past a table is reported (a mapped file's last page hides reads past its end).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "entry/download.h"
#include "hostile/hostile_fonts.h"
#include "hostile/stream_checks.h"
#include "support/driver.h"
#include "support/font_mutants.h"
#include "support/fontbuilder.h"
#include "support/fontfile.h"
#include "support/strict_consumer.h"
#include "support/xl_ops.h"

namespace tavrfndl::test {

// Test names and failure messages show the font by its file name.
void PrintTo(const HostileFont& font, std::ostream* out) {
  *out << font.name;
}

}  // namespace tavrfndl::test

namespace tavrfndl::testing {
namespace {

using test::HostileFont;
using test::kHostileText;

constexpr uint32_t kFontId = 7;
constexpr uint16_t kComponentCode = 0xFFFF;

std::string BadFontDir() {
  return std::string(TAVRFNDL_SOURCE_DIR) + "/tests/fonts/bad";
}

// What a strict printer rejects in the job, one finding a line: on top of a self-consistent
// stream, every font the job defines must be one a printer can use (support/strict_consumer.h).
std::string PrinterFindings(const std::vector<uint8_t>& job) {
  return ReadAsStrictPrinter(job).Summary();
}

// The character records of a job, in order.
struct CharRecord {
  uint16_t code;
  uint16_t glyph;
  std::vector<uint8_t> glyphBytes;
};

std::vector<CharRecord> CharRecords(const std::vector<uint8_t>& job) {
  std::vector<CharRecord> out;
  for (const WireOp& o : ReadOps(job)) {
    if (o.tag != Operator::ReadChar || o.data.size() < 6) continue;
    // CharCode is the first attribute: uint16 (0xC1), two bytes little-endian.
    const auto code = static_cast<uint16_t>(o.Number(Attribute::CharCode));
    const auto glyph = static_cast<uint16_t>(BeU16(o.data, 4));
    out.push_back({code, glyph, std::vector<uint8_t>(o.data.begin() + 6, o.data.end())});
  }
  return out;
}

size_t CountComponents(const std::vector<CharRecord>& records) {
  return static_cast<size_t>(std::count_if(records.begin(), records.end(), [](const CharRecord& r) {
    return r.code == kComponentCode;
  }));
}

// Runs of kHostileText in file mode through the shared library, on one font file with a font
// number and a job file of its own. The library's state is the process's: a test with several
// jobs removes one job's font before the next job starts, so that each job's removal lands in
// its own job file.
class FileModeJob {
 public:
  explicit FileModeJob(const std::vector<uint8_t>& font)
      : font_(font), id_(NextId()), out_(TempPath("job-" + std::to_string(id_) + ".pxl")) {
    lib_.SetCursorTo(300, 400);
  }

  int32_t Run(TEXTINFOW& text) {
    PAGEINFOW page = FilePage(font_.path(), out_, id_);
    return lib_.FontDownloadW(&text, &page);
  }
  void Remove() { lib_.RemoveFontW(&id_); }
  std::vector<uint8_t> Job() const { return ReadFileBytes(out_); }
  const Library& lib() const { return lib_; }
  const std::string& out() const { return out_; }
  uint32_t id() const { return id_; }

 private:
  static uint32_t NextId() {
    static uint32_t next = kFontId;
    return next++;
  }
  Library lib_ = Library::Load();
  test::TempFile font_;
  uint32_t id_;
  std::string out_;
};

// kHostileText printed through a test font engine serving the font's bytes, and the font
// removed: the job.
std::vector<uint8_t> EngineModeJob(const std::vector<uint8_t>& font, int32_t& result) {
  test::FontDataEngine engine(font);
  test::ScopedFontEngine installed(engine);
  const std::string out = TempPath("engine-job.pxl");
  int32_t x = 300;
  int32_t y = 400;
  FNDLSetCursor(&x, &y);
  TEXTINFOW text = Text(kHostileText, 120);
  PAGEINFOW page = FilePage("Hostile", out, kFontId);
  page.bTTE = 0;
  result = FNDLFontDownloadW(&text, &page);
  FNDLRemoveFontW(&kFontId);
  return ReadFileBytes(out);
}

class EachHostileFont : public ::testing::TestWithParam<HostileFont> {};

// The defined answer, a self-consistent job, and a second run that either repeats the answer
// or, for a font that cannot be used, fails at once without writing anything.
TEST_P(EachHostileFont, FileModeGivesItsDefinedAnswer) {
  const HostileFont& font = GetParam();
  SCOPED_TRACE(font.name + ": " + font.what);
  FileModeJob job(font.bytes);
  TEXTINFOW text = Text(kHostileText, 120);
  const int32_t result = job.Run(text);
  EXPECT_EQ(result, font.result);
  if (font.result == FNDL_RESULT_NO_GLYPH) {
    EXPECT_EQ(text.nOffsetToText, font.stopOffset);
  }
  EXPECT_EQ(StreamProblem(job.Job()), "");

  const size_t before = job.Job().size();
  TEXTINFOW again = Text(kHostileText, 120);
  EXPECT_EQ(job.Run(again), result);
  if (result == FNDL_RESULT_FAILED) {
    EXPECT_EQ(job.Job().size(), before);
  }
  job.Remove();
  EXPECT_EQ(StreamProblem(job.Job()), "");
  EXPECT_EQ(PrinterFindings(job.Job()), "");
}

TEST_P(EachHostileFont, EngineModeReadsOnlyInsideTheTables) {
  const HostileFont& font = GetParam();
  SCOPED_TRACE(font.name + ": " + font.what);
  int32_t result = -1;
  const std::vector<uint8_t> job = EngineModeJob(font.bytes, result);
  EXPECT_TRUE(result == FNDL_RESULT_OK || result == FNDL_RESULT_NO_GLYPH ||
              result == FNDL_RESULT_FAILED)
      << result;
  EXPECT_EQ(StreamProblem(job), "");
  EXPECT_EQ(PrinterFindings(job), "");
}

INSTANTIATE_TEST_SUITE_P(Hostile, EachHostileFont, ::testing::ValuesIn(test::HostileFonts()),
                         [](const ::testing::TestParamInfo<HostileFont>& param) {
                           std::string name = std::filesystem::path(param.param.name).stem();
                           std::replace(name.begin(), name.end(), '-', '_');
                           return name;
                         });

// Every file kept in tests/fonts/bad/ (the hostile set as written out, and inputs that once
// crashed or broke the stream) at least gives a defined answer and a self-consistent job; the
// files the hostile set describes give exactly its answer.
TEST(HostileFontFiles, EveryKeptFileGivesADefinedAnswer) {
  const std::vector<HostileFont> described = test::HostileFonts();
  size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(BadFontDir())) {
    if (!entry.is_regular_file() || entry.path().extension() != ".ttf") continue;
    ++files;
    const std::string name = entry.path().filename().string();
    SCOPED_TRACE(name);
    const std::vector<uint8_t> bytes = ReadFileBytes(entry.path().string());
    const auto it = std::find_if(described.begin(), described.end(),
                                 [&](const HostileFont& f) { return f.name == name; });
    if (it != described.end()) {
      // A kept file that no longer matches the set would test something else than it says.
      EXPECT_EQ(bytes, it->bytes) << "rewrite tests/fonts/bad with fuzz_seedgen";
      continue;  // its answer is checked by EachHostileFont, in a process of its own
    }
    // Each kept file gets a font number of its own: one shared library for all of them.
    FileModeJob job(bytes);
    TEXTINFOW text = Text(kHostileText, 120);
    const int32_t result = job.Run(text);
    EXPECT_GE(result, FNDL_RESULT_OK);
    EXPECT_LE(result, FNDL_RESULT_FAILED);
    job.Remove();
    EXPECT_EQ(StreamProblem(job.Job()), "");
    EXPECT_EQ(PrinterFindings(job.Job()), "");
  }
  EXPECT_GE(files, described.size());
}

TEST(HostileFontFiles, TheHostileSetCoversWhatItMust) {
  for (const char* name :
       {"numtables-past-end.ttf", "glyf-offset-past-end.ttf", "glyf-length-wraps.ttf",
        "loca-past-glyf.ttf", "composite-runs-off.ttf", "cmap-segcount-past-table.ttf",
        "idrangeoffset-past-table.ttf", "ttcf-header.ttf", "empty.ttf"}) {
    EXPECT_TRUE(std::filesystem::is_regular_file(BadFontDir() + "/" + name)) << name;
  }
}

// ----- The intact font damaged in every way that takes no random choice -----

// Cut at every table boundary; numTables and every field of every directory record set to 0,
// 0xFFFFFFFF, one more, one less, another record's value, and past the end of the file. In both
// modes each job carries nothing of the font or a font a printer can use.
TEST(HostileFontMutants, EveryCutAndEverySmashedDirectoryFieldGivesAUsableJob) {
  const std::vector<test::FontMutant> mutants = test::FontMutator(test::IntactFont()).Systematic();
  ASSERT_GT(mutants.size(), 200u);
  size_t failed = 0;
  std::string shown;
  for (const test::FontMutant& mutant : mutants) {
    FileModeJob file(mutant.bytes);
    TEXTINFOW text = Text(kHostileText, 120);
    file.Run(text);
    file.Remove();
    int32_t result = -1;
    for (const std::vector<uint8_t>& job : {file.Job(), EngineModeJob(mutant.bytes, result)}) {
      const std::string problem = StreamProblem(job) + ReadAsStrictPrinter(job).Summary(3);
      if (problem.empty() || ++failed > 8) continue;
      shown += mutant.what + ":\n" + problem;
    }
  }
  EXPECT_EQ(failed, 0u) << "of " << 2 * mutants.size() << " jobs:\n" << shown;
}

// ----- What particular fonts must send -----

// What a printer would read of a refused font: nothing. Each refusal names its reason.
TEST(HostileFont, RefusedFontsSendNothingAndSayWhy) {
  const struct {
    const char* file;
    const char* reason;
  } cases[] = {
      {"numtables-past-end.ttf", "directory.numTables: records run past the data (value 65535)"},
      {"glyf-length-wraps.ttf", "glyf.offset: table runs past the data"},
      {"head-short.ttf", "head.length: is too short for the fields read (value 40)"},
      {"loca-short-table.ttf", "loca.length: is too short for the fields read (value 2)"},
      {"cmap-records-past-table.ttf", "cmap.encodingRecords: run past the table"},
  };
  for (const auto& c : cases) {
    test::FontDataEngine engine(test::FindHostileFont(c.file).bytes);
    test::ScopedFontEngine installed(engine);
    const std::string out = TempPath("refused.pxl");
    TEXTINFOW text = Text(kHostileText, 120);
    PAGEINFOW page = FilePage("Hostile", out, kFontId);
    page.bTTE = 0;
    EXPECT_EQ(FNDLFontDownloadW(&text, &page), FNDL_RESULT_FAILED) << c.file;
    EXPECT_TRUE(ReadFileBytes(out).empty()) << c.file;
    const DownloadFindings findings = LastDownloadFindings();
    ASSERT_FALSE(findings.font.ok()) << c.file;
    char line[200];
    sfnt::FormatFinding(findings.font.kept()[0], line, sizeof line);
    EXPECT_EQ(std::string(line).rfind(c.reason, 0), 0u) << line;
  }
}

// A glyph that is not whole, or that draws with one that is not, never reaches the printer: the
// character takes the missing-glyph path instead.
TEST(HostileFont, CompositesWithABrokenComponentAreNotSent) {
  for (const char* file : {"composite-runs-off.ttf", "composite-self.ttf", "composite-fan-out.ttf",
                           "composite-missing-component.ttf"}) {
    FileModeJob job(test::FindHostileFont(file).bytes);
    TEXTINFOW text = Text(kHostileText, 120);
    EXPECT_EQ(job.Run(text), FNDL_RESULT_NO_GLYPH) << file;
    const std::vector<CharRecord> records = CharRecords(job.Job());
    EXPECT_EQ(CountComponents(records), 0u) << file;
    EXPECT_EQ(records.size(), 2u) << file << ": A and B only";
  }
}

TEST(HostileFont, GlyphIndexArrayEndingInsideARangeStopsAtTheFirstCodePastIt) {
  FileModeJob job(test::FindHostileFont("idrangeoffset-partly-past.ttf").bytes);
  TEXTINFOW text = Text(kHostileText, 120);
  ASSERT_EQ(job.Run(text), FNDL_RESULT_NO_GLYPH);
  EXPECT_EQ(text.nOffsetToText, 1);
  const std::vector<CharRecord> records = CharRecords(job.Job());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].code, u'A');
  EXPECT_EQ(records[0].glyph, 1);
}

TEST(HostileFont, DirectoryOver64KiBGoesOutInPiecesThatEachMatchTheirLength) {
  FileModeJob job(test::FindHostileFont("directory-over-64k.ttf").bytes);
  TEXTINFOW text = Text(kHostileText, 120);
  ASSERT_EQ(job.Run(text), FNDL_RESULT_OK);
  const std::vector<uint8_t> bytes = job.Job();
  EXPECT_EQ(StreamProblem(bytes), "");
  EXPECT_EQ(PrinterFindings(bytes), "");
  size_t fullPieces = 0;
  for (const WireOp& o : ReadOps(bytes)) {
    fullPieces += o.tag == Operator::ReadFontHeader && o.data.size() == 32768;
  }
  // 28 + 16 x 4101 bytes: two pieces of 32768 and the rest.
  EXPECT_EQ(fullPieces, 2u);
}

TEST(HostileFont, GlyphOfTheLargestRecordIsSentAndOneByteMoreIsNot) {
  test::GlyfBuilder glyf(test::LocaFormat::kShort);
  glyf.AddEmpty();
  std::vector<uint8_t> largest = test::SimpleGlyph({{{0, 0}, {500, 0}, {250, 700}}});
  largest.resize(65529 - 1, 0);  // padded to 2 by the builder's short "loca": 65528
  glyf.AddGlyph(largest);
  test::CmapBuilder cmap;
  cmap.AddFormat4(3, 1,
                  {{u'A', u'A', static_cast<uint16_t>(1 - u'A'), {}, std::nullopt},
                   test::CmapSegment::Final()});
  FileModeJob job(test::BasicFont(glyf, cmap).Build());
  TEXTINFOW text = Text(u"A", 120);
  ASSERT_EQ(job.Run(text), FNDL_RESULT_OK);
  const std::vector<CharRecord> records = CharRecords(job.Job());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].glyphBytes.size(), 65528u);

  FileModeJob over(test::FindHostileFont("glyph-over-record-limit.ttf").bytes);
  TEXTINFOW run = Text(u"A", 120);
  EXPECT_EQ(over.Run(run), FNDL_RESULT_NO_GLYPH);
  EXPECT_TRUE(CharRecords(over.Job()).empty());
}

TEST(HostileFont, EmptyFileFailsAndTheFileErrorNeverClears) {
  FileModeJob empty(test::FindHostileFont("empty.ttf").bytes);
  TEXTINFOW text = Text(kHostileText, 120);
  ASSERT_EQ(empty.Run(text), FNDL_RESULT_FAILED);
  EXPECT_TRUE(empty.Job().empty());

  // A good font in the same process is still downloaded and its run printed, but the answer
  // stays 3.
  FileModeJob intact(test::IntactFont());
  TEXTINFOW run = Text(kHostileText, 120);
  EXPECT_EQ(intact.Run(run), FNDL_RESULT_FAILED);
  EXPECT_EQ(CharRecords(intact.Job()).size(), 5u);
  intact.Remove();
  EXPECT_EQ(StreamProblem(intact.Job()), "");
  EXPECT_EQ(PrinterFindings(intact.Job()), "");
}

TEST(HostileFont, CollectionFailsInFileModeButLoadsThroughTheFontEngine) {
  const std::vector<uint8_t> collection = test::FindHostileFont("ttcf-header.ttf").bytes;
  FileModeJob job(collection);
  TEXTINFOW text = Text(kHostileText, 120);
  EXPECT_EQ(job.Run(text), FNDL_RESULT_FAILED);

  // The platform's engine takes face 0 of a collection file named as the face.
  test::TempFile file(collection);
  TEXTINFOW run = Text(kHostileText, 120);
  const uint32_t id = job.id() + 1000;
  PAGEINFOW page = FilePage(file.path(), job.out(), id);
  page.bTTE = 0;
  EXPECT_EQ(job.lib().FontDownloadW(&run, &page), FNDL_RESULT_OK);
  job.lib().RemoveFontW(&id);
  job.Remove();
  EXPECT_EQ(StreamProblem(job.Job()), "");
  EXPECT_EQ(PrinterFindings(job.Job()), "");
}

}  // namespace
}  // namespace tavrfndl::testing
