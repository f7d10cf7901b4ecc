// `fndl render`: PNG previews of a stream's pages, with a report of what was left out.
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

namespace fndl {

// Accepts 10 to 2400 dots per inch.
bool ParseDpi(const std::string& text, double& dpi);

// Page numbers from 1: "3", "1-4", "5-" (to the end), joined by commas.
using PageRanges = std::vector<std::pair<size_t, size_t>>;
bool ParsePageRanges(const std::string& text, PageRanges& ranges);

struct RenderOptions {
  std::string input;
  std::string output;  // NAME.png: NAME.png for a job of one page, else NAME-1.png, NAME-2.png...
  double dpi = 100;
  PageRanges pages;  // empty: every page
};

// Renders the stream; writes only regular files, into a directory that exists. Returns the exit
// status: 0 when every page asked for was written and nothing went wrong, 1 otherwise.
int RunRender(const RenderOptions& options);

}  // namespace fndl
