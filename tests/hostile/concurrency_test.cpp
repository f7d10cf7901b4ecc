// Every export called from several threads at once. The library serializes its calls with one
// lock, so each call's output lands whole: however the threads interleave, the job file they
// share is a self-consistent stream. Under the tsan preset ThreadSanitizer checks that nothing
// is touched outside the lock.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "hostile/hostile_fonts.h"
#include "hostile/stream_checks.h"
#include "support/driver.h"
#include "support/fontbuilder.h"
#include "support/xl_ops.h"

namespace tavrfndl::testing {
namespace {

constexpr int kThreads = 6;
constexpr int kCallsPerThread = 150;
constexpr uint32_t kFontIds = 5;

PAGEINFOA AnsiPage(const std::string& font, const std::string& out, uint32_t id, int32_t bTTE) {
  PAGEINFOA page;
  std::memset(&page, 0, sizeof page);
  std::strncpy(page.chFont, font.c_str(), sizeof page.chFont - 1);
  std::strncpy(page.chOutFile, out.c_str(), sizeof page.chOutFile - 1);
  page.nFontId = id;
  page.nResolution = 600;
  page.nLineSpacing = 100;
  page.lfWeight = 400;
  page.bTTE = bTTE;
  return page;
}

// Call number i of thread t: a download (wide, ANSI, by face name), the cursor or a removal.
// A cursor that reads back as no value a call set counts as bad.
int32_t OneCall(const Library& lib, int t, int i, const std::string& font, const std::string& out,
                std::atomic<int>& bad) {
  const uint32_t id = static_cast<uint32_t>(t + i) % kFontIds;
  int32_t r = FNDL_RESULT_OK;
  switch ((t + 3 * i) % 7) {
    case 0:
    case 1: {
      TEXTINFOW text = Text(u"Hamburg \u00C4BC", 120);
      PAGEINFOW page = FilePage(font, out, id);
      r = lib.FontDownloadW(&text, &page);
      break;
    }
    case 2: {
      TEXTINFOA text;
      std::memset(&text, 0, sizeof text);
      std::strcpy(text.chText, "ABC abc");
      text.FontHeight = 100;
      text.bUnderline = 1;
      PAGEINFOA page = AnsiPage(font, out, id, 1);
      r = lib.FontDownloadA(&text, &page);
      break;
    }
    case 3: {
      // Engine mode by face name.
      TEXTINFOW text = Text(u"Zürich", 100);
      PAGEINFOW page = FilePage("DejaVu Sans", out, id + 10);
      page.bTTE = 0;
      r = lib.FontDownloadW(&text, &page);
      break;
    }
    case 4: {
      const int32_t y = 400 + i;
      lib.SetCursorTo(300, y);
      // Another thread may move the cursor in between: only a value some call set can come
      // back.
      if (lib.GetCursor() < 0) ++bad;
      break;
    }
    case 5: {
      const uint32_t engineId = id + 10;
      lib.RemoveFontW(&id);
      lib.RemoveFontA(&engineId);
      break;
    }
    default:
      lib.RemoveFontA(&id);
      break;
  }
  return r;
}

TEST(Concurrency, EveryExportFromSeveralThreadsAtOnce) {
  const Library lib = Library::Load();
  const std::string out = TempPath("job.pxl");
  test::TempFile intact(test::IntactFont());
  test::TempFile hostile(test::FindHostileFont("cmap-offset-past-end.ttf").bytes);
  const std::string fonts[] = {kDejaVuSans, intact.path(), hostile.path()};
  std::atomic<int> bad{0};
  std::atomic<int> calls{0};

  auto worker = [&](int t) {
    for (int i = 0; i < kCallsPerThread; ++i) {
      const std::string& font = fonts[static_cast<size_t>(t + i) % std::size(fonts)];
      const int32_t r = OneCall(lib, t, i, font, out, bad);
      if (r < FNDL_RESULT_OK || r > FNDL_RESULT_FAILED) ++bad;
      if (r == FNDL_RESULT_PAGE_FULL) lib.SetCursorTo(300, 400);
      ++calls;
    }
  };
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) threads.emplace_back(worker, t);
  for (std::thread& thread : threads) thread.join();

  for (uint32_t id = 0; id < kFontIds + 10; ++id) lib.RemoveFontW(&id);
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(calls.load(), kThreads * kCallsPerThread);
  const std::vector<uint8_t> job = ReadFileBytes(out);
  EXPECT_FALSE(job.empty());
  EXPECT_EQ(StreamProblem(job), "");
  // Every font that went out was removed at the end or on the way.
  size_t headers = 0;
  size_t removals = 0;
  for (const WireOp& o : ReadOps(job)) {
    headers += o.tag == Operator::BeginFontHeader;
    removals += o.tag == Operator::RemoveFont;
  }
  EXPECT_GT(headers, 0u);
  EXPECT_EQ(removals, headers);
}

// The cursor calls are quick: threads that do nothing else meet inside them far more often than
// inside the downloads, which ThreadSanitizer needs to see an access made outside the lock.
TEST(Concurrency, CursorCallsWhileRunsMoveTheCursor) {
  const Library lib = Library::Load();
  const std::string out = TempPath("job.pxl");
  test::TempFile intact(test::IntactFont());
  std::atomic<bool> done{false};
  std::atomic<int> bad{0};

  std::vector<std::thread> threads;
  for (int t = 0; t < 2; ++t) {
    threads.emplace_back([&, t] {
      // Long lines at a large size: every run breaks lines and moves the cursor down.
      for (int i = 0; i < 40; ++i) {
        TEXTINFOW text = Text(std::u16string(200, u'A'), 480);
        PAGEINFOW page = FilePage(intact.path(), out, static_cast<uint32_t>(t));
        const int32_t r = lib.FontDownloadW(&text, &page);
        if (r != FNDL_RESULT_OK && r != FNDL_RESULT_PAGE_FULL) ++bad;
      }
    });
  }
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&, t] {
      for (int i = 0; !done.load(); ++i) {
        int32_t x = 300;
        int32_t y = 400 + (i % 64) * 10;
        if (t % 2) {
          if (lib.SetCursor(&x, &y) < 400) ++bad;
        } else if (lib.GetCursor() < 0) {
          ++bad;
        }
      }
    });
  }
  threads[0].join();
  threads[1].join();
  done = true;
  for (size_t i = 2; i < threads.size(); ++i) threads[i].join();
  for (uint32_t id = 0; id < 2; ++id) lib.RemoveFontW(&id);
  EXPECT_EQ(bad.load(), 0);
  EXPECT_EQ(StreamProblem(ReadFileBytes(out)), "");
}

}  // namespace
}  // namespace tavrfndl::testing
