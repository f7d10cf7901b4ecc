// `fndl print`: a driver of the library. It writes a complete PCL XL job (job and session
// framing, pages, the library's runs, font removal) from a text file, standard input or the
// built-in sample. The CUPS filter prints through the same function.
#pragma once

#include <cstdint>
#include <string>

#include "job_framing.h"

namespace fndl {

// How messages read: the tool's "fndl print: ..." lines, or a CUPS filter's "ERROR: ...",
// "WARNING: ...", "INFO: ..." lines and, once the job is out, a "PAGE: n 1" line per page.
enum class MessageStyle { kTool, kCupsFilter };

struct PrintOptions {
  // A family name for the font engine, or the path of a TrueType file, which the font engine
  // opens as that file's face (advances of its own glyphs).
  std::string face = "DejaVu Sans";
  // The library reads the file named by face itself: every advance is the character size.
  bool fileMode = false;
  bool strict = false;  // the font engine substituting another face is an error, not a warning
  bool force = false;   // print input that does not look like text
  double size = 12;     // points
  bool bold = false, italic = false, underline = false;
  MediaSize paper = MediaSize::eA4Paper;
  // Points from the paper's edges: text starts at the left and top margins. The bottom margin is
  // checked but the page ends where the library's clip box does (it reports the page full), as
  // the right edge of the text is the library's own line limit.
  double marginLeft = 36, marginTop = 36, marginBottom = 36;
  double lineSpacing = 0;   // points from baseline to baseline; 0: 1.2 times the size
  uint32_t tabColumns = 8;  // tab stops every so many advances of the space
  uint32_t copies = 1;      // each copy starts on a new page; the fonts are downloaded once
  std::string charset;      // the input's character set (iconv's names); empty: UTF-8
  MessageStyle messages = MessageStyle::kTool;
  std::string output = "sample.pxl";  // "-" writes the job to standard output
  bool haveInput = false;             // false: the built-in sample
  std::string input;                  // "-" reads standard input
};

// Runs the command; returns the exit status. Messages go to standard error.
int RunPrint(const PrintOptions& options);

}  // namespace fndl
