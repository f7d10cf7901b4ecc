// Every TrueType and OpenType file the machine has under /usr/share/fonts (OpenType with CFF
// outlines converted as they are sent), printed in file and engine mode
// with characters it maps: each must download whole in both modes and pass the strict printer
// (support/strict_consumer.h). Each file is listed with its outcome, so that a machine with
// other fonts shows what was tried.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "hostile/stream_checks.h"
#include "support/driver.h"
#include "support/strict_print.h"

namespace tavrfndl::testing {
namespace {

constexpr const char* kFontRoot = "/usr/share/fonts";
constexpr size_t kTextLength = 120;

std::vector<std::string> InstalledTrueTypeFiles() {
  std::vector<std::string> files;
  std::error_code ec;
  const auto options = std::filesystem::directory_options::follow_directory_symlink |
                       std::filesystem::directory_options::skip_permission_denied;
  for (auto it = std::filesystem::recursive_directory_iterator(kFontRoot, options, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    std::string ext = it->path().extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if ((ext == ".ttf" || ext == ".otf") && it->is_regular_file(ec)) {
      files.push_back(it->path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

// What went wrong with one mode, or an empty string.
std::string ModeFailure(const StrictPrint& print, size_t textLength) {
  if (!print.fontSent())
    return "nothing of the font was sent (result " + std::to_string(print.firstResult) + ")";
  if (print.lastResult != FNDL_RESULT_OK || print.noGlyph > 0) {
    return "result " + std::to_string(print.lastResult) + ", " + std::to_string(print.noGlyph) +
           " of " + std::to_string(textLength) + " characters without a glyph";
  }
  const std::string stream = StreamProblem(print.job);
  if (!stream.empty()) return "stream: " + stream;
  return print.report.ok() ? "" : print.report.Summary(3);
}

TEST(InstalledFonts, EveryFontFileDownloadsInBothModesAndPassesTheStrictPrinter) {
  const std::vector<std::string> files = InstalledTrueTypeFiles();
  if (files.empty()) GTEST_SKIP() << "no .ttf or .otf file under " << kFontRoot;
  const Library lib = Library::Load();
  const PrintExports exports{lib.FontDownloadW, lib.RemoveFontW, lib.GetCursor, lib.SetCursor};
  const std::string job = TempPath("job.pxl");
  uint32_t id = 1;
  size_t failed = 0;
  for (const std::string& path : files) {
    const std::u16string text = MappedText(path, kTextLength);
    std::string line = path + ": " + std::to_string(text.size()) + " characters";
    std::string failures;
    for (FontMode mode : {FontMode::kFile, FontMode::kEngine}) {
      const StrictPrint print = PrintStrictly(exports, path, mode, id++, text, job);
      const std::string failure =
          text.empty() ? "FreeType maps no character" : ModeFailure(print, text.size());
      line +=
          std::string(", ") + FontModeName(mode) + " " +
          (failure.empty() ? std::to_string(print.report.glyphRecords) + " records ok" : "FAILED");
      if (!failure.empty()) failures += std::string(FontModeName(mode)) + ": " + failure + "\n";
    }
    std::printf("%s\n%s", line.c_str(), failures.c_str());
    failed += !failures.empty();
    EXPECT_EQ(failures, "") << path;
  }
  std::printf("%zu font files, %zu failed\n", files.size(), failed);
}

}  // namespace
}  // namespace tavrfndl::testing
