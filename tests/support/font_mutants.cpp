#include "support/font_mutants.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "sfnt/bytes.h"
#include "support/fontfile.h"

namespace tavrfndl::test {
namespace {

using testing::BeU16;
using testing::BeU32;

constexpr const char* kBodyTables[] = {"head", "hhea", "maxp", "hmtx", "loca",
                                       "glyf", "cmap", "post", "OS/2"};
constexpr const char* kFieldNames[] = {"tag", "checkSum", "offset", "length"};
constexpr size_t kMaxRecords = 4096;

void PutBe(std::vector<uint8_t>& b, size_t at, size_t bytes, uint32_t v) {
  for (size_t i = bytes; i-- > 0; v >>= 8) {
    if (at + i < b.size()) b[at + i] = static_cast<uint8_t>(v);
  }
}

std::string Hex(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", v);
  return text;
}

}  // namespace

// SplitMix64: the same numbers with every compiler and standard library.
class FontMutator::Rng {
 public:
  explicit Rng(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  size_t Below(size_t n) { return n ? static_cast<size_t>(Next() % n) : 0; }

 private:
  uint64_t state_;
};

const char* MutationKindName(MutationKind kind) {
  switch (kind) {
    case MutationKind::kTruncateAtTableBoundary:
      return "truncated at a table boundary";
    case MutationKind::kTruncateInsideTable:
      return "truncated inside a table";
    case MutationKind::kDirectoryField:
      return "directory field smashed";
    case MutationKind::kTableBody:
      return "table body smashed";
    case MutationKind::kByteRun:
      return "random byte run";
  }
  return "?";
}

FontMutator::FontMutator(std::vector<uint8_t> font) : font_(std::move(font)) {
  const size_t count = std::min<size_t>(BeU16(font_, 4), kMaxRecords);
  std::vector<std::pair<size_t, std::string>> cuts{{12, "end of the offset table"},
                                                   {12 + 16 * count, "end of the directory"}};
  for (size_t i = 0; i < count && 12 + 16 * (i + 1) <= font_.size(); ++i) {
    Record r;
    r.at = 12 + 16 * i;
    r.tag.assign(font_.begin() + static_cast<std::ptrdiff_t>(r.at),
                 font_.begin() + static_cast<std::ptrdiff_t>(r.at + 4));
    r.offset = BeU32(font_, r.at + 8);
    r.length = BeU32(font_, r.at + 12);
    cuts.push_back({r.offset, "start of \"" + r.tag + "\""});
    cuts.push_back({size_t{r.offset} + r.length, "end of \"" + r.tag + "\""});
    records_.push_back(std::move(r));
  }
  // An empty file is a different failure (the file cannot be mapped at all), not a cut font.
  for (auto& cut : cuts) {
    if (cut.first > 0 && cut.first < font_.size()) boundaries_.push_back(std::move(cut));
  }
  std::sort(boundaries_.begin(), boundaries_.end());
  boundaries_.erase(std::unique(boundaries_.begin(), boundaries_.end(),
                                [](const auto& a, const auto& b) { return a.first == b.first; }),
                    boundaries_.end());
}

FontMutant FontMutator::Truncate(size_t size, MutationKind kind, std::string what) const {
  FontMutant m{kind, "cut to " + std::to_string(size) + " bytes (" + what + ")", font_};
  m.bytes.resize(size);
  return m;
}

std::vector<std::pair<uint32_t, std::string>> FontMutator::FieldValues(size_t record,
                                                                       int field) const {
  const Record& r = records_[record];
  const uint32_t size = static_cast<uint32_t>(font_.size());
  const uint32_t value = BeU32(font_, r.at + 4 * static_cast<size_t>(field));
  const Record& other = records_[(record + 1) % records_.size()];
  std::vector<std::pair<uint32_t, std::string>> values{
      {0, "0"},
      {0xFFFFFFFF, "0xFFFFFFFF"},
      {value + 1, "one more"},
      {value - 1, "one less"},
      {BeU32(font_, other.at + 4 * static_cast<size_t>(field)), "that of \"" + other.tag + "\""}};
  if (field == 2) {
    values.push_back({size, "the file size"});
    values.push_back({size - r.length + 1, "one byte too far for its length"});
  } else if (field == 3) {
    values.push_back({size - r.offset + 1, "one byte past the end of the file"});
  }
  return values;
}

FontMutant FontMutator::SetField(size_t record, int field, uint32_t value,
                                 std::string valueName) const {
  const Record& r = records_[record];
  FontMutant m{MutationKind::kDirectoryField,
               "record " + std::to_string(record) + " (\"" + r.tag + "\") " + kFieldNames[field] +
                   " = " + Hex(value) + " (" + valueName + ")",
               font_};
  PutBe(m.bytes, r.at + 4 * static_cast<size_t>(field), 4, value);
  return m;
}

FontMutant FontMutator::SetNumTables(uint16_t value, std::string valueName) const {
  FontMutant m{MutationKind::kDirectoryField,
               "numTables = " + std::to_string(value) + " (" + valueName + ")", font_};
  PutBe(m.bytes, 4, 2, value);
  return m;
}

std::vector<FontMutant> FontMutator::Systematic() const {
  std::vector<FontMutant> out;
  for (const auto& [size, where] : boundaries_) {
    out.push_back(Truncate(size, MutationKind::kTruncateAtTableBoundary, where));
  }
  const auto n = static_cast<uint16_t>(records_.size());
  const auto fit = static_cast<uint16_t>(std::min<size_t>((font_.size() - 12) / 16 + 1, 0xFFFF));
  for (const auto& [value, name] :
       std::vector<std::pair<uint16_t, std::string>>{{0, "0"},
                                                     {1, "1"},
                                                     {static_cast<uint16_t>(n - 1), "one less"},
                                                     {static_cast<uint16_t>(n + 1), "one more"},
                                                     {fit, "more records than the file holds"},
                                                     {0xFFFF, "0xFFFF"}}) {
    out.push_back(SetNumTables(value, name));
  }
  for (size_t r = 0; r < records_.size(); ++r) {
    for (int field = 0; field < 4; ++field) {
      for (auto& [value, name] : FieldValues(r, field)) {
        out.push_back(SetField(r, field, value, std::move(name)));
      }
    }
  }
  return out;
}

FontMutant FontMutator::DirectoryField(Rng& rng) const {
  if (records_.empty() || rng.Below(5) == 0) {
    const uint16_t values[] = {0, 1, static_cast<uint16_t>(records_.size() + 1), 0xFFFF,
                               static_cast<uint16_t>(rng.Next())};
    const uint16_t value = values[rng.Below(std::size(values))];
    return SetNumTables(value, "smashed");
  }
  const size_t record = rng.Below(records_.size());
  const int field = static_cast<int>(rng.Below(4));
  auto values = FieldValues(record, field);
  auto& [value, name] = values[rng.Below(values.size())];
  return SetField(record, field, value, std::move(name));
}

FontMutant FontMutator::TableBody(Rng& rng) const {
  std::vector<const Record*> present;
  for (const Record& r : records_) {
    const bool named = std::any_of(std::begin(kBodyTables), std::end(kBodyTables),
                                   [&](const char* tag) { return r.tag == tag; });
    if (named && r.length > 0 && r.offset < font_.size()) present.push_back(&r);
  }
  if (present.empty()) return ByteRun(rng);
  const Record& r = *present[rng.Below(present.size())];
  const size_t length = std::min<size_t>(r.length, font_.size() - r.offset);
  const size_t count = 1 + rng.Below(8);
  FontMutant m{MutationKind::kTableBody, "", font_};
  std::string where;
  for (size_t i = 0; i < count; ++i) {
    const size_t at = rng.Below(length);
    m.bytes[r.offset + at] = static_cast<uint8_t>(rng.Next());
    where += (i ? ", " : "") + std::to_string(at);
  }
  m.what = "\"" + r.tag + "\": random bytes at " + where;
  return m;
}

FontMutant FontMutator::ByteRun(Rng& rng) const {
  FontMutant m{MutationKind::kByteRun, "", font_};
  const size_t at = rng.Below(font_.size());
  const size_t length = std::min<size_t>(1 + rng.Below(64), font_.size() - at);
  for (size_t i = 0; i < length; ++i) m.bytes[at + i] = static_cast<uint8_t>(rng.Next());
  m.what = std::to_string(length) + " random bytes at " + std::to_string(at);
  return m;
}

FontMutant FontMutator::InsideTable(Rng& rng) const {
  std::vector<const Record*> cuttable;
  for (const Record& r : records_) {
    if (r.length > 1 && size_t{r.offset} + r.length <= font_.size()) cuttable.push_back(&r);
  }
  if (cuttable.empty()) {
    const size_t size = font_.size() > 1 ? 1 + rng.Below(font_.size() - 1) : font_.size();
    return Truncate(size, MutationKind::kTruncateInsideTable, "no table to cut inside");
  }
  const Record& r = *cuttable[rng.Below(cuttable.size())];
  const size_t into = 1 + rng.Below(r.length - 1);
  return Truncate(r.offset + into, MutationKind::kTruncateInsideTable,
                  std::to_string(into) + " bytes into \"" + r.tag + "\"");
}

FontMutant FontMutator::Make(uint64_t seed, uint64_t index) const {
  Rng rng(seed * 0x2545F4914F6CDD1Dull + index);
  rng.Next();
  switch (static_cast<MutationKind>(index % kMutationKinds)) {
    case MutationKind::kTruncateAtTableBoundary:
      if (!boundaries_.empty()) {
        const auto& [size, where] = boundaries_[(index / kMutationKinds) % boundaries_.size()];
        return Truncate(size, MutationKind::kTruncateAtTableBoundary, where);
      }
      return InsideTable(rng);
    case MutationKind::kTruncateInsideTable:
      return InsideTable(rng);
    case MutationKind::kDirectoryField:
      return DirectoryField(rng);
    case MutationKind::kTableBody:
      return TableBody(rng);
    case MutationKind::kByteRun:
      return ByteRun(rng);
  }
  return ByteRun(rng);
}

}  // namespace tavrfndl::test
