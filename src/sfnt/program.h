// TrueType instructions ("fpgm", "prep" and glyph programs), read for their structure only.
//
// A rasterizer runs the font's programs before it draws any glyph; one that stops with an error
// fails every glyph of the font, and a printer's rasterizer may stop the job. What a program that
// passes guarantees: every push takes its data from inside the program, FDEF/ENDF and
// IF/ELSE/EIF pair up and nest as they may (no FDEF inside a function or a branch), every
// opcode is one the instruction set defines (unless the font defines its own with IDEF), and a
// program calls functions only when the font defines some. Not guaranteed: the values the
// program computes, which need running it.
#pragma once

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

}  // namespace tavrfndl::sfnt
