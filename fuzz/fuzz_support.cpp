#include "fuzz_support.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "hostile/file_size_cap.h"
#include "hostile/stream_checks.h"

namespace tavrfndl::fuzz {
namespace {

void RemoveScratch() {
  std::error_code ec;
  std::filesystem::remove_all(ScratchDir(), ec);
}

}  // namespace

const std::string& ScratchDir() {
  // Never destroyed: the exit handler that removes the folder runs after static destructors of
  // objects made before it was registered.
  static const std::string* const dir = [] {
    std::error_code ec;
    std::filesystem::path base = std::filesystem::temp_directory_path(ec);
    if (ec) base = "/tmp";
    auto* pattern = new std::string((base / "tavrfndl-fuzz-XXXXXX").string());
    if (mkdtemp(pattern->data()) == nullptr) Violation("cannot make a scratch folder");
    std::atexit(RemoveScratch);
    return pattern;
  }();
  return *dir;
}

std::string ScratchPath(const std::string& name) {
  return ScratchDir() + "/" + name;
}

void WriteNewFile(const std::string& path, const uint8_t* data, size_t size) {
  unlink(path.c_str());
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) Violation("cannot create " + path);
  size_t done = 0;
  while (done < size) {
    const ssize_t n = write(fd, data + done, size - done);
    if (n <= 0) Violation("cannot write " + path);
    done += static_cast<size_t>(n);
  }
  close(fd);
}

void WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  WriteNewFile(path, bytes.data(), bytes.size());
}

std::vector<uint8_t> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

size_t FileSize(const std::string& path) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(path, ec);
  return ec ? 0 : static_cast<size_t>(size);
}

void Violation(const std::string& what) {
  std::fprintf(stderr, "tavrfndl fuzz: %s\n", what.c_str());
  std::fflush(stderr);
  std::abort();
}

void CheckStream(const std::vector<uint8_t>& stream, const char* context) {
  const std::string problem = testing::StreamProblem(stream);
  if (!problem.empty()) Violation(std::string(context) + ": " + problem);
}

void CheckResult(int32_t result, const char* context) {
  if (result < FNDL_RESULT_OK || result > FNDL_RESULT_FAILED) {
    Violation(std::string(context) + ": result " + std::to_string(result));
  }
}

void LimitOutput() {
  testing::CapFileSizes(rlim_t{256} << 20);
}

void CheckJobBounded(const char* context) {
  constexpr size_t kMaxJobBytes = size_t{64} << 20;
  const size_t size = FileSize(JobPath());
  if (size > kMaxJobBytes) {
    Violation(std::string(context) + ": the job grew to " + std::to_string(size) + " bytes");
  }
}

const std::string& JobPath() {
  static const std::string path = ScratchPath("job.pxl");
  return path;
}

void ReleaseLibrary(const std::vector<uint32_t>& fontIds) {
  for (uint32_t id : fontIds) FNDLRemoveFontW(&id);
  // Sixteen zero bytes: mapped and given a header (no tables), never completed (no "cmap"), so
  // the entry stays until it is removed, and the file error is not set.
  static const std::string placeholder = [] {
    const std::string path = ScratchPath("placeholder.ttf");
    const uint8_t zeros[16] = {};
    WriteNewFile(path, zeros, sizeof zeros);
    return path;
  }();
  constexpr uint32_t kPlaceholderId = 0x7A4C0DE5;
  TEXTINFOW text{};
  text.FontHeight = 100;
  PAGEINFOW page{};
  PutField(page.chFont, placeholder);
  PutField(page.chOutFile, JobPath());
  page.nFontId = kPlaceholderId;
  page.nResolution = 600;
  page.bTTE = 1;
  CheckResult(FNDLFontDownloadW(&text, &page), "placeholder download");
  FNDLRemoveFontW(&kPlaceholderId);
}

}  // namespace tavrfndl::fuzz
