#include "sfnt/program.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

namespace tavrfndl::sfnt {
namespace {

constexpr uint8_t kNpushb = 0x40, kNpushw = 0x41, kPushb = 0xB0, kPushw = 0xB8;
constexpr uint8_t kIf = 0x58, kElse = 0x1B, kEif = 0x59, kFdef = 0x2C, kEndf = 0x2D;
constexpr uint8_t kIdef = 0x89, kCall = 0x2B, kLoopcall = 0x2A;
constexpr uint8_t kJmpr = 0x1C, kJrot = 0x78, kJrof = 0x79;

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

// Values popped (high nibble) and pushed (low nibble) by opcodes 0x00..0x8F, a row of 16 per
// line; kSpecial for those the simulator handles itself or stops at.
constexpr uint8_t kSpecial = 0xFF;
constexpr uint8_t S = kSpecial;
// clang-format off
constexpr uint8_t kEffects[0x90] = {
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x20, 0x20, 0x20, 0x20, 0x20, 0x20, 0x02, 0x02, 0x00, 0x50,
    0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x10, S,    0x00, 0x00, 0x10, S,    S,    0x10, 0x10, 0x10,
    0x12, 0x10, S,    0x22, S,    S,    S,    0x20, S,    0x10, S,    S,    S,    S,    0x10, 0x10,
    0x00, 0x00, S,    S,    0x10, 0x10, 0x10, 0x10, S,    S,    0x20, 0x20, S,    0x00, 0x20, 0x20,
    S,    S,    0x20, 0x11, 0x20, 0x11, 0x11, 0x11, 0x20, 0x21, 0x21, 0x01, 0x01, 0x00, 0x00, 0x10,
    0x21, 0x21, 0x21, 0x21, 0x21, 0x21, 0x11, 0x11, S,    S,    0x21, 0x21, 0x11, S,    0x10, 0x10,
    0x21, 0x21, 0x21, 0x21, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11,
    0x20, S,    S,    S,    S,    S,    0x10, 0x10, S,    S,    0x00, S,    0x00, 0x00, 0x10, 0x10,
    S,    0x20, 0x20, S,    S,    0x10, 0x20, 0x20, 0x11, S,    0x33, 0x21, 0x21, 0x10, 0x20, S,
};
// clang-format on

constexpr uint8_t kSloop = 0x17, kClear = 0x22, kDepth = 0x24, kCindex = 0x25, kMindex = 0x26;
constexpr uint8_t kShpix = 0x38, kDeltap1 = 0x5D, kFlippt = 0x80;
constexpr int32_t kUnknown = INT32_MIN;

bool IsLoopInstruction(uint8_t op) {
  return op == 0x32 || op == 0x33 || op == kShpix || op == 0x39 || op == 0x3C || op == kFlippt;
}
bool IsDelta(uint8_t op) {
  return op == kDeltap1 || (op >= 0x71 && op <= 0x75);
}

// Runs a program's opening stretch on a stack of values, known (pushed as literals) or not.
class Simulator {
 public:
  Simulator(int32_t* stack, ProgramDemands& demands) : stack_(stack), demands_(demands) {}

  // False where the run stops being followed.
  bool Step(Cursor& cursor, uint8_t op) {
    if (op >= kNpushb && op <= kNpushw) return PushInline(cursor, op);
    if (op >= kPushb && op <= kPushw + 7) return PushInline(cursor, op);
    if (op >= 0xC0) return Apply(op >= 0xE0 ? 2 : 1, 0);  // MIRP, MDRP
    if (op >= 0x90 || kEffects[op] != kSpecial) {
      return op < 0x90 && Apply(kEffects[op] >> 4, kEffects[op] & 0xF);
    }
    return Special(cursor, op);
  }

 private:
  bool PushInline(Cursor& cursor, uint8_t op) {
    uint8_t n = 0;
    const bool words = op == kNpushw || op >= kPushw;
    if (op == kNpushb || op == kNpushw) {
      if (!cursor.ReadU8(n)) return false;
    } else {
      n = static_cast<uint8_t>(op - (words ? kPushw : kPushb) + 1);
    }
    for (uint8_t i = 0; i < n; ++i) {
      uint8_t hi = 0, lo = 0;
      if (words && !cursor.ReadU8(hi)) return false;
      if (!cursor.ReadU8(lo)) return false;
      const int32_t v = words ? static_cast<int16_t>(hi << 8 | lo) : lo;
      if (!Push(v)) return false;
    }
    return true;
  }

  bool Special(Cursor& cursor, uint8_t op) {
    if (op == kClear) return Drop(depth_);
    if (op == kDepth) return Push(static_cast<int32_t>(depth_));
    if (op == kCindex || op == kMindex) return Index(op == kMindex);
    if (op == kSloop) return SetLoop();
    if (IsLoopInstruction(op)) return Loop(op);
    if (IsDelta(op)) return Delta();
    if (op == kFdef || op == kIdef) return Define(cursor, op == kFdef);
    if (op == kCall || op == kLoopcall) CheckCall(op == kLoopcall ? 2 : 1);
    return false;  // calls, jumps, branches, opcodes the font defines
  }

  bool Apply(uint32_t pops, uint32_t pushes) {
    if (!Drop(pops)) return false;
    for (uint32_t i = 0; i < pushes; ++i) {
      if (!Push(kUnknown)) return false;
    }
    return true;
  }
  bool Push(int32_t v) {
    if (depth_ >= ProgramDemands::kDeepest) {
      demands_.stackDepth = ProgramDemands::kDeepest;
      return false;
    }
    stack_[depth_++] = v;
    demands_.stackDepth = std::max(demands_.stackDepth, depth_);
    return true;
  }
  // An instruction that finds fewer values than it takes gets zeros and leaves the stack empty,
  // as FreeType runs it (a stricter rasterizer stops there).
  bool Drop(uint32_t n) {
    depth_ = n > depth_ ? 0 : depth_ - n;
    return true;
  }
  // The value on top as an instruction taking `takes` values reads it.
  int32_t Top(uint32_t takes = 1) const { return depth_ >= takes ? stack_[depth_ - 1] : 0; }

  // CINDEX copies, MINDEX moves, the value k places down to the top.
  bool Index(bool move) {
    const int32_t k = Top();
    if (depth_ == 0 || !Drop(1) || k < 1 || static_cast<uint32_t>(k) > depth_) return false;
    const uint32_t at = depth_ - static_cast<uint32_t>(k);
    const int32_t v = stack_[at];
    if (!move) return Push(v);
    std::copy(stack_ + at + 1, stack_ + depth_, stack_ + at);
    stack_[depth_ - 1] = v;
    return true;
  }
  bool SetLoop() {
    loop_ = Top();
    return depth_ > 0 && Drop(1) && loop_ >= 0;
  }
  // SHP, SHPIX, IP, ALIGNRP and FLIPPT take as many points as the loop counter says.
  bool Loop(uint8_t op) {
    if (loop_ == kUnknown) return false;
    const uint32_t takes = static_cast<uint32_t>(std::min(loop_, 0xFFFF)) + (op == kShpix ? 1 : 0);
    loop_ = 1;
    return takes <= depth_ && Drop(takes);
  }
  bool Delta() {
    const int32_t pairs = Top();
    const uint64_t takes = 1 + 2 * uint64_t{static_cast<uint32_t>(pairs)};
    return pairs >= 0 && takes <= depth_ && Drop(static_cast<uint32_t>(takes));
  }
  // A definition records its number and is passed over: its body runs only when called.
  bool Define(Cursor& cursor, bool function) {
    const int32_t n = Top();
    if (!Drop(1)) return false;
    if (n != kUnknown) Record(static_cast<uint32_t>(n), function);
    if (n == kUnknown && function) demands_.definitionsKnown = false;
    uint8_t op = 0;
    while (cursor.ReadU8(op) && op != kEndf) {
      if (!SkipPushData(cursor, op)) return false;
    }
    return op == kEndf;
  }
  // A call names a function by the value on top; one that names no function defined stops the
  // program. Only judged while every function defined so far is known.
  void CheckCall(uint32_t takes) {
    const int32_t n = Top(takes);
    if (n == kUnknown || !demands_.definitionsKnown) return;
    if (n < 0 || n > 0xFFFF || !demands_.functionNumbers.test(static_cast<uint32_t>(n))) {
      demands_.callsUndefined = true;
    }
  }
  void Record(uint32_t n, bool function) {
    if (n > (function ? 0xFFFFu : 0xFFu)) {
      demands_.numberOutOfRange = true;
    } else if (function && !demands_.functionNumbers.test(n)) {
      demands_.functionNumbers.set(n);
      ++demands_.functions;
    } else if (!function && !demands_.instructionNumbers.test(n)) {
      demands_.instructionNumbers.set(n);
      ++demands_.instructions;
    }
  }

  int32_t* stack_;
  ProgramDemands& demands_;
  uint32_t depth_ = 0;
  int32_t loop_ = 1;
};

}  // namespace

bool MeasureProgram(ByteView code, ProgramDemands& demands) {
  std::unique_ptr<int32_t[]> stack(new (std::nothrow) int32_t[ProgramDemands::kDeepest]);
  if (!stack) return false;
  Simulator simulator(stack.get(), demands);
  Cursor cursor(code);
  size_t at = 0;
  uint8_t op = 0;
  while (cursor.ReadU8(op) && simulator.Step(cursor, op)) at = cursor.position();
  // Past where the run stopped, functions may still be defined, or defined again after a jump.
  Cursor rest(code, at);
  while (demands.definitionsKnown && rest.ReadU8(op) && SkipPushData(rest, op)) {
    if (op == kFdef || op == kJmpr || op == kJrot || op == kJrof) demands.definitionsKnown = false;
  }
  return true;
}

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
