// A strict printer for the tests: every soft font of a job read the way a printer reads it. The
// stream checks (hostile/stream_checks.h) prove that a job can be followed; this proves that the
// fonts in it can be used. For every font the job defines:
// - every table of the GT directory lies inside the GT segment (a printer reads a table where
//   the directory says, and one that is not there ends the job with MissingData);
// - the header fields a rasterizer sizes its work by hold: "head" magic number and unitsPerEm,
//   "maxp" numGlyphs, "hhea" numberOfHMetrics, "hmtx" long enough for them;
// - the font rebuilt from the header and the character records (the fndl tool's
//   RebuildTrueType) loads in FreeType, and nothing had to be cut or dropped to rebuild it;
// - every glyph a character record carries loads with FT_Load_Glyph, hinted and unhinted, at
//   12, 50 and 100 pixels per em (font programs that fail, and so fail every hinted load, are
//   reported once).
// A font that is never defined is not checked: a job that sends nothing of a font passes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tavrfndl::testing {

struct StrictConsumerReport {
  size_t fontsDefined = 0;  // BeginFontHeader operators
  size_t glyphRecords = 0;  // ReadChar operators, components included
  // What a strict printer rejects, each naming the font; empty when the job passes.
  std::vector<std::string> findings;

  bool ok() const { return findings.empty(); }
  // The findings one per line, at most `max` of them.
  std::string Summary(size_t max = 10) const;
};

// Reads a job: a whole job (universal exit or stream header first) or the bare stream the
// library appends, in the little-endian binding.
StrictConsumerReport ReadAsStrictPrinter(const std::vector<uint8_t>& job);

}  // namespace tavrfndl::testing
