// `fndl render`: PNG previews of a stream's pages, with a report of what was left out.
#pragma once

#include <string>

namespace fndl {

// Accepts 10 to 2400 dots per inch.
bool ParseDpi(const std::string& text, double& dpi);

// Renders the stream in path to output (see PageFileName for several pages). Returns the exit
// status: 0 when every page was written and nothing went wrong, 1 otherwise.
int RunRender(const std::string& path, const std::string& output, double dpi);

}  // namespace fndl
