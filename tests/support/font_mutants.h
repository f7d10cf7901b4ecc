// Mutants of a real font, the damage a font file meets on its way to a driver: cut short, its
// table directory overwritten, its tables' bytes scrambled. Deterministic: the same font, seed
// and index always give the same mutant, so a failure is reproduced from three numbers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrfndl::test {

enum class MutationKind {
  kTruncateAtTableBoundary,  // the file ends where a table starts or ends
  kTruncateInsideTable,      // ... or somewhere inside one
  kDirectoryField,           // numTables, or a record's tag, checkSum, offset or length
  kTableBody,                // random bytes inside head, hhea, maxp, hmtx, loca, glyf, cmap, ...
  kByteRun,                  // a run of random bytes anywhere
};
inline constexpr int kMutationKinds = 5;
const char* MutationKindName(MutationKind kind);

struct FontMutant {
  MutationKind kind = MutationKind::kByteRun;
  std::string what;  // e.g. "record 4 (\"head\") offset = 0xFFFFFFFF"
  std::vector<uint8_t> bytes;
};

class FontMutator {
 public:
  // Reads the font's table directory (a font without one gets only truncations and byte runs).
  explicit FontMutator(std::vector<uint8_t> font);

  // Mutant `index` of the series `seed`. The kinds take turns; truncations at table boundaries
  // walk the boundaries in order, so that a series of 5 x boundaries() mutants cuts at each.
  FontMutant Make(uint64_t seed, uint64_t index) const;

  // Every mutant that takes no random choice: the file cut at each table boundary, and each
  // directory field set to each of its smashed values.
  std::vector<FontMutant> Systematic() const;

  size_t boundaries() const { return boundaries_.size(); }
  const std::vector<uint8_t>& font() const { return font_; }

 private:
  struct Record {
    std::string tag;
    size_t at = 0;  // of the record in the file
    uint32_t offset = 0, length = 0;
  };
  class Rng;

  FontMutant Truncate(size_t size, MutationKind kind, std::string what) const;
  FontMutant SetField(size_t record, int field, uint32_t value, std::string valueName) const;
  FontMutant SetNumTables(uint16_t value, std::string valueName) const;
  FontMutant DirectoryField(Rng& rng) const;
  FontMutant TableBody(Rng& rng) const;
  FontMutant ByteRun(Rng& rng) const;
  FontMutant InsideTable(Rng& rng) const;
  std::vector<std::pair<uint32_t, std::string>> FieldValues(size_t record, int field) const;

  std::vector<uint8_t> font_;
  std::vector<Record> records_;
  std::vector<std::pair<size_t, std::string>> boundaries_;  // cut size, where
};

}  // namespace tavrfndl::test
