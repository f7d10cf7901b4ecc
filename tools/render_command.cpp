#include "render_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "file_io.h"
#include "page_render.h"

namespace fndl {

bool ParseDpi(const std::string& text, double& dpi) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || !end || *end != '\0' || !(value >= 10 && value <= 2400)) return false;
  dpi = value;
  return true;
}

bool ParsePageRanges(const std::string& text, PageRanges& ranges) {
  ranges.clear();
  size_t at = 0;
  while (at <= text.size()) {
    size_t comma = text.find(',', at);
    std::string part = text.substr(at, comma == std::string::npos ? std::string::npos : comma - at);
    size_t first = 0, last = 0;
    char dash = 0, extra = 0;
    int fields = std::sscanf(part.c_str(), "%zu%c%zu%c", &first, &dash, &last, &extra);
    bool openEnd = fields == 2 && part == std::to_string(first) + "-";
    if (fields == 1 && part.find_first_not_of("0123456789") == std::string::npos) {
      last = first;
    } else if (openEnd) {
      last = SIZE_MAX;
    } else if (fields != 3 || dash != '-' || part.find_first_not_of("0123456789-") != part.npos ||
               part.find("--") != part.npos) {
      return false;
    }
    if (first == 0 || last < first) return false;
    ranges.emplace_back(first, last);
    if (comma == std::string::npos) break;
    at = comma + 1;
  }
  return !ranges.empty();
}

namespace {

bool Wanted(const PageRanges& ranges, size_t page) {
  if (ranges.empty()) return true;
  for (const auto& [first, last] : ranges) {
    if (page >= first && page <= last) return true;
  }
  return false;
}

// The pages go into an existing directory the tool may write, and only over regular files:
// never onto a device, a pipe or through a link.
bool CheckOutputPlace(const std::string& output, std::string& error) {
  size_t slash = output.rfind('/');
  std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : output.substr(0, slash);
  struct stat info;
  if (stat(dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    error = "cannot write " + output + ": " + dir + " is not a directory";
    return false;
  }
  if (access(dir.c_str(), W_OK | X_OK) != 0) {
    error = "cannot write " + output + ": " + dir + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

// Every page asked for exists.
bool PagesExist(const RenderOptions& options, size_t pageCount) {
  for (const auto& [first, last] : options.pages) {
    if (first > pageCount) {
      std::fprintf(stderr, "fndl render: %s has %zu page%s; there is no page %zu\n",
                   options.input.c_str(), pageCount, pageCount == 1 ? "" : "s", first);
      return false;
    }
  }
  return true;
}

// What was drawn and left out on standard output; problems and errors on standard error.
void Report(const RenderReport& report, const std::string& writeError, size_t written) {
  std::printf("drew %zu glyphs in %zu Text operators and %zu rectangles\n", report.glyphsDrawn,
              report.textOperators, report.rectanglesPainted);
  for (const auto& [what, count] : report.notDrawn) {
    std::printf("not drawn: %s (%zu)\n", what.c_str(), count);
  }
  for (const auto& [what, count] : report.approximations) {
    std::printf("approximated: %s (%zu)\n", what.c_str(), count);
  }
  std::fflush(stdout);
  for (const std::string& problem : report.problems) {
    std::fprintf(stderr, "fndl render: %s\n", problem.c_str());
  }
  if (!writeError.empty()) std::fprintf(stderr, "fndl render: %s\n", writeError.c_str());
  if (report.streamError) {
    std::fprintf(stderr, "fndl render: the stream is broken at %s; %zu page%s written\n",
                 report.error.c_str(), written, written == 1 ? "" : "s");
  } else if (!report.error.empty()) {
    std::fprintf(stderr, "fndl render: %s\n", report.error.c_str());
  }
}

}  // namespace

int RunRender(const RenderOptions& options) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadWholeFile(options.input, bytes, error) || !CheckOutputPlace(options.output, error)) {
    std::fprintf(stderr, "fndl render: %s\n", error.c_str());
    return 1;
  }
  size_t pageCount = CountPages(bytes.data(), bytes.size());
  if (!PagesExist(options, pageCount)) return 1;
  std::string writeError;
  size_t written = 0;
  auto sink = [&](const RenderedPage& page) {
    if (!Wanted(options.pages, page.number)) return true;
    std::string name = PageFileName(options.output, page.number, pageCount);
    if (!WriteGrayPng(name, page.image, writeError)) return false;
    ++written;
    std::printf("page %zu: %s (%u x %u pixels%s)\n", page.number, name.c_str(), page.image.width,
                page.image.height, page.incomplete ? ", incomplete" : "");
    return true;
  };
  RenderReport report;
  bool ok = RenderStream(bytes.data(), bytes.size(), options.dpi, sink, report);
  Report(report, writeError, written);
  if (report.pages == 0 && ok) {
    std::fprintf(stderr, "fndl render: the stream has no pages\n");
    return 1;
  }
  return ok && report.problems.empty() ? 0 : 1;
}

}  // namespace fndl
