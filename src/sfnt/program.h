// TrueType instructions ("fpgm", "prep" and glyph programs), read for their structure only.
//
// A rasterizer runs the font's programs before it draws any glyph; one that stops with an error
// fails every glyph of the font, and a printer's rasterizer may stop the job. What a program that
// passes guarantees: every push takes its data from inside the program, FDEF/ENDF and
// IF/ELSE/EIF pair up and nest as they may (no FDEF inside a function or a branch), every
// opcode is one the instruction set defines (unless the font defines its own with IDEF), and a
// program calls functions only when the font defines some. Not guaranteed: the values the
// program computes, which need running it.
//
// MeasureProgram follows the opening stretch of a program that every rasterizer runs as written
// (up to its first call, jump, branch or instruction whose stack effect depends on a value it
// cannot know) and learns what the font's "maxp" limits must at least allow.
#pragma once

#include <bitset>
#include <cstdint>

#include "sfnt/bytes.h"
#include "sfnt/findings.h"
#include "sfnt/tag.h"

namespace tavrfndl::sfnt {

struct ProgramFacts {
  bool definesFunctions = false;     // an FDEF
  bool definesInstructions = false;  // an IDEF: the font has opcodes of its own
  bool calls = false;                // a CALL or LOOPCALL
};

// Checks one program; table names it in findings (value: the byte offset of the problem).
// fontDefinesInstructions lets opcodes the instruction set leaves undefined pass.
bool ValidateProgram(ByteView code, Tag table, bool fontDefinesInstructions, Findings& findings,
                     ProgramFacts* facts = nullptr);

// What the opening stretches of the font's programs demand: lower bounds, since the rest of
// each program is not followed.
struct ProgramDemands {
  // More values than any "maxp" lets a rasterizer's stack hold (65535 and half as many again).
  static constexpr uint32_t kDeepest = 0x18000;

  uint32_t stackDepth = 0;               // the most values on the stack at once
  uint32_t functions = 0;                // distinct function numbers defined by FDEF
  uint32_t instructions = 0;             // distinct opcodes defined by IDEF
  bool numberOutOfRange = false;         // an FDEF above 65535 or an IDEF above 255
  bool callsUndefined = false;           // a CALL or LOOPCALL of a function not defined
  bool definitionsKnown = true;          // so far every function defined has a known number
  std::bitset<0x10000> functionNumbers;  // those defined
  std::bitset<0x100> instructionNumbers;
};

// Adds what code's opening stretch demands to demands (run "fpgm" before "prep", as a rasterizer
// does). Takes a program that passed ValidateProgram. False when memory for the simulated stack
// ran out (demands then unchanged).
bool MeasureProgram(ByteView code, ProgramDemands& demands);

}  // namespace tavrfndl::sfnt
