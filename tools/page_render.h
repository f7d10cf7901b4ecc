// A preview of PCL XL pages: enough of the imaging model to show what a job built with the
// library puts on paper. Text in downloaded TrueType soft fonts (rebuilt with font_rebuild and
// drawn by FreeType at the cursor with the stream's advances, character size, scale, shear and
// bold), filled rectangles, the clip rectangle and the brush's gray level. Everything else is
// counted as not drawn, so that a preview never hides that it left something out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "png_io.h"

namespace fndl {

struct RenderReport {
  size_t pages = 0;
  size_t textOperators = 0;
  size_t glyphsDrawn = 0;
  size_t rectanglesPainted = 0;
  std::map<std::string, size_t> notDrawn;        // operator or feature -> count
  std::map<std::string, size_t> approximations;  // drawn, but only roughly
  std::vector<std::string> problems;             // fonts refused, text without a font, ...
  bool streamError = false;
  std::string error;  // the stream error, with its offset
};

struct RenderedPage {
  size_t number = 0;  // from 1
  GrayImage image;
  bool incomplete = false;  // the stream broke or ended inside the page
};

// Longest page side and most pixels the preview makes; a page beyond them is reported, not drawn.
inline constexpr uint32_t kMaxPageSide = 30000;
inline constexpr uint64_t kMaxPagePixels = 200000000;

// Renders every page of the stream at dpi, handing each finished page to sink (which returns
// false to stop, e.g. when a file cannot be written). Returns false when the stream is broken or
// the sink stopped; the report says which. Pages of more than maxPagePixels are reported, not
// drawn: a fuzzer keeps it low, since a stream chooses its own media size and painting pages of
// hundreds of megapixels white would take most of its time.
bool RenderStream(const uint8_t* data, size_t size, double dpi,
                  const std::function<bool(const RenderedPage&)>& sink, RenderReport& report,
                  uint64_t maxPagePixels = kMaxPagePixels);

// Pages in the stream (BeginPage operators up to the end or the first error).
size_t CountPages(const uint8_t* data, size_t size);

// PAGE.png for a single page; PAGE-1.png, PAGE-2.png ... when there are several.
std::string PageFileName(const std::string& base, size_t number, size_t pageCount);

}  // namespace fndl
