// Long jobs: thousands of runs over several fonts, in both modes, with removals, re-downloads
// and fonts that fail. Whatever a job did, once its fonts are removed the process holds what it
// held before the job: heap, file descriptors and mappings. Leaks proper are LeakSanitizer's
// (the sanitize preset) and valgrind's (below) to find; this test catches growth that is still
// reachable, such as a cache that is never emptied.
#include <fontconfig/fontconfig.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "hostile/hostile_fonts.h"
#include "hostile/stream_checks.h"
#include "support/driver.h"
#include "support/fontbuilder.h"
#include "support/xl_ops.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TAVRFNDL_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define TAVRFNDL_SANITIZED 1
#endif
#endif
#ifdef TAVRFNDL_SANITIZED
// The sanitizer runtimes' allocator statistics (declared here: gcc installs no header for them).
extern "C" size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace tavrfndl::testing {
namespace {

// Bytes of heap in use. The sanitizers replace malloc, and glibc's statistics then see none of
// it: their own count is used instead.
size_t HeapInUse() {
#ifdef TAVRFNDL_SANITIZED
  return __sanitizer_get_current_allocated_bytes();
#else
  return mallinfo2().uordblks;
#endif
}

size_t CountEntries(const char* dir) {
  size_t n = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir)) {
    (void)entry;
    ++n;
  }
  return n;
}

// Mappings of files: a font file mapped and never unmapped shows here. Anonymous mappings are
// left out, since the sanitizers' allocators map and unmap memory as they go.
size_t CountFileMappings() {
  std::ifstream in("/proc/self/maps");
  size_t n = 0;
  for (std::string line; std::getline(in, line);) n += line.find(" /") != std::string::npos;
  return n;
}

struct ProcessUsage {
  size_t heap = 0;
  size_t descriptors = 0;
  size_t mappings = 0;
};

ProcessUsage Usage() {
  ProcessUsage u;
  u.descriptors = CountEntries("/proc/self/fd");
  u.mappings = CountFileMappings();
  u.heap = HeapInUse();
  return u;
}

// The fonts of a job: good ones in both modes, and hostile ones that fail in each way a font
// can (header sent and the font marked failed, nothing sent, a glyph missing). With face names,
// engine-mode fonts are also looked up by name through fontconfig.
class Job {
 public:
  Job(const Library& lib, bool faceNames) : lib_(lib) {
    if (faceNames) {
      fonts_.push_back({"DejaVu Sans", 0});
      fonts_.push_back({"Liberation Serif", 0});
    }
  }

  // runs calls, removing every font after each `cycle` of them; the job file is emptied at each
  // removal so that a long job does not fill the disk.
  void Run(int runs, int cycle) {
    for (int i = 0; i < runs; ++i) {
      RunOne(i);
      if ((i + 1) % cycle == 0) RemoveAll();
    }
    RemoveAll();
  }

  // A font that stays on the printer until Release, so that the library's font list, and with
  // it the font engine's caches, are never released in between.
  void Hold() {
    TEXTINFOW text = Text(u"ABC", 120);
    PAGEINFOW page = FilePage(intact_.path(), out_, kHeldId);
    EXPECT_EQ(lib_.FontDownloadW(&text, &page), FNDL_RESULT_OK);
  }
  // Its header went out with the first cycle, which is no longer in the job file.
  void Release() { lib_.RemoveFontW(&kHeldId); }

  int results[4] = {};

 private:
  struct Font {
    std::string path;
    int32_t bTTE;
  };
  static constexpr uint32_t kHeldId = 9999;

  void RunOne(int i) {
    const Font& font = fonts_[static_cast<size_t>(i) % fonts_.size()];
    // The font number depends on the font, and on the cycle for half of them: fonts come back
    // under the number they had and under new ones.
    const uint32_t id =
        static_cast<uint32_t>(i % static_cast<int>(fonts_.size())) + ((i / 7) % 2 ? 0 : 100);
    TEXTINFOW text = Text(kTexts[static_cast<size_t>(i) % std::size(kTexts)], 100 + 20 * (i % 5));
    text.bUnderline = i % 3 == 0;
    text.bItalic = i % 4 == 0;
    PAGEINFOW page = FilePage(font.path, out_, id);
    page.bTTE = font.bTTE;
    for (int call = 0; call < 8; ++call) {
      page.nNextX = 0;
      const int32_t r = lib_.FontDownloadW(&text, &page);
      ASSERT_GE(r, FNDL_RESULT_OK);
      ASSERT_LE(r, FNDL_RESULT_FAILED);
      ++results[r];
      if (r == FNDL_RESULT_PAGE_FULL) {
        lib_.SetCursorTo(300, 400);  // the next page
        text.bPageFull = 0;
        continue;
      }
      if (r != FNDL_RESULT_NO_GLYPH) break;
      // Go on behind the missing character, as a driver does.
      text.nOffsetToText += 1;
      if (text.chText[text.nOffsetToText] == 0) break;
    }
    ids_.push_back(id);
  }

  void RemoveAll() {
    for (uint32_t id : ids_) lib_.RemoveFontW(&id);
    ids_.clear();
    EXPECT_EQ(StreamProblem(ReadFileBytes(out_)), "");
    std::filesystem::resize_file(out_, 0);
  }

  static constexpr const char16_t* kTexts[] = {
      u"Hamburg",
      u"Z\u00FCrich \u00C4\u00D6\u00DC",
      u"ABC abc",
      u"",
      u"The quick brown fox jumps over the lazy dog, again and again, until the line breaks",
      u"A\u4E2DB"};

  const Library& lib_;
  std::string out_ = TempPath("job.pxl");
  test::TempFile intact_{test::IntactFont()};
  test::TempFile failsAfterHeader_{test::FindHostileFont("cmap-offset-past-end.ttf").bytes};
  test::TempFile sendsNothing_{test::FindHostileFont("tiny.ttf").bytes};
  test::TempFile missingGlyph_{test::FindHostileFont("loca-past-glyf.ttf").bytes};
  std::vector<Font> fonts_ = {{kDejaVuSans, 1},          {intact_.path(), 1},
                              {kDejaVuSans, 0},          {failsAfterHeader_.path(), 1},
                              {intact_.path(), 0},       {sendsNothing_.path(), 1},
                              {missingGlyph_.path(), 1}, {failsAfterHeader_.path(), 0}};
  std::vector<uint32_t> ids_;
};

void CheckUsage(const Job& job, const ProcessUsage& before, const ProcessUsage& after, int runs) {
  EXPECT_GT(job.results[FNDL_RESULT_OK], 0);
  EXPECT_GT(job.results[FNDL_RESULT_NO_GLYPH], 0);
  EXPECT_GT(job.results[FNDL_RESULT_PAGE_FULL], 0);
  EXPECT_GT(job.results[FNDL_RESULT_FAILED], 0);
  EXPECT_EQ(after.descriptors, before.descriptors);
  EXPECT_EQ(after.mappings, before.mappings);
  // A few KiB of slack for allocator bookkeeping; a leak of one font entry alone is 270 KiB,
  // one per run of a header or a glyph record at least tens of bytes times thousands of runs.
  constexpr size_t kTolerance = 16 * 1024;
  EXPECT_LE(after.heap, before.heap + kTolerance)
      << "heap grew from " << before.heap << " to " << after.heap << " bytes over " << runs
      << " runs";
}

// Every cycle ends with no font left, so the library releases everything it holds each time;
// names are matched again after each release, on the configuration fontconfig keeps for the
// process (its first load is part of what the first cycles fill).
void CheckUsageAfterJob(int runs) {
  Library lib = Library::Load();
  lib.SetCursorTo(300, 400);
  Job job(lib, true);
  // The first cycles fill what the process keeps for good (the C++ runtime's and the loader's
  // own, FreeType's, fontconfig's), and set every state a job can set.
  job.Run(200, 50);
  const ProcessUsage before = Usage();
  job.Run(runs, 50);
  CheckUsage(job, before, Usage(), runs);
}

TEST(LongJob, ThousandsOfRunsLeaveTheProcessAsTheyFoundIt) {
  CheckUsageAfterJob(3000);
}

// Face names through fontconfig too, with one font held for the whole job: fonts are removed
// and downloaded again thousands of times while the font engine's caches stay, and they must
// not grow with the job.
TEST(LongJob, ThousandsOfRunsByFaceNameDoNotGrowTheCaches) {
  Library lib = Library::Load();
  lib.SetCursorTo(300, 400);
  Job job(lib, true);
  job.Hold();
  job.Run(200, 50);
  const ProcessUsage before = Usage();
  job.Run(3000, 50);
  CheckUsage(job, before, Usage(), 3000);
  job.Release();
}

// A short job with face names, for valgrind, which checks the leaks (the process usage it
// changes with its own mappings); run on its own under valgrind by the test below.
TEST(LongJob, SmallJobForValgrind) {
  if (std::getenv("TAVRFNDL_UNDER_VALGRIND") == nullptr) {
    GTEST_SKIP() << "run by LongJob.NoLeaksUnderValgrind";
  }
  Library lib = Library::Load();
  lib.SetCursorTo(300, 6000);  // near the bottom: pages fill within a short job
  Job job(lib, true);
  job.Run(100, 30);
  for (int result : job.results) EXPECT_GT(result, 0);
  // fontconfig's configuration is the process's, kept for its next caller; the program lets it
  // go at the end, which frees it only if the library holds no reference to it any more.
  FcFini();
}

TEST(LongJob, NoLeaksUnderValgrind) {
#ifdef TAVRFNDL_SANITIZED
  GTEST_SKIP() << "valgrind cannot run a sanitized program";
#else
  if (std::system("valgrind --version > /dev/null 2>&1") != 0) GTEST_SKIP() << "no valgrind";
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  const std::string log = TempPath("valgrind.log");
  // fontconfig keeps its configuration in blocks only it can reach: "possibly lost" is not
  // counted, definite and indirect losses are.
  const std::string command =
      "TAVRFNDL_UNDER_VALGRIND=1 valgrind --error-exitcode=99 --leak-check=full "
      "--errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect "
      "--log-file=" +
      log + " " + self + " --gtest_filter=LongJob.SmallJobForValgrind > " + log + ".out 2>&1";
  const int status = std::system(command.c_str());
  std::ifstream in(log);
  const std::string report{std::istreambuf_iterator<char>(in), {}};
  ASSERT_TRUE(WIFEXITED(status)) << report;
  EXPECT_EQ(WEXITSTATUS(status), 0) << report;
#endif
}

}  // namespace
}  // namespace tavrfndl::testing
