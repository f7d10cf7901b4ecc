#include "sfnt/program.h"

namespace tavrfndl::sfnt {
namespace {

constexpr uint8_t kNpushb = 0x40, kNpushw = 0x41, kPushb = 0xB0, kPushw = 0xB8;
constexpr uint8_t kIf = 0x58, kElse = 0x1B, kEif = 0x59, kFdef = 0x2C, kEndf = 0x2D;
constexpr uint8_t kIdef = 0x89, kCall = 0x2B, kLoopcall = 0x2A;

// Opcodes the TrueType instruction set leaves undefined (FreeType reports them as invalid).
bool IsUndefined(uint8_t op) {
  return op == 0x28 || op == 0x7B || op == 0x83 || op == 0x84 || (op >= 0x8F && op <= 0xAF);
}

// The bytes of inline data that follow op; false when they leave the program.
bool SkipPushData(Cursor& cursor, uint8_t op) {
  uint8_t n = 0;
  if (op == kNpushb) return cursor.ReadU8(n) && cursor.Skip(n);
  if (op == kNpushw) return cursor.ReadU8(n) && cursor.Skip(2 * size_t{n});
  if (op >= kPushb && op < kPushw) return cursor.Skip(size_t{op} - kPushb + 1);
  if (op >= kPushw && op <= kPushw + 7) return cursor.Skip(2 * (size_t{op} - kPushw + 1));
  return true;
}

class Structure {
 public:
  // False at the first instruction that breaks the nesting.
  bool Take(uint8_t op) {
    if (op == kFdef || op == kIdef) {
      if (inDefinition_ || ifDepth_ > 0) return false;
      inDefinition_ = true;
    } else if (op == kEndf) {
      if (!inDefinition_ || ifDepth_ > 0) return false;
      inDefinition_ = false;
    } else if (op == kIf) {
      ++ifDepth_;
    } else if (op == kElse) {
      return ifDepth_ > 0;
    } else if (op == kEif) {
      if (ifDepth_ == 0) return false;
      --ifDepth_;
    }
    return true;
  }
  bool Closed() const { return !inDefinition_ && ifDepth_ == 0; }

 private:
  bool inDefinition_ = false;
  uint32_t ifDepth_ = 0;
};

}  // namespace

bool ValidateProgram(ByteView code, Tag table, bool fontDefinesInstructions, Findings& findings,
                     ProgramFacts* facts) {
  Cursor cursor(code);
  Structure structure;
  ProgramFacts found;
  uint8_t op = 0;
  while (cursor.remaining() > 0) {
    const size_t at = cursor.position();
    cursor.ReadU8(op);
    if (IsUndefined(op) && !fontDefinesInstructions) {
      findings.Add(table, "instructions", "hold an opcode the instruction set does not define",
                   static_cast<int64_t>(at));
      return false;
    }
    if (!SkipPushData(cursor, op) || !structure.Take(op)) {
      findings.Add(table, "instructions", "push past the end or do not nest",
                   static_cast<int64_t>(at));
      return false;
    }
    found.definesFunctions |= op == kFdef;
    found.definesInstructions |= op == kIdef;
    found.calls |= op == kCall || op == kLoopcall;
  }
  if (!structure.Closed()) {
    findings.Add(table, "instructions", "end inside a function or a branch",
                 static_cast<int64_t>(code.size()));
    return false;
  }
  if (facts) *facts = found;
  return true;
}

}  // namespace tavrfndl::sfnt
