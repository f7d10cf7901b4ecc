#include "tool_harness.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "pclxl/format.h"

namespace fndl::test {
namespace {

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace

ToolRun RunFndl(const std::vector<std::string>& args, const std::string& stdinPath,
                const std::string& workDir) {
  std::vector<std::string> all = {FNDL_EXECUTABLE};
  all.insert(all.end(), args.begin(), args.end());
  return RunProgram(all, stdinPath, workDir);
}

ToolRun RunProgram(const std::vector<std::string>& program, const std::string& stdinPath,
                   const std::string& workDir) {
  ScratchDir io;
  std::string outPath = io.Path("stdout"), errPath = io.Path("stderr");
  std::vector<std::string> all = program;
  std::vector<char*> argv;
  for (std::string& a : all) argv.push_back(a.data());
  argv.push_back(nullptr);
  ToolRun run;
  pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    int in = open(stdinPath.empty() ? "/dev/null" : stdinPath.c_str(), O_RDONLY);
    int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (in < 0 || out < 0 || err < 0) _exit(127);
    if (!workDir.empty() && chdir(workDir.c_str()) != 0) _exit(127);
    dup2(in, 0);
    dup2(out, 1);
    dup2(err, 2);
    execv(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0) {
  }
  run.exited = WIFEXITED(status);
  run.status = run.exited ? WEXITSTATUS(status) : -1;
  run.out = Slurp(outPath);
  run.err = Slurp(errPath);
  return run;
}

ScratchDir::ScratchDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/fndl-test-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (!mkdtemp(name.data())) throw std::runtime_error("mkdtemp failed");
  path_ = name.data();
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::string text = Slurp(path);
  return std::vector<uint8_t>(text.begin(), text.end());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

bool Exists(const std::string& path) {
  return std::filesystem::exists(path);
}

size_t Job::Count(Operator tag) const {
  size_t n = 0;
  for (const XlOperator& op : ops) n += op.tag == tag;
  return n;
}

void ReadJobBytes(std::vector<uint8_t> bytes, Job& job) {
  job.bytes = std::move(bytes);
  XlStreamReader reader(job.bytes.data(), job.bytes.size());
  XlOperator op;
  XlStreamReader::Result result;
  while ((result = reader.Next(op)) == XlStreamReader::Result::kOperator) {
    FontEvent event = job.fonts.Feed(op);
    if (event.kind == FontEvent::Kind::kProblem) job.problems.push_back(event);
    job.ops.push_back(op);
  }
  job.complete = result == XlStreamReader::Result::kEnd;
  job.endedWithUniversalExit = reader.endedWithUniversalExit();
  job.endOffset = reader.endOffset();
  job.error = reader.error();
  job.header = reader.header();
  job.prologue = reader.prologue();
}

void ReadJob(const std::string& path, Job& job) {
  ReadJobBytes(ReadBytes(path), job);
}

XlBuilder& XlBuilder::UByte(uint8_t v, Attribute attr) {
  bytes_.insert(bytes_.end(), {0xC0, v, 0xF8, static_cast<uint8_t>(attr)});
  return *this;
}
XlBuilder& XlBuilder::UInt16(uint16_t v, Attribute attr) {
  bytes_.push_back(0xC1);
  Put16(v);
  bytes_.insert(bytes_.end(), {0xF8, static_cast<uint8_t>(attr)});
  return *this;
}
XlBuilder& XlBuilder::UInt32(uint32_t v, Attribute attr) {
  bytes_.push_back(0xC2);
  Put32(v);
  bytes_.insert(bytes_.end(), {0xF8, static_cast<uint8_t>(attr)});
  return *this;
}
XlBuilder& XlBuilder::Real32(float v, Attribute attr) {
  uint32_t bits;
  std::memcpy(&bits, &v, 4);
  bytes_.push_back(0xC5);
  Put32(bits);
  bytes_.insert(bytes_.end(), {0xF8, static_cast<uint8_t>(attr)});
  return *this;
}
XlBuilder& XlBuilder::UInt16XY(uint16_t x, uint16_t y, Attribute attr) {
  bytes_.push_back(0xD1);
  Put16(x);
  Put16(y);
  bytes_.insert(bytes_.end(), {0xF8, static_cast<uint8_t>(attr)});
  return *this;
}
XlBuilder& XlBuilder::SInt16XY(int16_t x, int16_t y, Attribute attr) {
  bytes_.push_back(0xD3);
  Put16(static_cast<uint16_t>(x));
  Put16(static_cast<uint16_t>(y));
  bytes_.insert(bytes_.end(), {0xF8, static_cast<uint8_t>(attr)});
  return *this;
}
XlBuilder& XlBuilder::Real32XY(float x, float y, Attribute attr) {
  uint32_t bx, by;
  std::memcpy(&bx, &x, 4);
  std::memcpy(&by, &y, 4);
  bytes_.push_back(0xD5);
  Put32(bx);
  Put32(by);
  bytes_.insert(bytes_.end(), {0xF8, static_cast<uint8_t>(attr)});
  return *this;
}
XlBuilder& XlBuilder::SInt16Box(int16_t x1, int16_t y1, int16_t x2, int16_t y2, Attribute attr) {
  bytes_.push_back(0xE3);
  for (int16_t v : {x1, y1, x2, y2}) Put16(static_cast<uint16_t>(v));
  bytes_.insert(bytes_.end(), {0xF8, static_cast<uint8_t>(attr)});
  return *this;
}
XlBuilder& XlBuilder::Name(const std::string& name, Attribute attr) {
  bytes_.insert(bytes_.end(), {0xC8, 0xC1});
  Put16(static_cast<uint16_t>(name.size()));
  bytes_.insert(bytes_.end(), name.begin(), name.end());
  bytes_.insert(bytes_.end(), {0xF8, static_cast<uint8_t>(attr)});
  return *this;
}
XlBuilder& XlBuilder::UInt16Array(const std::vector<uint16_t>& values, Attribute attr) {
  bytes_.insert(bytes_.end(), {0xC9, 0xC1});
  Put16(static_cast<uint16_t>(values.size()));
  for (uint16_t v : values) Put16(v);
  bytes_.insert(bytes_.end(), {0xF8, static_cast<uint8_t>(attr)});
  return *this;
}
XlBuilder& XlBuilder::Op(Operator tag) {
  bytes_.push_back(static_cast<uint8_t>(tag));
  return *this;
}
XlBuilder& XlBuilder::Data(const std::vector<uint8_t>& bytes) {
  bytes_.push_back(0xFA);
  Put32(static_cast<uint32_t>(bytes.size()));
  return Raw(bytes);
}
XlBuilder& XlBuilder::Raw(const std::vector<uint8_t>& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}
void XlBuilder::Put16(uint16_t v) {
  bytes_.push_back(static_cast<uint8_t>(v));
  bytes_.push_back(static_cast<uint8_t>(v >> 8));
}
void XlBuilder::Put32(uint32_t v) {
  for (int shift = 0; shift < 32; shift += 8) bytes_.push_back(static_cast<uint8_t>(v >> shift));
}

std::vector<uint8_t> XlBuilder::Job() const {
  const std::string head = "\x1B%-12345X@PJL ENTER LANGUAGE = PCLXL\r\n) HP-PCL XL;2;0;test\n";
  const std::string tail = "\x1B%-12345X";
  std::vector<uint8_t> job;
  job.reserve(head.size() + bytes_.size() + tail.size());
  for (char c : head) job.push_back(static_cast<uint8_t>(c));
  for (uint8_t b : bytes_) job.push_back(b);
  for (char c : tail) job.push_back(static_cast<uint8_t>(c));
  return job;
}

namespace {

void Be16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void Be32(std::vector<uint8_t>& out, uint32_t v) {
  Be16(out, v >> 16);
  Be16(out, v & 0xFFFF);
}

}  // namespace

std::vector<uint8_t> SoftFontHeader(
    uint16_t characters, const std::vector<std::pair<std::string, std::vector<uint8_t>>>& tables) {
  std::vector<uint8_t> gt;
  Be32(gt, 0x00010000);
  Be16(gt, static_cast<uint32_t>(tables.size() + 1));
  Be16(gt, 0);
  Be16(gt, 0);
  Be16(gt, 0);
  gt.insert(gt.end(), {'g', 'd', 'i', 'r'});
  Be32(gt, 0);
  Be32(gt, 0);
  Be32(gt, 0);
  uint32_t offset = static_cast<uint32_t>(12 + 16 * (tables.size() + 1));
  for (const auto& [tag, data] : tables) {
    gt.insert(gt.end(), tag.begin(), tag.end());
    Be32(gt, 0);
    Be32(gt, offset);
    Be32(gt, static_cast<uint32_t>(data.size()));
    offset += static_cast<uint32_t>((data.size() + 3) & ~size_t{3});
  }
  for (const auto& entry : tables) {
    gt.insert(gt.end(), entry.second.begin(), entry.second.end());
    while (gt.size() % 4) gt.push_back(0);
  }
  std::vector<uint8_t> header = {0, 0, 0, 1, 1, 0};
  Be16(header, characters);
  header.insert(header.end(), {'G', 'T'});
  Be32(header, static_cast<uint32_t>(gt.size()));
  header.insert(header.end(), gt.begin(), gt.end());
  header.insert(header.end(), {0xFF, 0xFF, 0, 0, 0, 0});
  return header;
}

std::vector<uint8_t> CharRecord(uint16_t glyph, const std::vector<uint8_t>& glyphData) {
  std::vector<uint8_t> record = {1, 0};
  Be16(record, static_cast<uint32_t>(glyphData.size() + 4));
  Be16(record, glyph);
  record.insert(record.end(), glyphData.begin(), glyphData.end());
  return record;
}

namespace {
std::string IfPresent(const char* path) {
  return Exists(path) ? path : "";
}
}  // namespace

std::string DejaVuSans() {
  return IfPresent("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
}
std::string DejaVuSansOblique() {
  return IfPresent("/usr/share/fonts/truetype/dejavu/DejaVuSans-Oblique.ttf");
}
std::string IpaGothic() {
  return IfPresent("/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf");
}

}  // namespace fndl::test
