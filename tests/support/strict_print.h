// A font printed the way a driver prints it, and the job read back by the strict printer
// (strict_consumer.h): the tests of damaged and of installed fonts and the mutant campaign all
// print through this, whether the exports come from the loaded shared library or are linked in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/strict_consumer.h"
#include "tavrfndl.h"

namespace tavrfndl::testing {

// The calls a print makes.
struct PrintExports {
  int32_t (*FontDownloadW)(TEXTINFOW*, PAGEINFOW*) = nullptr;
  void (*RemoveFontW)(const uint32_t*) = nullptr;
  int32_t (*GetCursor)() = nullptr;
  int32_t (*SetCursor)(const int32_t*, const int32_t*) = nullptr;
};

enum class FontMode { kFile, kEngine };  // bTTE 1 with a path; bTTE 0 naming the same file
const char* FontModeName(FontMode mode);

struct StrictPrint {
  int32_t firstResult = -1;  // of the first call
  int32_t lastResult = -1;
  size_t noGlyph = 0;  // characters answered with result 1
  std::vector<uint8_t> job;
  StrictConsumerReport report;

  bool fontSent() const { return report.fontsDefined > 0; }
};

// Prints the text with the font (12 pt at 600 dpi) into a new job file at jobPath, going on
// behind every character answered with result 1 as a driver does, removes the font, and reads
// the job as the strict printer.
StrictPrint PrintStrictly(const PrintExports& exports, const std::string& fontPath, FontMode mode,
                          uint32_t fontId, const std::u16string& text, const std::string& jobPath);

// Up to `count` characters the font maps to glyphs with an outline (its own "cmap" as FreeType
// reads it), spread over the whole map, printable ASCII first. Empty when FreeType cannot open the
// font.
std::u16string MappedText(const std::string& fontPath, size_t count);

}  // namespace tavrfndl::testing
