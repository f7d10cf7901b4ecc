#include "scenario.h"

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

namespace tavrfndl::bench {
namespace {

constexpr uint32_t kStandingFontId = 0x0FFFFFFF;

class TempFolder {
 public:
  TempFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("tavrfndl-bench-" + std::to_string(getpid()))) {
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

const TempFolder& Folder() {
  static TempFolder folder;
  return folder;
}

template <size_t N>
void PutUtf16(FNDL_WCHAR (&field)[N], const std::u16string& s) {
  size_t i = 0;
  for (; i < s.size() && i + 1 < N; ++i) field[i] = s[i];
  field[i] = 0;
}

template <size_t N>
void PutAscii(FNDL_WCHAR (&field)[N], const std::string& s) {
  size_t i = 0;
  for (; i < s.size() && i + 1 < N; ++i) field[i] = static_cast<unsigned char>(s[i]);
  field[i] = 0;
}

}  // namespace

std::string TempPath(const std::string& name) {
  return (Folder().path() / name).string();
}

void RemoveFile(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

size_t FileSize(const std::string& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  return error ? 0 : static_cast<size_t>(size);
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

bool FileExists(const std::string& path) {
  std::error_code ignored;
  return std::filesystem::is_regular_file(path, ignored);
}

PAGEINFOW MakePage(const std::string& font, const std::string& outFile, uint32_t fontId,
                   uint32_t resolution, uint32_t lineSpacing, int32_t bTTE) {
  PAGEINFOW page;
  std::memset(&page, 0, sizeof page);
  PutAscii(page.chFont, font);
  PutAscii(page.chOutFile, outFile);
  page.nFontId = fontId;
  page.nResolution = resolution;
  page.nLineSpacing = lineSpacing;
  page.lfWeight = 400;
  page.bTTE = bTTE;
  return page;
}

TEXTINFOW MakeText(const std::u16string& text, int32_t fontHeight) {
  TEXTINFOW t;
  std::memset(&t, 0, sizeof t);
  PutUtf16(t.chText, text);
  t.FontHeight = fontHeight;
  return t;
}

const std::string& StandingListPath() {
  static const std::string path = TempPath("list.pxl");
  return path;
}

std::string EnsureStandingFont() {
  static const std::string error = [] {
    if (!FileExists(kDejaVuSans)) return std::string("missing ") + kDejaVuSans;
    PAGEINFOW page = MakePage(kDejaVuSans, StandingListPath(), kStandingFontId, 72, 50, 1);
    TEXTINFOW text = MakeText(u"x", 400);
    const int32_t x = 0, y = 1000;
    FNDLSetCursor(&x, &y);
    if (FNDLFontDownloadW(&text, &page) != FNDL_RESULT_OK) {
      return std::string("the standing font could not be downloaded");
    }
    return std::string();
  }();
  return error;
}

namespace {

double Median(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<long>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

}  // namespace

double Paired::MedianMeasured() const {
  return Median(measured_);
}

double Paired::MedianBaseline() const {
  return Median(baseline_);
}

double Paired::MedianRatio() const {
  std::vector<double> ratios;
  ratios.reserve(measured_.size());
  for (size_t i = 0; i < measured_.size(); ++i) {
    if (baseline_[i] > 0) ratios.push_back(measured_[i] / baseline_[i]);
  }
  return Median(std::move(ratios));
}

void Paired::Report(benchmark::State& state, const char* baselineName, double goal) const {
  if (measured_.empty()) return;
  state.counters["us"] = benchmark::Counter(MedianMeasured() * 1e6);
  state.counters[std::string(baselineName) + "_us"] = benchmark::Counter(MedianBaseline() * 1e6);
  state.counters["ratio"] = benchmark::Counter(MedianRatio());
  state.counters["goal"] = benchmark::Counter(goal);
}

}  // namespace tavrfndl::bench
