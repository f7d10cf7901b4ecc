// `fndl print`: a driver of the library. It writes a complete PCL XL job (job and session
// framing, pages, the library's runs, font removal) from a text file, standard input or the
// built-in sample.
#pragma once

#include <cstdint>
#include <string>

#include "job_framing.h"

namespace fndl {

struct PrintOptions {
  std::string face = "DejaVu Sans";  // family name, or the path of a TrueType file
  double size = 12;                  // points
  bool bold = false, italic = false, underline = false;
  Paper paper = Paper::kA4;
  uint32_t resolution = 600;
  std::string output = "sample.pxl";  // "-" writes the job to standard output
  bool haveInput = false;             // false: the built-in sample
  std::string input;                  // "-" reads standard input
};

// Runs the command; returns the exit status. Messages go to standard error.
int RunPrint(const PrintOptions& options);

}  // namespace fndl
