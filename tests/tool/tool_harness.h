// Running the built fndl tool from tests, scratch directories, and reading jobs back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pclxl/xlstream_reader.h"
#include "softfont_records.h"

namespace fndl::test {

// The tool's tests name operators, attributes and reader types as the format header does.
using namespace tavrfndl::pclxl;

struct ToolRun {
  bool exited = false;  // false: killed by a signal (a crash)
  int status = -1;
  std::string out, err;
};

// Runs fndl with the arguments; standard input comes from stdinPath (or /dev/null), in workDir
// (or the test's own working directory).
ToolRun RunFndl(const std::vector<std::string>& args, const std::string& stdinPath = "",
                const std::string& workDir = "");
// Runs any program: argv[0] is its path.
ToolRun RunProgram(const std::vector<std::string>& argv, const std::string& stdinPath = "",
                   const std::string& workDir = "");

// A fresh directory removed with everything in it at the end of the scope.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string Path(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
void WriteText(const std::string& path, const std::string& text);
bool Exists(const std::string& path);

// A job read back: every operator (pointing into bytes), how the reading ended, and the fonts.
struct Job {
  std::vector<uint8_t> bytes;
  std::vector<XlOperator> ops;
  bool complete = false;  // read to its end without an error
  bool endedWithUniversalExit = false;
  size_t endOffset = 0;
  std::string error;
  XlStreamHeader header;
  std::vector<XlPrologueItem> prologue;
  SoftFontCollector fonts;
  std::vector<FontEvent> problems;

  size_t Count(Operator tag) const;
};

// Reads the job; the bytes are kept inside so the operators stay valid. Not copyable once read.
void ReadJob(const std::string& path, Job& job);
void ReadJobBytes(std::vector<uint8_t> bytes, Job& job);

// Writes PCL XL binary (low byte first) for synthetic jobs: each call places a value and its
// attribute id, or an operator, or embedded data.
class XlBuilder {
 public:
  XlBuilder& UByte(uint8_t v, Attribute attr);
  XlBuilder& UInt16(uint16_t v, Attribute attr);
  XlBuilder& UInt32(uint32_t v, Attribute attr);
  XlBuilder& Real32(float v, Attribute attr);
  XlBuilder& UInt16XY(uint16_t x, uint16_t y, Attribute attr);
  XlBuilder& SInt16XY(int16_t x, int16_t y, Attribute attr);
  XlBuilder& Real32XY(float x, float y, Attribute attr);
  XlBuilder& SInt16Box(int16_t x1, int16_t y1, int16_t x2, int16_t y2, Attribute attr);
  XlBuilder& Name(const std::string& name, Attribute attr = Attribute::FontName);  // ubyte_array
  XlBuilder& UInt16Array(const std::vector<uint16_t>& values, Attribute attr);
  XlBuilder& Op(Operator tag);
  XlBuilder& Data(const std::vector<uint8_t>& bytes);  // dataLength form
  XlBuilder& Raw(const std::vector<uint8_t>& bytes);

  // The job: universal exit, PJL, header line, the operators, universal exit.
  std::vector<uint8_t> Job() const;
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  void Put16(uint16_t v);
  void Put32(uint32_t v);
  std::vector<uint8_t> bytes_;
};

// A format-0 TrueType font header: the fixed fields, a GT segment holding a font directory of
// "gdir" and the given tables (in the order given), and the null segment.
std::vector<uint8_t> SoftFontHeader(
    uint16_t characters, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& tables);

// A class-0 character record around TrueType glyph data.
std::vector<uint8_t> CharRecord(uint16_t glyph, const std::vector<uint8_t>& glyphData);

// The path of a font the machine has, or empty.
std::string DejaVuSans();
std::string DejaVuSansOblique();
std::string IpaGothic();

}  // namespace fndl::test
