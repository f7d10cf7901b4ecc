#include "print_command.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "file_io.h"
#include "sample_text.h"
#include "tavrfndl.h"
#include "text_utf.h"
#include "xl_names.h"
#include "xlstream_reader.h"

namespace fndl {
namespace {

// The library's page geometry, fixed in page units whatever the resolution: lines end before
// x 4725, and a run stops with a full page in front of a line that its clip box (0, 0, 4900,
// 6400) would cut.
constexpr int32_t kRightLimit = 4725;
// The geometry fits pages of 600 units per inch.
constexpr uint32_t kNativeResolution = 600;

constexpr size_t kMaxRunUnits = 515;  // chText holds 516 units with its terminator
constexpr size_t kMaxPathBytes = 255;
constexpr uint32_t kUprightFontId = 1;  // regular, bold and underlined runs share the glyphs
constexpr uint32_t kItalicFontId = 2;

struct Style {
  bool bold = false, italic = false, underline = false;
};

struct Span {
  Style style;
  std::u16string text;
};

using Paragraph = std::vector<Span>;

struct Layout {
  int32_t left = 0;
  int32_t top = 0;  // baseline of a page's first line
  int32_t lineSpacing = 0;
  int32_t em = 0;  // the character size in page units
};

uint32_t FontIdOf(const Style& style) {
  return style.italic ? kItalicFontId : kUprightFontId;
}

enum class Severity { kError, kWarning, kInfo };

// A process prints one job, so the style is set once by RunPrint.
MessageStyle messageStyle = MessageStyle::kTool;

// The tool's messages carry their "error: " or "warning: " in the text; a filter's carry it in
// the prefix CUPS reads.
void Message(const std::string& text, Severity severity = Severity::kError) {
  if (messageStyle == MessageStyle::kTool) {
    std::fprintf(stderr, "fndl print: %s\n", text.c_str());
    return;
  }
  static constexpr const char* kPrefix[] = {"ERROR: ", "WARNING: ", "INFO: "};
  std::string_view body = text;
  for (std::string_view word : {"error: ", "warning: "}) {
    if (body.rfind(word, 0) == 0) body.remove_prefix(word.size());
  }
  std::fprintf(stderr, "%s%.*s\n", kPrefix[static_cast<int>(severity)],
               static_cast<int>(body.size()), body.data());
}

// A line under a message, such as one character of a list.
void Detail(const std::string& line) {
  std::fprintf(stderr, "%s%s\n",
               messageStyle == MessageStyle::kTool ? "" : "WARNING: ", line.c_str());
}

bool IsTerminal() {
  return isatty(fileno(stderr)) == 1;
}

template <size_t N>
bool CopyWide(const std::u16string& text, FNDL_WCHAR (&field)[N]) {
  if (text.size() >= N) return false;
  std::copy(text.begin(), text.end(), field);
  field[text.size()] = 0;
  return true;
}

bool ValidUtf8(const std::string& text, std::u16string& wide) {
  size_t invalid = 0;
  wide = Utf8ToUtf16(text, &invalid);
  return invalid == 0;
}

// Paragraphs of an input text: one per line, an empty line a blank line. Tabs become spaces
// (the library breaks lines at spaces only), a byte order mark and carriage returns go.
std::vector<Paragraph> ParagraphsOf(const std::vector<uint8_t>& bytes, const Style& style,
                                    size_t& invalid) {
  std::u16string text = Utf8ToUtf16(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), &invalid);
  if (!text.empty() && text[0] == 0xFEFF) text.erase(0, 1);
  std::vector<Paragraph> paragraphs;
  std::u16string line;
  auto flush = [&] {
    if (line.empty()) {
      paragraphs.push_back({});
    } else {
      paragraphs.push_back({Span{style, line}});
    }
    line.clear();
  };
  for (char16_t c : text) {
    if (c == u'\n') {
      flush();
    } else if (c == u'\t') {
      line += u"    ";
    } else if (c != u'\r') {
      line += c;
    }
  }
  if (!line.empty()) flush();
  return paragraphs;
}

std::vector<Paragraph> SampleParagraphs(const Style& base) {
  std::vector<Paragraph> paragraphs;
  for (const SampleParagraph& sample : SampleDocument()) {
    Paragraph paragraph;
    for (const SampleSpan& s : sample) {
      Style style{base.bold || s.bold, base.italic || s.italic, base.underline || s.underline};
      paragraph.push_back({style, Utf8ToUtf16(s.text)});
    }
    paragraphs.push_back(std::move(paragraph));
  }
  return paragraphs;
}

// Checks a font file before the library sees it, to say more than "result 3" about a wrong one.
bool CheckFontFile(const std::string& path, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = "cannot open the font file " + path + ": " + std::strerror(errno);
    return false;
  }
  uint8_t tag[4] = {};
  size_t got = std::fread(tag, 1, 4, file);
  std::fclose(file);
  if (got == 4 && std::memcmp(tag, "\x00\x01\x00\x00", 4) == 0) return true;
  if (got == 4 && std::memcmp(tag, "true", 4) == 0) return true;
  if (got == 4 && std::memcmp(tag, "OTTO", 4) == 0) {
    error = path + " has PostScript (CFF) outlines; only TrueType outlines can be sent";
  } else if (got == 4 && std::memcmp(tag, "ttcf", 4) == 0) {
    error = path + " is a font collection; give a single TrueType font file";
  } else {
    error = path + " is not a TrueType font file";
  }
  return false;
}

class Job {
 public:
  Job(const PrintOptions& options, std::string path, const PAGEINFOW& page, const Layout& layout)
      : options_(options), path_(std::move(path)), page_(page), layout_(layout) {}

  bool Start();
  bool Print(const Paragraph& paragraph);
  bool NewPage();
  // Ends the page and the job and removes the fonts; also after a failure, so that the file
  // is a complete job up to the failure.
  bool Finish();

  size_t pages() const { return pages_; }
  const std::string& error() const { return error_; }
  const std::map<char32_t, size_t>& missing() const { return missing_; }

 private:
  bool Append(const std::vector<uint8_t>& bytes);
  bool PrintRun(std::u16string_view run, const Style& style);
  size_t FileSize() const;
  void CheckLibraryOutput(size_t from);
  void Progress();

  const PrintOptions& options_;
  std::string path_;
  PAGEINFOW page_;
  Layout layout_;
  int32_t y_ = 0;  // baseline of the next line
  size_t pages_ = 0;
  std::set<uint32_t> fontIds_;
  std::map<char32_t, size_t> missing_;
  bool outputUnreadable_ = false;
  std::string error_;
  bool progress_ = IsTerminal();
};

bool Job::Append(const std::vector<uint8_t>& bytes) {
  std::string error;
  if (AppendFile(path_, bytes, error)) return true;
  if (error_.empty()) error_ = error;
  return false;
}

void Job::Progress() {
  if (progress_) std::fprintf(stderr, "\rfndl print: page %zu", pages_);
}

bool Job::Start() {
  std::string error;
  std::string comment = "fndl " TAVRFNDL_VERSION_STRING;
  if (!WriteFile(path_, JobOpening(static_cast<uint16_t>(options_.resolution), comment), error)) {
    error_ = error;
    return false;
  }
  pages_ = 1;
  y_ = layout_.top;
  Progress();
  return Append(PageOpening(options_.paper));
}

bool Job::NewPage() {
  std::vector<uint8_t> bytes = PageClosing();
  std::vector<uint8_t> opening = PageOpening(options_.paper);
  bytes.insert(bytes.end(), opening.begin(), opening.end());
  if (!Append(bytes)) return false;
  ++pages_;
  y_ = layout_.top;
  Progress();
  return true;
}

size_t Job::FileSize() const {
  struct stat info;
  return stat(path_.c_str(), &info) == 0 ? static_cast<size_t>(info.st_size) : 0;
}

// Reads back what the library appended: output that does not parse is worth a warning of its own.
void Job::CheckLibraryOutput(size_t from) {
  std::FILE* file = std::fopen(path_.c_str(), "rb");
  if (!file) return;
  std::vector<uint8_t> bytes;
  bool read =
      std::fseek(file, static_cast<long>(from), SEEK_SET) == 0 && ReadWholeStream(file, bytes);
  std::fclose(file);
  if (!read) return;
  XlStreamReader reader = XlStreamReader::Fragment(bytes.data(), bytes.size());
  XlOperator op;
  XlStreamReader::Result result = XlStreamReader::Result::kOperator;
  while (result == XlStreamReader::Result::kOperator) result = reader.Next(op);
  if (result == XlStreamReader::Result::kError && !outputUnreadable_) {
    outputUnreadable_ = true;
    Message("warning: the library's output at " + FormatOffset(from + reader.errorOffset()) +
                " does not parse: " + reader.error(),
            Severity::kWarning);
  }
}

bool Job::PrintRun(std::u16string_view run, const Style& style) {
  TEXTINFOW text{};
  std::copy(run.begin(), run.end(), text.chText);
  text.chText[run.size()] = 0;
  text.FontHeight = static_cast<int32_t>(std::lround(options_.size * 10));
  text.bBold = style.bold ? 1 : 0;
  text.bItalic = style.italic ? 1 : 0;
  text.bUnderline = style.underline ? 1 : 0;
  text.nStartX = layout_.left;
  PAGEINFOW page = page_;
  page.nFontId = FontIdOf(style);
  fontIds_.insert(page.nFontId);

  int32_t x = layout_.left, y = y_;
  FNDLSetCursor(&x, &y);
  int32_t pageFullAt = -1;  // nOffsetToText of the last page-full result
  while (true) {
    size_t before = FileSize();
    int32_t result = FNDLFontDownloadW(&text, &page);
    CheckLibraryOutput(before);
    switch (result) {
      case FNDL_RESULT_OK:
        y_ = FNDLGetCursor() + layout_.lineSpacing;
        return true;
      case FNDL_RESULT_NO_GLYPH: {
        auto offset = static_cast<size_t>(std::max(text.nOffsetToText, 0));
        if (offset >= run.size()) {
          y_ = FNDLGetCursor() + layout_.lineSpacing;
          return true;
        }
        char32_t c = run[offset];
        size_t skip = 1;
        if (c >= 0xD800 && c <= 0xDBFF && offset + 1 < run.size() && run[offset + 1] >= 0xDC00 &&
            run[offset + 1] <= 0xDFFF) {
          c = 0x10000 + ((c - 0xD800) << 10) + (run[offset + 1] - 0xDC00);
          skip = 2;
        }
        ++missing_[c];
        text.nOffsetToText = static_cast<int32_t>(offset + skip);
        if (offset + skip >= run.size()) {
          y_ = FNDLGetCursor() + layout_.lineSpacing;
          return true;
        }
        x = page.nNextX;
        y = FNDLGetCursor();
        if (x == 0) {
          x = layout_.left;
          y += layout_.lineSpacing;
        }
        FNDLSetCursor(&x, &y);
        break;
      }
      case FNDL_RESULT_PAGE_FULL:
        // A page-full result right after a fresh page with nothing placed would repeat forever.
        if (pageFullAt == text.nOffsetToText) {
          error_ = "the text does not fit on an empty page (is the font size too large?)";
          return false;
        }
        pageFullAt = text.nOffsetToText;
        if (!NewPage()) return false;
        x = layout_.left;
        y = y_;
        FNDLSetCursor(&x, &y);
        text.bPageFull = 0;
        break;
      default:
        error_ = std::string("the library could not print a run in \"") + options_.face +
                 "\" (result " + std::to_string(result) +
                 ": the font could not be downloaded or the job file could not be written)";
        return false;
    }
  }
}

bool Job::Print(const Paragraph& paragraph) {
  if (paragraph.empty()) {
    y_ += layout_.lineSpacing;
    return true;
  }
  for (const Span& span : paragraph) {
    std::u16string_view text = span.text;
    size_t pos = 0;
    while (pos < text.size()) {
      size_t length = std::min(text.size() - pos, kMaxRunUnits);
      if (pos + length < text.size()) {
        // Cut after the last space that fits the record, never inside a surrogate pair.
        size_t space = text.substr(pos, length).rfind(u' ');
        if (space != std::u16string_view::npos) {
          length = space + 1;
        } else if (text[pos + length - 1] >= 0xD800 && text[pos + length - 1] <= 0xDBFF) {
          --length;
        }
      }
      if (!PrintRun(text.substr(pos, length), span.style)) return false;
      pos += length;
    }
  }
  return true;
}

bool Job::Finish() {
  bool ok = Append(PageClosing());
  for (uint32_t id : fontIds_) FNDLRemoveFontW(&id);
  ok = Append(JobClosing()) && ok;
  if (progress_) std::fputc('\n', stderr);
  return ok;
}

Layout MakeLayout(const PrintOptions& options) {
  Layout layout;
  double units = options.resolution;
  layout.em = static_cast<int32_t>(options.size * units / 72);
  double spacing =
      options.lineSpacing > 0 ? options.lineSpacing * units / 72 : options.size * units / 72 * 1.2;
  layout.lineSpacing = std::max<int32_t>(1, static_cast<int32_t>(spacing));
  layout.left = static_cast<int32_t>(options.marginLeft * units / 72);
  layout.top = static_cast<int32_t>(options.marginTop * units / 72) + layout.em;
  return layout;
}

// A temporary job file for "-o -"; its path must fit the library's 255-byte field.
bool MakeTemporaryPath(std::string& path, std::string& error) {
  const char* dir = std::getenv("TMPDIR");
  std::string base = dir && *dir && std::strlen(dir) < 200 ? dir : "/tmp";
  std::vector<char> name(base.begin(), base.end());
  const char pattern[] = "/fndl-XXXXXX.pxl";
  name.insert(name.end(), pattern, pattern + sizeof(pattern));
  int fd = mkstemps(name.data(), 4);
  if (fd < 0) {
    error = "cannot create a temporary file in " + base + ": " + std::strerror(errno);
    return false;
  }
  close(fd);
  path = name.data();
  return true;
}

void ReportMissing(const std::map<char32_t, size_t>& missing, const std::string& face) {
  if (missing.empty()) return;
  size_t total = 0;
  for (const auto& entry : missing) total += entry.second;
  Message(std::to_string(total) + " character" + (total == 1 ? "" : "s") + " had no glyph in \"" +
              face + "\" and " + (total == 1 ? "was" : "were") + " left out:",
          Severity::kWarning);
  for (const auto& [c, count] : missing) {
    Detail("  " + DescribeCodePoint(c) +
           (count > 1 ? " (" + std::to_string(count) + " times)" : ""));
  }
}

// Settings the tool's command line cannot produce but a filter's options can.
bool CheckPlacement(const PrintOptions& options) {
  auto within = [](double v, double low, double high) { return v >= low && v <= high; };
  if (!within(options.marginLeft, 0, 288) || !within(options.marginTop, 0, 288) ||
      !within(options.marginBottom, 0, 288)) {
    Message("margins must be between 0 and 288 points");
    return false;
  }
  if (options.lineSpacing != 0 && !within(options.lineSpacing, 1, 720)) {
    Message("the line spacing must be between 1 and 720 points");
    return false;
  }
  if (options.copies < 1 || options.copies > 999) {
    Message("copies must be between 1 and 999");
    return false;
  }
  return true;
}

// Checks the numbers; 0 when the job can go ahead.
int CheckOptions(const PrintOptions& options) {
  if (!(options.size >= 1 && options.size <= 500)) {
    Message("--size must be between 1 and 500 points");
    return 2;
  }
  if (options.resolution < 72 || options.resolution > 4800) {
    Message("--resolution must be between 72 and 4800");
    return 2;
  }
  if (!CheckPlacement(options)) return 2;
  if (options.resolution < kNativeResolution) {
    Message("warning: the library breaks lines at x " + std::to_string(kRightLimit) +
                " page units, which at " + std::to_string(options.resolution) +
                " units per inch lies beyond the paper's edge; lines will run off the page",
            Severity::kWarning);
  } else if (options.resolution != kNativeResolution) {
    Message("warning: the library's fixed page limits are made for 600 units per inch; at " +
                std::to_string(options.resolution) + " the text uses only part of the page",
            Severity::kWarning);
  }
  return 0;
}

bool ReadParagraphs(const PrintOptions& options, std::vector<Paragraph>& paragraphs) {
  Style base{options.bold, options.italic, options.underline};
  if (!options.haveInput) {
    paragraphs = SampleParagraphs(base);
    return true;
  }
  std::vector<uint8_t> bytes;
  std::string error;
  if (!ReadWholeFile(options.input, bytes, error)) {
    Message(error);
    return false;
  }
  size_t unconverted = 0, invalid = 0;
  if (!ConvertToUtf8(options.charset, bytes, unconverted, error)) {
    Message(error);
    return false;
  }
  paragraphs = ParagraphsOf(bytes, base, invalid);
  if (invalid + unconverted) {
    Message("warning: " + std::to_string(invalid + unconverted) + " invalid " +
                (options.charset.empty() ? "UTF-8" : options.charset) +
                " sequences in the input were replaced by U+FFFD",
            Severity::kWarning);
  }
  return true;
}

// What CUPS counts: one line per page of the job it received.
void ReportPages(size_t pages) {
  if (messageStyle != MessageStyle::kCupsFilter) return;
  for (size_t i = 1; i <= pages; ++i) std::fprintf(stderr, "PAGE: %zu 1\n", i);
}

}  // namespace

int RunPrint(const PrintOptions& options) {
  messageStyle = options.messages;
  if (int status = CheckOptions(options)) return status;
  std::vector<Paragraph> paragraphs;
  if (!ReadParagraphs(options, paragraphs)) return 1;

  PAGEINFOW page{};
  std::u16string face;
  if (!ValidUtf8(options.face, face) || face.empty()) {
    Message("the font name is empty or not valid UTF-8");
    return 2;
  }
  if (IsRegularFile(options.face)) {
    std::string error;
    if (!CheckFontFile(options.face, error)) {
      Message(error);
      return 1;
    }
    page.bTTE = 1;
  } else if (options.face.find('/') != std::string::npos) {
    Message("font file not found: " + options.face);
    return 1;
  }
  // The library names the soft font "OT:<id>:<face>:n" in a 256-byte field.
  if (options.face.size() > kMaxPathBytes - 16 || !CopyWide(face, page.chFont)) {
    Message("the font name or path is too long for the library (at most 239 bytes)");
    return 1;
  }

  bool toStdout = options.output == "-";
  std::string path = options.output;
  std::string error;
  if (toStdout && !MakeTemporaryPath(path, error)) {
    Message(error);
    return 1;
  }
  std::u16string widePath;
  if (!ValidUtf8(path, widePath) || path.size() > kMaxPathBytes ||
      !CopyWide(widePath, page.chOutFile)) {
    Message("the output path must be valid UTF-8 of at most 255 bytes: " + path);
    if (toStdout) std::remove(path.c_str());
    return 1;
  }
  Layout layout = MakeLayout(options);
  page.nResolution = options.resolution;
  page.nLineSpacing = static_cast<uint32_t>(layout.lineSpacing);
  page.lfWeight = 400;

  Job job(options, path, page, layout);
  bool ok = job.Start();
  for (uint32_t copy = 0; ok && copy < options.copies; ++copy) {
    if (copy > 0) ok = job.NewPage();
    for (size_t i = 0; ok && i < paragraphs.size(); ++i) ok = job.Print(paragraphs[i]);
  }
  bool closed = job.pages() > 0 && job.Finish();

  ReportMissing(job.missing(), options.face);
  std::string where = toStdout ? "standard output" : path;
  if (!ok || !closed) {
    Message("error: " + (job.error().empty() ? "writing " + path + " failed" : job.error()));
    if (toStdout) {
      Message("nothing was written to standard output");
    } else if (closed) {
      Message("the job in " + path + " is complete as a job but its text stops at the failure");
    } else if (job.pages() > 0) {
      Message("the job in " + path + " is incomplete and will not print properly");
    }
    if (toStdout) std::remove(path.c_str());
    return 1;
  }
  if (toStdout) {
    bool copied = CopyFileTo(path, stdout, error);
    std::remove(path.c_str());
    if (!copied) {
      Message(error);
      return 1;
    }
  }
  ReportPages(job.pages());
  Message("wrote " + std::to_string(job.pages()) + " page" + (job.pages() == 1 ? "" : "s") +
              " to " + where,
          Severity::kInfo);
  return 0;
}

}  // namespace fndl
