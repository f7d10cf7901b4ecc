#include "render_command.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
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

int RunRender(const std::string& path, const std::string& output, double dpi) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadWholeFile(path, bytes, error)) {
    std::fprintf(stderr, "fndl render: %s\n", error.c_str());
    return 1;
  }
  size_t pageCount = CountPages(bytes.data(), bytes.size());
  std::string writeError;
  size_t written = 0;
  auto sink = [&](const RenderedPage& page) {
    std::string name = PageFileName(output, page.number, pageCount);
    if (!WriteGrayPng(name, page.image, writeError)) return false;
    ++written;
    std::printf("page %zu: %s (%u x %u pixels%s)\n", page.number, name.c_str(), page.image.width,
                page.image.height, page.incomplete ? ", incomplete" : "");
    return true;
  };
  RenderReport report;
  bool ok = RenderStream(bytes.data(), bytes.size(), dpi, sink, report);
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
  if (report.pages == 0 && ok) {
    std::fprintf(stderr, "fndl render: the stream has no pages\n");
    return 1;
  }
  return ok && report.problems.empty() ? 0 : 1;
}

}  // namespace fndl
