// Fuzz target: PCL XL streams, through the library's stream reader and the fndl tool's listing
// and preview.
//
// The input is a whole job as `fndl dump` and `fndl render` read it: the listing is written (to
// nowhere) and the pages are rendered at a low resolution. The same bytes are also read as a
// bare fragment in both byte orders, the way the tool reads what one library call appended; the
// reader promises to end after at most one step per byte, which is checked.
#include <cstdint>
#include <cstdio>
#include <string>

#include "dump_listing.h"
#include "fuzz_support.h"
#include "page_render.h"
#include "pclxl/xlstream_reader.h"

namespace {

// Low enough that a page costs little to paint, high enough that glyphs still get drawn.
constexpr double kDpi = 20.0;
// A fuzzed job chooses its media size; without a lower bound most of the time would go into
// painting pages of up to 200 megapixels white. A million pixels is a page of 50 x 50 inches here.
constexpr uint64_t kMaxPagePixels = 1000000;

void ReadFragment(const uint8_t* data, size_t size, bool bigEndian) {
  tavrfndl::pclxl::XlStreamReader reader =
      tavrfndl::pclxl::XlStreamReader::Fragment(data, size, bigEndian);
  tavrfndl::pclxl::XlOperator op;
  size_t steps = 0;
  while (reader.Next(op) == tavrfndl::pclxl::XlStreamReader::Result::kOperator) {
    if (++steps > size) {
      tavrfndl::fuzz::Violation("the stream reader took more steps than there are bytes");
    }
    if (op.hasData && (op.dataOffset > size || op.dataLength > size - op.dataOffset)) {
      tavrfndl::fuzz::Violation("embedded data reported outside the input");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::FILE* const nowhere = std::fopen("/dev/null", "w");
  if (nowhere == nullptr) tavrfndl::fuzz::Violation("cannot open /dev/null");
  fndl::WriteListing(data, size, nowhere, nowhere);

  fndl::RenderReport report;
  fndl::RenderStream(
      data, size, kDpi, [](const fndl::RenderedPage&) { return true; }, report, kMaxPagePixels);
  fndl::CountPages(data, size);

  ReadFragment(data, size, false);
  ReadFragment(data, size, true);
  return 0;
}
