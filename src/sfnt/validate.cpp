#include "sfnt/validate.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>

#include "sfnt/cmap.h"
#include "sfnt/directory.h"
#include "sfnt/program.h"

namespace tavrfndl::sfnt {
namespace {

constexpr Tag kHead("head"), kHhea("hhea"), kMaxp("maxp"), kHmtx("hmtx"), kLoca("loca"),
    kGlyf("glyf"), kCmap("cmap"), kFpgm("fpgm"), kPrep("prep");

constexpr uint32_t kMagicNumber = 0x5F0F3CF5;
constexpr size_t kHeadLength = 54;
constexpr size_t kHheaLength = 36;
constexpr size_t kMaxpLength = 6;
constexpr size_t kMaxpVersion1Length = 32;
constexpr uint32_t kMaxpVersion1 = 0x00010000;

// ASCII upper case of each tag byte: file-mode lookups accept "GLYF" for "glyf".
Tag UpperCase(Tag tag) {
  uint32_t v = 0;
  for (int shift = 24; shift >= 0; shift -= 8) {
    uint32_t c = (tag.value >> shift) & 0xFFu;
    if (c >= 'a' && c <= 'z') c -= 'a' - 'A';
    v |= c << shift;
  }
  return Tag(v);
}

class Validator {
 public:
  Validator(ByteView data, Findings& findings) : data_(data), findings_(findings) {}

  bool ReadDirectory() {
    if (!directory_.ReadAt(data_)) return Fail(Tag(), "offset table", "is cut short", 0);
    if (directory_.statedCount() != directory_.tableCount()) {
      return Fail(Tag(), "numTables", "records run past the data", directory_.statedCount());
    }
    return true;
  }

  // Every table the caller sends as it is, and every table read below, lies inside the data
  // and clear of the directory.
  void CheckPlacement() {
    TableRecord record;
    for (uint16_t i = 0; directory_.Record(i, record); ++i) {
      if (!IsRead(record.tag) && !IsHeaderTable(record.tag)) continue;
      if (!directory_.TableBytes(record)) {
        Fail(record.tag, "offset", "table runs past the data", record.offset);
      } else if (record.length > 0 && record.offset < directory_.directoryEnd()) {
        Fail(record.tag, "offset", "table overlaps the table directory", record.offset);
      }
    }
  }

  // The header carries each of its tables up to the next table in the font: one that runs into
  // the next would arrive cut, its directory length promising bytes the header does not hold.
  void CheckHeaderTablesEndBeforeTheNext() {
    std::vector<uint32_t> offsets;
    TableRecord record;
    try {
      for (uint16_t i = 0; directory_.Record(i, record); ++i) offsets.push_back(record.offset);
    } catch (const std::bad_alloc&) {
      Fail(Tag(), "numTables", "too many records to check", directory_.tableCount());
      return;
    }
    std::sort(offsets.begin(), offsets.end());
    for (uint16_t i = 0; directory_.Record(i, record); ++i) {
      if (!IsHeaderTable(record.tag) || record.length == 0) continue;
      const auto next = std::upper_bound(offsets.begin(), offsets.end(), record.offset);
      if (next != offsets.end() && *next < uint64_t{record.offset} + record.length) {
        Fail(record.tag, "length", "runs into the next table", record.length);
        return;
      }
    }
  }

  // The first record with the tag or its upper-case form; nothing when it is missing or outside
  // the data (already named by CheckPlacement).
  std::optional<ByteView> Table(Tag tag) {
    TableRecord record;
    for (uint16_t i = 0; directory_.Record(i, record); ++i) {
      if (record.tag == tag || record.tag == UpperCase(tag)) return directory_.TableBytes(record);
    }
    Fail(tag, "table", "is missing", 0);
    return std::nullopt;
  }

  // A table that may be missing; nothing also when it lies outside the data (already named).
  std::optional<ByteView> Optional(Tag tag) {
    TableRecord record;
    for (uint16_t i = 0; directory_.Record(i, record); ++i) {
      if (record.tag == tag || record.tag == UpperCase(tag)) return directory_.TableBytes(record);
    }
    return std::nullopt;
  }

  void CheckHead(FontFacts& facts) {
    const std::optional<ByteView> head = Table(kHead);
    if (!head) return;
    if (!HasLength(kHead, *head, kHeadLength)) return;
    uint32_t magic = 0;
    head->ReadU32(12, magic);
    head->ReadU16(18, facts.unitsPerEm);
    head->ReadS16(50, facts.indexToLocFormat);
    if (magic != kMagicNumber) Fail(kHead, "magicNumber", "is not 0x5F0F3CF5", magic);
    if (facts.unitsPerEm < 16 || facts.unitsPerEm > 16384) {
      Fail(kHead, "unitsPerEm", "is outside 16..16384", facts.unitsPerEm);
    }
    if (facts.indexToLocFormat != 0 && facts.indexToLocFormat != 1) {
      Fail(kHead, "indexToLocFormat", "is neither 0 nor 1", facts.indexToLocFormat);
    }
  }

  void CheckMaxp(FontFacts& facts) {
    const std::optional<ByteView> maxp = Table(kMaxp);
    if (!maxp || !HasLength(kMaxp, *maxp, kMaxpLength)) return;
    uint32_t version = 0;
    maxp->ReadU32(0, version);
    maxp->ReadU16(4, facts.numGlyphs);
    if (facts.numGlyphs == 0) Fail(kMaxp, "numGlyphs", "is 0", 0);
    // A rasterizer reads the version 1.0 fields from any version from 1.0 on (FreeType compares
    // the version as a signed number); before that it has no room for hinting at all.
    limits_.version = version;
    if (static_cast<int32_t>(version) < static_cast<int32_t>(kMaxpVersion1)) return;
    if (!HasLength(kMaxp, *maxp, kMaxpVersion1Length)) return;
    limits_.version1 = true;
    maxp->ReadU16(20, limits_.functionDefs);
    maxp->ReadU16(22, limits_.instructionDefs);
    maxp->ReadU16(24, limits_.stackElements);
    // FreeType makes room for 64 functions whatever the font says (old fonts say less).
    limits_.functionDefs = std::max<uint16_t>(limits_.functionDefs, 64);
  }

  void CheckMetrics(const FontFacts& facts) {
    const std::optional<ByteView> hhea = Table(kHhea);
    const std::optional<ByteView> hmtx = Table(kHmtx);
    if (!hhea || !HasLength(kHhea, *hhea, kHheaLength)) return;
    uint16_t longMetrics = 0;
    hhea->ReadU16(34, longMetrics);
    if (longMetrics == 0 || longMetrics > facts.numGlyphs) {
      Fail(kHhea, "numberOfHMetrics", "is outside 1..numGlyphs", longMetrics);
      return;
    }
    const size_t needed = 4 * size_t{longMetrics} + 2 * (size_t{facts.numGlyphs} - longMetrics);
    if (hmtx) HasLength(kHmtx, *hmtx, needed);
  }

  void CheckGlyphTables(const FontFacts& facts) {
    const std::optional<ByteView> loca = Table(kLoca);
    Table(kGlyf);
    const size_t entry = facts.indexToLocFormat == 0 ? 2 : 4;
    if (loca) HasLength(kLoca, *loca, entry * (size_t{facts.numGlyphs} + 1));
  }

  // The font's programs run before any glyph is drawn: a broken one fails them all.
  void CheckPrograms() {
    const std::optional<ByteView> fpgm = Optional(kFpgm);
    const std::optional<ByteView> prep = Optional(kPrep);
    ProgramFacts functions, control;
    // Opcodes the font defines with IDEF are its own; fpgm is read first to learn of them.
    if (fpgm && !ValidateProgram(*fpgm, kFpgm, true, findings_, &functions)) return;
    const bool ownOpcodes = functions.definesInstructions;
    if (fpgm && !ownOpcodes && !ValidateProgram(*fpgm, kFpgm, false, findings_)) return;
    if (prep && !ValidateProgram(*prep, kPrep, ownOpcodes, findings_, &control)) return;
    if (control.calls && !functions.definesFunctions) {
      Fail(kPrep, "instructions", "call functions the font does not define", 0);
      return;
    }
    CheckHintingLimits(fpgm, prep);
  }

  // What the programs plainly demand against the room "maxp" gives them: a rasterizer sizes its
  // stack and its function tables from it, and stops the programs (and with them every glyph)
  // where they need more.
  void CheckHintingLimits(const std::optional<ByteView>& fpgm,
                          const std::optional<ByteView>& prep) {
    ProgramDemands demands;
    for (const auto& [tag, code] : {std::pair{kFpgm, fpgm}, std::pair{kPrep, prep}}) {
      if (!code || !MeasureProgram(*code, demands)) continue;
      if (demands.numberOutOfRange) {
        Fail(tag, "instructions", "define a function or opcode number out of range", 0);
        return;
      }
      if (demands.callsUndefined) {
        Fail(tag, "instructions", "call a function the font does not define", 0);
        return;
      }
    }
    CompareWithMaxp(demands);
  }

  // The stack is allowed the margin FreeType adds for the many fonts that understate it (half as
  // much again, at least 128).
  void CompareWithMaxp(const ProgramDemands& demands) {
    const uint32_t stackRoom =
        uint32_t{limits_.stackElements} + std::max(limits_.stackElements / 2u, 128u);
    if (demands.functions > limits_.functionDefs && limits_.version1) {
      Fail(kMaxp, "maxFunctionDefs", "is below the functions the programs define",
           limits_.functionDefs);
    } else if (demands.functions > limits_.functionDefs) {
      Fail(kMaxp, "version", "is before 1.0: no room for the functions the programs define",
           limits_.version);
    }
    if (demands.instructions > limits_.instructionDefs) {
      Fail(kMaxp, "maxInstructionDefs", "is below the opcodes the programs define",
           limits_.instructionDefs);
    }
    if (demands.stackDepth > stackRoom) {
      Fail(kMaxp, "maxStackElements", "is below the stack the programs use", limits_.stackElements);
    }
  }

  void CheckCmap() {
    const std::optional<ByteView> cmap = Table(kCmap);
    if (!cmap) return;
    const CmapChoice choice = ChooseWindowsFormat4(*cmap);
    if (choice.recordsCut) Fail(kCmap, "encodingRecords", "run past the table", 0);
    if (choice.skippedBroken) Fail(kCmap, "format 4", "segment arrays run past the table", 0);
    uint16_t segCountX2 = 0;
    if (choice.subtable && choice.subtable->ReadU16(6, segCountX2) &&
        (segCountX2 == 0 || segCountX2 % 2 != 0)) {
      Fail(kCmap, "segCountX2", "is not a positive even number", segCountX2);
    }
  }

 private:
  static bool IsRead(Tag tag) {
    for (Tag t : {kHead, kHhea, kMaxp, kHmtx, kLoca, kGlyf, kCmap}) {
      if (tag == t || tag == UpperCase(t)) return true;
    }
    return false;
  }
  bool HasLength(Tag tag, ByteView table, size_t length) {
    if (table.size() >= length) return true;
    return Fail(tag, "length", "is too short for the fields read",
                static_cast<int64_t>(table.size()));
  }
  bool Fail(Tag tag, const char* field, const char* problem, int64_t value) {
    findings_.Add(tag, field, problem, value);
    return false;
  }

  // The hinting limits of "maxp"; none before version 1.0.
  struct HintingLimits {
    uint32_t version = 0;
    bool version1 = false;  // the fields below read from the table
    uint16_t functionDefs = 0;
    uint16_t instructionDefs = 0;
    uint16_t stackElements = 0;
  };

  ByteView data_;
  Findings& findings_;
  Directory directory_;
  HintingLimits limits_;
};

}  // namespace

bool IsHeaderTable(Tag tag) {
  static constexpr const char* kNames[] = {"cvt",  "CVT",  "cvt ", "CVT ", "fpgm", "FPGM",
                                           "head", "HEAD", "hhea", "HHEA", "hmtx", "HMTX",
                                           "maxp", "MAXP", "prep", "PREP"};
  for (const char* name : kNames) {
    if (tag == Tag::FromText(name)) return true;
  }
  return false;
}

bool ValidateFont(ByteView data, Findings& findings, FontFacts* facts, GlyphSource glyphs) {
  const size_t before = findings.count();
  Validator v(data, findings);
  FontFacts found;
  if (v.ReadDirectory()) {
    v.CheckPlacement();
    v.CheckHeaderTablesEndBeforeTheNext();
    v.CheckHead(found);
    v.CheckMaxp(found);
    v.CheckMetrics(found);
    if (glyphs == GlyphSource::kGlyf) v.CheckGlyphTables(found);
    v.CheckCmap();
    v.CheckPrograms();
  }
  if (facts) *facts = found;
  return findings.count() == before;
}

size_t FormatFinding(const Finding& finding, char* out, size_t size) {
  char table[5];
  finding.table.Text(table);
  const bool directory = finding.table.value == 0;
  const int n = std::snprintf(out, size, "%s%s%s: %s (value %lld)", directory ? "directory" : table,
                              *finding.field ? "." : "", finding.field, finding.problem,
                              static_cast<long long>(finding.value));
  return n < 0 ? 0 : static_cast<size_t>(n);
}

}  // namespace tavrfndl::sfnt
