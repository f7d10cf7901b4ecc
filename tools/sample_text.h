// The built-in document `fndl print` prints without an input: paragraphs in Latin script with
// accents, Greek and Cyrillic (all covered by DejaVu Sans), with bold, italic and underlined
// spans, long enough to wrap lines and to fill more than one page.
#pragma once

#include <vector>

namespace fndl {

struct SampleSpan {
  bool bold = false;
  bool italic = false;
  bool underline = false;
  const char* text = "";  // UTF-8
};

// A paragraph of spans; an empty paragraph is a blank line.
using SampleParagraph = std::vector<SampleSpan>;

const std::vector<SampleParagraph>& SampleDocument();

}  // namespace fndl
