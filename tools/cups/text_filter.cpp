// The CUPS filter for text/plain to application/vnd.hp-PCLXL: the job's options and the PPD's
// choices become print options, and the text is printed through the same function as
// `fndl print`. Arguments: job-id user title copies options [file]; the job goes to standard
// output only once it is complete, messages to standard error as CUPS reads them.
#include <cups/cups.h>
#include <cups/ppd.h>
#include <strings.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "print_command.h"

// libcups marks its PPD functions deprecated in favour of driverless IPP printing; a filter for
// a PPD-driven queue has no other way to read the PPD's choices.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"

namespace {

struct PpdClose {
  void operator()(ppd_file_t* ppd) const { ppdClose(ppd); }
};
using Ppd = std::unique_ptr<ppd_file_t, PpdClose>;

// The job's options as parsed by libcups, freed at the end.
class JobOptions {
 public:
  explicit JobOptions(const char* text) : count_(cupsParseOptions(text, 0, &options_)) {}
  ~JobOptions() { cupsFreeOptions(count_, options_); }
  JobOptions(const JobOptions&) = delete;
  JobOptions& operator=(const JobOptions&) = delete;

  const char* Get(const char* name) const { return cupsGetOption(name, count_, options_); }
  void Mark(ppd_file_t* ppd) const { cupsMarkOptions(ppd, count_, options_); }

 private:
  cups_option_t* options_ = nullptr;
  int count_;
};

void Error(const std::string& text) {
  std::fprintf(stderr, "ERROR: %s\n", text.c_str());
}

bool ParseNumber(const char* text, double low, double high, double& value) {
  if (!text || !*text) return false;
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (*end != '\0' || !(v >= low && v <= high)) return false;
  value = v;
  return true;
}

// A job option's value, else the PPD's marked choice (its keyword, or with useText the text
// shown for it), else null.
const char* Setting(const JobOptions& job, ppd_file_t* ppd, const char* name, bool useText) {
  if (const char* value = job.Get(name)) {
    ppd_option_t* option = ppd ? ppdFindOption(ppd, name) : nullptr;
    ppd_choice_t* choice = option ? ppdFindChoice(option, value) : nullptr;
    if (!choice) return value;
    return useText ? choice->text : choice->choice;
  }
  ppd_choice_t* marked = ppd ? ppdFindMarkedChoice(ppd, name) : nullptr;
  if (!marked) return nullptr;
  return useText ? marked->text : marked->choice;
}

// The papers the filter prints on, by the PPD's and the IPP media names.
bool PaperNamed(std::string_view name, fndl::MediaSize& paper) {
  if (name == "A4" || name == "iso_a4_210x297mm") {
    paper = fndl::MediaSize::eA4Paper;
  } else if (name == "Letter" || name == "na_letter_8.5x11in") {
    paper = fndl::MediaSize::eLetterPaper;
  } else if (name == "Legal" || name == "na_legal_8.5x14in") {
    paper = fndl::MediaSize::eLegalPaper;
  } else {
    return false;
  }
  return true;
}

// The paper and the margins: the marked page size, the imageable area as the margins, and the
// CUPS text options page-left, page-top and page-bottom (points) over them.
bool ApplyPage(const JobOptions& job, ppd_file_t* ppd, fndl::PrintOptions& options) {
  ppd_size_t* size = ppd ? ppdPageSize(ppd, nullptr) : nullptr;
  const char* name = size ? size->name : job.Get("media");
  if (name && !PaperNamed(name, options.paper)) {
    Error("the page size " + std::string(name) + " is not supported (A4, Letter, Legal)");
    return false;
  }
  if (size) {
    options.marginLeft = size->left;
    options.marginTop = size->length - size->top;
    options.marginBottom = size->bottom;
  }
  struct Margin {
    const char* name;
    double* value;
  } margins[] = {{"page-left", &options.marginLeft},
                 {"page-top", &options.marginTop},
                 {"page-bottom", &options.marginBottom}};
  for (const Margin& m : margins) {
    const char* value = job.Get(m.name);
    if (value && !ParseNumber(value, 0, 288, *m.value)) {
      Error(std::string(m.name) + " must be a number of points from 0 to 288, not " + value);
      return false;
    }
  }
  return true;
}

// The face, size, weight and line spacing.
bool ApplyText(const JobOptions& job, ppd_file_t* ppd, fndl::PrintOptions& options) {
  if (const char* face = Setting(job, ppd, "FontFace", true)) options.face = face;
  const char* size = Setting(job, ppd, "FontSize", false);
  if (size && !ParseNumber(size, 1, 500, options.size)) {
    Error(std::string("FontSize must be a number of points from 1 to 500, not ") + size);
    return false;
  }
  const char* bold = Setting(job, ppd, "Bold", false);
  options.bold = bold && (strcasecmp(bold, "True") == 0 || strcasecmp(bold, "yes") == 0 ||
                          strcasecmp(bold, "on") == 0);
  // CUPS's text option lpi, else the PPD's LinesPerInch ("Auto": 1.2 times the size).
  const char* lpi = job.Get("lpi");
  if (!lpi) lpi = Setting(job, ppd, "LinesPerInch", false);
  double perInch = 0;
  if (lpi && strcasecmp(lpi, "Auto") != 0) {
    if (!ParseNumber(lpi, 0.1, 72, perInch)) {
      Error(std::string("lines per inch must be a number from 0.1 to 72, not ") + lpi);
      return false;
    }
    options.lineSpacing = 72 / perInch;
  }
  return true;
}

// The character set of the document: CUPS passes the document-format's charset parameter in
// CHARSET; a job option may name one too. UTF-8 when none is given.
std::string Charset(const JobOptions& job) {
  std::string_view format = job.Get("document-format") ? job.Get("document-format") : "";
  size_t at = format.find("charset=");
  if (at != std::string_view::npos) {
    std::string_view name = format.substr(at + 8);
    return std::string(name.substr(0, name.find(';')));
  }
  const char* env = std::getenv("CHARSET");
  return env && *env ? env : "";
}

// The queue's PPD (CUPS names it in PPD; none when the filter runs by hand), its defaults
// marked, then the job's choices.
bool OpenPpd(const JobOptions& job, Ppd& ppd) {
  const char* path = std::getenv("PPD");
  if (!path) return true;
  ppd.reset(ppdOpenFile(path));
  if (!ppd) {
    int line = 0;
    ppd_status_t status = ppdLastError(&line);
    Error(std::string("cannot read the PPD ") + path + ": " + ppdErrorString(status) + " (line " +
          std::to_string(line) + ")");
    return false;
  }
  ppdMarkDefaults(ppd.get());
  job.Mark(ppd.get());
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::setbuf(stderr, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
  if (argc < 6 || argc > 7) {
    std::fprintf(stderr, "Usage: %s job-id user title copies options [file]\n", argv[0]);
    return 1;
  }
  fndl::PrintOptions options;
  options.messages = fndl::MessageStyle::kCupsFilter;
  options.output = "-";
  options.haveInput = true;
  options.input = argc == 7 ? argv[6] : "-";
  options.size = 10;
  // CUPS has typed the document as text already; the filter prints what it is given.
  options.force = true;
  double copies = 1;
  if (!ParseNumber(argv[4], 1, 999, copies) || copies != static_cast<uint32_t>(copies)) {
    Error(std::string("copies must be a whole number from 1 to 999, not ") + argv[4]);
    return 1;
  }
  options.copies = static_cast<uint32_t>(copies);

  JobOptions job(argv[5]);
  Ppd ppd;
  if (!OpenPpd(job, ppd) || !ApplyPage(job, ppd.get(), options) ||
      !ApplyText(job, ppd.get(), options))
    return 1;
  options.charset = Charset(job);
  std::fprintf(stderr, "INFO: printing job %s in \"%s\", %g pt, %u cop%s\n", argv[1],
               options.face.c_str(), options.size, options.copies,
               options.copies == 1 ? "y" : "ies");
  return fndl::RunPrint(options) == 0 ? 0 : 1;
}
