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

#include "face_match.h"
#include "file_io.h"
#include "pclxl/xlstream_reader.h"
#include "sample_text.h"
#include "tavrfndl.h"
#include "text_utf.h"

namespace fndl {
namespace {

namespace xl = tavrfndl::pclxl;
using tavrfndl::pclxl::Attribute;
using tavrfndl::pclxl::FormatOffset;
using tavrfndl::pclxl::Operator;
using tavrfndl::pclxl::XlAttribute;
using tavrfndl::pclxl::XlOperator;
using tavrfndl::pclxl::XlStreamReader;

// The library's page geometry, fixed in page units: lines end before x 4725, and a run stops
// with a full page in front of a line that its clip box (0, 0, 4900, 6400) would cut. The job's
// units are 600 per inch, what the geometry is made for.
constexpr int32_t kRightLimit = 4725;
constexpr int32_t kClipBottom = 6400;
constexpr uint32_t kUnitsPerInch = 600;

constexpr size_t kMaxRunUnits = 515;  // chText holds 516 units with its terminator
constexpr size_t kMaxPathBytes = 255;
constexpr uint32_t kUprightFontId = 1;  // regular, bold and underlined runs share the glyphs
constexpr uint32_t kItalicFontId = 2;

struct Style {
  bool bold = false, italic = false, underline = false;
};

// A span's text has no line breaks; a tab moves to the next tab stop, and a span that is a
// form feed alone ends the page.
struct Span {
  Style style;
  std::u16string text;
};
constexpr char16_t kFormFeed = u'\f';

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

bool IsPageBreak(const Paragraph& paragraph) {
  return paragraph.size() == 1 && paragraph[0].text.size() == 1 &&
         paragraph[0].text[0] == kFormFeed;
}

// Paragraphs of an input text: one per line, an empty line a blank line, a form feed a page
// break of its own (none at the end of the text). A byte order mark and carriage returns go.
std::vector<Paragraph> ParagraphsOf(const std::u16string& input, const Style& style) {
  std::u16string_view text = input;
  if (!text.empty() && text[0] == 0xFEFF) text.remove_prefix(1);
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
    } else if (c == kFormFeed) {
      if (!line.empty()) flush();
      paragraphs.push_back({Span{style, std::u16string(1, kFormFeed)}});
    } else if (c != u'\r') {
      line += c;
    }
  }
  if (!line.empty()) flush();
  // Blank lines behind the last page break move nothing; the break would add an empty page.
  size_t end = paragraphs.size();
  while (end > 0 && (paragraphs[end - 1].empty() || IsPageBreak(paragraphs[end - 1]))) --end;
  if (std::any_of(paragraphs.begin() + static_cast<ptrdiff_t>(end), paragraphs.end(),
                  IsPageBreak)) {
    paragraphs.resize(end);
  }
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
  // TrueType outlines, or CFF ones (OpenType "OTTO"), which the library converts as it sends them.
  if (got == 4 && (std::memcmp(tag, "\x00\x01\x00\x00", 4) == 0 ||
                   std::memcmp(tag, "true", 4) == 0 || std::memcmp(tag, "OTTO", 4) == 0)) {
    return true;
  }
  if (got == 4 && std::memcmp(tag, "ttcf", 4) == 0) {
    error = path + " is a font collection; give a single font file";
  } else {
    error = path + " is not a TrueType or OpenType font file";
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
  bool PrintSegment(std::u16string_view text, const Style& style);
  // What a run does after one call of the library: it is done, calls again, or has failed.
  enum class Step { kDone, kAgain, kFailed };

  bool PrintRun(std::u16string_view run, const Style& style);
  TEXTINFOW RunText(std::u16string_view run, const Style& style) const;
  Step RunEnded();
  Step SkipMissing(std::u16string_view run, TEXTINFOW& text, int32_t nextX);
  Step TurnPage(TEXTINFOW& text, int32_t& pageFullAt);
  Step LibraryFailed(int32_t result);
  void MoveTo(int32_t x, int32_t y);
  void TabStop();
  size_t FileSize() const;
  void CheckLibraryOutput(size_t from);
  void ReadBack(const XlOperator& op);
  void Progress();

  const PrintOptions& options_;
  std::string path_;
  PAGEINFOW page_;
  Layout layout_;
  int32_t y_ = 0;  // baseline of the next paragraph's first line
  // Where the text written so far ends, read back from the library's output: a paragraph's
  // next run goes on there rather than on a line of its own.
  bool lineStart_ = true;
  int32_t endX_ = 0, endY_ = 0;
  int32_t spaceAdvance_ = 0;  // the last space's advance, for tab stops
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
  if (!WriteFile(path_, JobOpening(kUnitsPerInch, comment), error)) {
    error_ = error;
    return false;
  }
  pages_ = 1;
  y_ = layout_.top;
  lineStart_ = true;
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
  lineStart_ = true;
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
  while ((result = reader.Next(op)) == XlStreamReader::Result::kOperator) ReadBack(op);
  if (result == XlStreamReader::Result::kError && !outputUnreadable_) {
    outputUnreadable_ = true;
    Message("warning: the library's output at " + FormatOffset(from + reader.errorOffset()) +
                " does not parse: " + reader.error(),
            Severity::kWarning);
  }
}

// Each line the library writes is a SetCursor and a Text with an advance for every character.
void Job::ReadBack(const XlOperator& op) {
  const XlAttribute* point = op.tag == Operator::SetCursor ? op.Find(Attribute::Point) : nullptr;
  if (point) {
    endX_ = static_cast<int32_t>(point->value.number[0]);
    endY_ = static_cast<int32_t>(point->value.number[1]);
  }
  const XlAttribute* text = op.tag == Operator::Text ? op.Find(Attribute::TextData) : nullptr;
  const XlAttribute* advances =
      op.tag == Operator::Text ? op.Find(Attribute::XSpacingData) : nullptr;
  if (!text || !advances) return;
  for (uint32_t i = 0; i < advances->value.count; ++i) {
    auto advance = static_cast<int32_t>(advances->value.Element(i));
    endX_ += advance;
    if (i < text->value.count && text->value.Element(i) == u' ') spaceAdvance_ = advance;
  }
}

void Job::MoveTo(int32_t x, int32_t y) {
  endX_ = x;
  endY_ = y;
  FNDLSetCursor(&x, &y);
}

// The character at offset, a surrogate pair as one; skip is set to its units.
char32_t CodePointAt(std::u16string_view run, size_t offset, size_t& skip) {
  char32_t c = run[offset];
  skip = 1;
  if (c >= 0xD800 && c <= 0xDBFF && offset + 1 < run.size() && run[offset + 1] >= 0xDC00 &&
      run[offset + 1] <= 0xDFFF) {
    c = 0x10000 + ((c - 0xD800) << 10) + (run[offset + 1] - 0xDC00);
    skip = 2;
  }
  return c;
}

TEXTINFOW Job::RunText(std::u16string_view run, const Style& style) const {
  TEXTINFOW text{};
  std::copy(run.begin(), run.end(), text.chText);
  text.chText[run.size()] = 0;
  text.FontHeight = static_cast<int32_t>(std::lround(options_.size * 10));
  text.bBold = style.bold ? 1 : 0;
  text.bItalic = style.italic ? 1 : 0;
  text.bUnderline = style.underline ? 1 : 0;
  text.nStartX = layout_.left;
  return text;
}

bool Job::PrintRun(std::u16string_view run, const Style& style) {
  TEXTINFOW text = RunText(run, style);
  PAGEINFOW page = page_;
  page.nFontId = FontIdOf(style);
  fontIds_.insert(page.nFontId);
  MoveTo(lineStart_ ? layout_.left : endX_, lineStart_ ? y_ : endY_);
  int32_t pageFullAt = -1;  // nOffsetToText of the last page-full result
  for (Step step = Step::kAgain; step == Step::kAgain;) {
    size_t before = FileSize();
    int32_t result = FNDLFontDownloadW(&text, &page);
    CheckLibraryOutput(before);
    switch (result) {
      case FNDL_RESULT_OK:
        step = RunEnded();
        break;
      case FNDL_RESULT_NO_GLYPH:
        step = SkipMissing(run, text, page.nNextX);
        break;
      case FNDL_RESULT_PAGE_FULL:
        step = TurnPage(text, pageFullAt);
        break;
      default:
        step = LibraryFailed(result);
    }
    if (step != Step::kAgain) return step == Step::kDone;
  }
  return false;
}

// The paragraph's next run goes on behind this one.
Job::Step Job::RunEnded() {
  y_ = FNDLGetCursor() + layout_.lineSpacing;
  lineStart_ = false;
  return Step::kDone;
}

// The library stopped in front of a character without a glyph: it is counted and left out, and
// the run goes on behind it, where the library says.
Job::Step Job::SkipMissing(std::u16string_view run, TEXTINFOW& text, int32_t nextX) {
  auto offset = static_cast<size_t>(std::max(text.nOffsetToText, 0));
  if (offset >= run.size()) return RunEnded();
  size_t skip = 1;
  ++missing_[CodePointAt(run, offset, skip)];
  text.nOffsetToText = static_cast<int32_t>(offset + skip);
  int32_t x = nextX, y = FNDLGetCursor();
  if (offset + skip >= run.size()) {
    // Behind a stop beyond the line's end (nNextX 0) the paragraph goes on below.
    y_ = y + layout_.lineSpacing;
    lineStart_ = x == 0;
    if (x != 0) MoveTo(x, y);
    return Step::kDone;
  }
  if (x == 0) {
    x = layout_.left;
    y += layout_.lineSpacing;
  }
  MoveTo(x, y);
  return Step::kAgain;
}

Job::Step Job::TurnPage(TEXTINFOW& text, int32_t& pageFullAt) {
  // A page-full result right after a fresh page with nothing placed would repeat forever.
  if (pageFullAt == text.nOffsetToText) {
    error_ = "the text does not fit on an empty page (is the font size too large?)";
    return Step::kFailed;
  }
  pageFullAt = text.nOffsetToText;
  if (!NewPage()) return Step::kFailed;
  MoveTo(layout_.left, y_);
  text.bPageFull = 0;
  return Step::kAgain;
}

Job::Step Job::LibraryFailed(int32_t result) {
  error_ = std::string("the library could not print a run in \"") + options_.face + "\" (result " +
           std::to_string(result) +
           ": the font could not be downloaded or the job file could not be written)";
  return Step::kFailed;
}

bool Job::Print(const Paragraph& paragraph) {
  if (paragraph.empty()) {
    y_ += layout_.lineSpacing;
    return true;
  }
  if (IsPageBreak(paragraph)) return NewPage();
  lineStart_ = true;
  for (const Span& span : paragraph) {
    std::u16string_view text = span.text;
    // A tab is printed as a space, whose advance the output then tells, and the text behind it
    // starts at the next stop.
    for (size_t tab; (tab = text.find(u'\t')) != std::u16string_view::npos;) {
      std::u16string segment(text.substr(0, tab));
      if (!PrintSegment(segment + u' ', span.style)) return false;
      TabStop();
      text.remove_prefix(tab + 1);
    }
    if (!PrintSegment(text, span.style)) return false;
  }
  return true;
}

// Runs of at most what the record holds, each cut in front of a space: at a line's end the
// library then breaks at that space, so a word never starts behind the right limit.
bool Job::PrintSegment(std::u16string_view text, const Style& style) {
  while (!text.empty()) {
    size_t length = std::min(text.size(), kMaxRunUnits);
    if (length < text.size()) {
      size_t space = text.substr(0, length).rfind(u' ');
      if (space != std::u16string_view::npos && space > 0) {
        length = space;
      } else if (text[length - 1] >= 0xD800 && text[length - 1] <= 0xDBFF) {
        --length;  // never inside a surrogate pair
      }
    }
    if (!PrintRun(text.substr(0, length), style)) return false;
    text.remove_prefix(length);
  }
  return true;
}

// The next stop right of where the text ends, measured from the left margin; past the line's
// end the text goes on at the start of the next line.
void Job::TabStop() {
  if (lineStart_) return;
  int32_t width = std::max<int32_t>(1, spaceAdvance_) * static_cast<int32_t>(options_.tabColumns);
  int32_t column = std::max<int32_t>(0, endX_ - layout_.left);
  int32_t stop = layout_.left + (column + width - 1) / width * width;
  if (stop < kRightLimit) {
    endX_ = stop;
  } else {
    lineStart_ = true;
    y_ = endY_ + layout_.lineSpacing;
  }
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
  double units = kUnitsPerInch;
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

// The library's lines reach x 4725 and its clip box y 6400 whatever the paper: a paper that
// does not hold them, or margins that leave no line, would put text outside the page.
bool CheckPaper(const PrintOptions& options) {
  const xl::Paper* paper = xl::PaperOf(static_cast<uint8_t>(options.paper));
  if (!paper) {
    Message("the page size is not one of PCL XL's");
    return false;
  }
  const uint32_t width = paper->Width(kUnitsPerInch), height = paper->Height(kUnitsPerInch);
  auto inches = [](double units) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f in", units / kUnitsPerInch);
    return std::string(text);
  };
  if (width < static_cast<uint32_t>(kRightLimit) || height < static_cast<uint32_t>(kClipBottom)) {
    Message(std::string("the page size ") + NameOf(options.paper) + " (" + inches(width) + " x " +
            inches(height) + ") is too small: the library's lines reach " + inches(kRightLimit) +
            " from the left edge and " + inches(kClipBottom) + " from the top");
    return false;
  }
  Layout layout = MakeLayout(options);
  if (layout.left + layout.em > kRightLimit || layout.top > kClipBottom) {
    Message("the margins leave no room for a line of text: lines end " + inches(kRightLimit) +
            " from the left edge and the last one " + inches(kClipBottom) + " from the top");
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
  if (options.tabColumns < 1 || options.tabColumns > 100) {
    Message("tab stops must be 1 to 100 columns apart");
    return 2;
  }
  if (!CheckPlacement(options) || !CheckPaper(options)) return 2;
  return 0;
}

// A program or an image printed as text is pages of noise: refused, with the reason, unless
// forced. Text has no NUL bytes; a text in another encoding read as UTF-8 has a few invalid
// sequences among its characters, not one in ten.
bool LooksLikeText(const PrintOptions& options, const std::vector<uint8_t>& bytes, size_t units,
                   size_t invalid) {
  std::string name = options.input == "-" ? "standard input" : options.input;
  std::string reason;
  if (std::find(bytes.begin(), bytes.end(), 0) != bytes.end()) {
    reason = "it has NUL bytes";
  } else if (invalid * 10 > units) {
    reason = std::to_string(invalid) + " of its " + std::to_string(units) +
             " characters are invalid " + (options.charset.empty() ? "UTF-8" : options.charset);
  } else {
    return true;
  }
  Message(name + " does not look like text (" + reason + "); --force prints it anyway");
  return false;
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
  std::u16string text = Utf8ToUtf16(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()), &invalid);
  if (!options.force && !LooksLikeText(options, bytes, text.size(), invalid)) return false;
  paragraphs = ParagraphsOf(text, base);
  if (invalid + unconverted) {
    Message("warning: " + std::to_string(invalid + unconverted) + " invalid " +
                (options.charset.empty() ? "UTF-8" : options.charset) +
                " sequences in the input were replaced by U+FFFD",
            Severity::kWarning);
  }
  return true;
}

// The font engine takes a family's best face with TrueType or CFF outlines, of another family when
// the requested one has none (not installed, or only as Type 1 or bitmap fonts). Said before the
// job is written; an error with --strict.
bool CheckSubstitution(const PrintOptions& options, const std::vector<Paragraph>& paragraphs) {
  bool italic = false;
  for (const Paragraph& paragraph : paragraphs) {
    for (const Span& span : paragraph) italic = italic || span.style.italic;
  }
  for (bool slant : {false, true}) {
    if (slant && !italic) break;
    FaceMatch match = MatchFamily(options.face, slant);
    if (!match.found || match.sameFamily) continue;
    std::string text = "no face of \"" + options.face + "\" is installed; the font engine uses \"" +
                       match.family + "\" (" + match.file + ") in its place";
    if (options.strict) {
      Message("error: " + text + " (--strict)");
      return false;
    }
    Message("warning: " + text, Severity::kWarning);
    return true;
  }
  return true;
}

// The face the library is to use, checked, into the page record; 0, or the exit status.
int SetFace(const PrintOptions& options, const std::vector<Paragraph>& paragraphs,
            PAGEINFOW& page) {
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
    page.bTTE = options.fileMode ? 1 : 0;
  } else if (options.face.find('/') != std::string::npos) {
    Message("font file not found: " + options.face);
    return 1;
  } else if (options.fileMode) {
    Message("--file-mode needs the path of a TrueType file, not the family " + options.face);
    return 2;
  } else if (!CheckSubstitution(options, paragraphs)) {
    return 1;
  }
  // The library names the soft font "OT:<id>:<face>:n" in a 256-byte field.
  if (options.face.size() > kMaxPathBytes - 16 || !CopyWide(face, page.chFont)) {
    Message("the font name or path is too long for the library (at most 239 bytes)");
    return 1;
  }
  return 0;
}

// Where the job is written: the output file, or a temporary one for standard output, which goes
// when the job has been copied out or has failed.
struct JobPath {
  std::string path;
  bool toStdout = false;
  void Discard() const {
    if (toStdout) std::remove(path.c_str());
  }
};

// The job's path, into the page record; false (said) when it cannot be used.
bool SetOutput(const PrintOptions& options, PAGEINFOW& page, JobPath& job) {
  job.toStdout = options.output == "-";
  job.path = options.output;
  std::string error;
  if (job.toStdout && !MakeTemporaryPath(job.path, error)) {
    Message(error);
    return false;
  }
  std::u16string widePath;
  if (!ValidUtf8(job.path, widePath) || job.path.size() > kMaxPathBytes ||
      !CopyWide(widePath, page.chOutFile)) {
    Message("the output path must be valid UTF-8 of at most 255 bytes: " + job.path);
    job.Discard();
    return false;
  }
  return true;
}

// Every copy of the paragraphs, then the job's end; false when the text stopped at a failure.
bool PrintCopies(Job& job, const std::vector<Paragraph>& paragraphs, uint32_t copies,
                 bool& closed) {
  bool ok = job.Start();
  for (uint32_t copy = 0; ok && copy < copies; ++copy) {
    if (copy > 0) ok = job.NewPage();
    for (size_t i = 0; ok && i < paragraphs.size(); ++i) ok = job.Print(paragraphs[i]);
  }
  closed = job.pages() > 0 && job.Finish();
  return ok;
}

int ReportFailure(const Job& job, const JobPath& out, bool closed) {
  Message("error: " + (job.error().empty() ? "writing " + out.path + " failed" : job.error()));
  if (out.toStdout) {
    Message("nothing was written to standard output");
  } else if (closed) {
    Message("the job in " + out.path + " is complete as a job but its text stops at the failure");
  } else if (job.pages() > 0) {
    Message("the job in " + out.path + " is incomplete and will not print properly");
  }
  out.Discard();
  return 1;
}

// What CUPS counts: one line per page of the job it received.
void ReportPages(size_t pages) {
  if (messageStyle != MessageStyle::kCupsFilter) return;
  for (size_t i = 1; i <= pages; ++i) std::fprintf(stderr, "PAGE: %zu 1\n", i);
}

int ReportSuccess(const Job& job, const JobPath& out) {
  if (out.toStdout) {
    std::string error;
    bool copied = CopyFileTo(out.path, stdout, error);
    out.Discard();
    if (!copied) {
      Message(error);
      return 1;
    }
  }
  ReportPages(job.pages());
  Message("wrote " + std::to_string(job.pages()) + " page" + (job.pages() == 1 ? "" : "s") +
              " to " + (out.toStdout ? "standard output" : out.path),
          Severity::kInfo);
  return 0;
}

}  // namespace

int RunPrint(const PrintOptions& options) {
  messageStyle = options.messages;
  if (int status = CheckOptions(options)) return status;
  std::vector<Paragraph> paragraphs;
  if (!ReadParagraphs(options, paragraphs)) return 1;
  PAGEINFOW page{};
  if (int status = SetFace(options, paragraphs, page)) return status;
  JobPath out;
  if (!SetOutput(options, page, out)) return 1;
  Layout layout = MakeLayout(options);
  page.nResolution = kUnitsPerInch;
  page.nLineSpacing = static_cast<uint32_t>(layout.lineSpacing);
  page.lfWeight = 400;

  Job job(options, out.path, page, layout);
  bool closed = false;
  bool ok = PrintCopies(job, paragraphs, options.copies, closed);
  ReportMissing(job.missing(), options.face);
  if (!ok || !closed) return ReportFailure(job, out, closed);
  return ReportSuccess(job, out);
}

}  // namespace fndl
