// Mutant campaign: many damaged copies of real fonts (tests/support/font_mutants.h) printed
// through the C interface in file and engine mode, every job read by the strict printer
// (tests/support/strict_consumer.h). Prints how the library answered: fonts refused whole,
// fonts sent, characters turned away, jobs the strict printer rejects (with their first
// findings), crashes and hangs.
//
//   mutant_campaign [--count N] [--seed S] [--show K] [--font PATH]...
//
// N mutants in all (default 300), taken from the fonts in turn (default: DejaVu Sans, Liberation
// Sans, IPAGothic, those present). Each mutant runs in a child process of its own, so that a
// crash or a hang is counted and named and the campaign goes on, and no mutant sees the
// library's state after another. Exit status 1 when any job fails or any child crashes.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "hostile/stream_checks.h"
#include "support/font_mutants.h"
#include "support/strict_print.h"

namespace {

using tavrfndl::test::FontMutant;
using tavrfndl::test::FontMutator;
using tavrfndl::testing::FontMode;
using tavrfndl::testing::StrictPrint;

constexpr unsigned kSecondsPerMutant = 120;
constexpr size_t kTextLength = 160;
constexpr const char* kDefaultFonts[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"};

struct Options {
  size_t count = 300;
  uint64_t seed = 1;
  size_t show = 10;
  std::vector<std::string> fonts;
};

struct Font {
  std::string path;
  FontMutator mutator;
  std::u16string text;
};

// What a child reports for one mode, one line on its pipe.
struct ModeResult {
  bool sent = false;
  int firstResult = -1, lastResult = -1;
  size_t noGlyph = 0, records = 0, findings = 0;
  std::string firstFinding;  // the strict printer's, or the stream check's
};

std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\t') c = ' ';
  }
  return text;
}

ModeResult RunMode(const Font& font, const std::string& path, FontMode mode) {
  const tavrfndl::testing::PrintExports exports{&FNDLFontDownloadW, &FNDLRemoveFontW,
                                                &FNDLGetCursor, &FNDLSetCursor};
  const StrictPrint print = tavrfndl::testing::PrintStrictly(
      exports, path, mode, 1, font.text, tavrfndl::fuzz::ScratchPath("job.pxl"));
  ModeResult r{print.fontSent(),
               print.firstResult,
               print.lastResult,
               print.noGlyph,
               print.report.glyphRecords,
               print.report.findings.size(),
               ""};
  const std::string stream = tavrfndl::testing::StreamProblem(print.job);
  if (!stream.empty()) {
    ++r.findings;
    r.firstFinding = "stream check: " + stream;
  } else if (!print.report.ok()) {
    r.firstFinding = print.report.findings.front();
  }
  return r;
}

void ChildRun(const Font& font, const FontMutant& mutant, int out) {
  alarm(kSecondsPerMutant);
  const std::string path = tavrfndl::fuzz::ScratchPath("mutant.ttf");
  tavrfndl::fuzz::WriteNewFile(path, mutant.bytes);
  std::string lines;
  for (FontMode mode : {FontMode::kFile, FontMode::kEngine}) {
    const ModeResult r = RunMode(font, path, mode);
    char head[128];
    std::snprintf(head, sizeof head, "%d\t%d\t%d\t%zu\t%zu\t%zu\t", r.sent ? 1 : 0, r.firstResult,
                  r.lastResult, r.noGlyph, r.records, r.findings);
    lines += head + OneLine(r.firstFinding).substr(0, 400) + "\n";
  }
  // _exit runs no exit handler: the scratch folder (the mutant and its job, megabytes each)
  // would stay behind for every mutant and fill the disk in one campaign.
  std::error_code ec;
  std::filesystem::remove_all(tavrfndl::fuzz::ScratchDir(), ec);
  if (write(out, lines.data(), lines.size()) != static_cast<ssize_t>(lines.size())) _exit(3);
  _exit(0);
}

bool ParseMode(const std::string& line, ModeResult& r) {
  char finding[512] = {};
  int sent = 0;
  const int n =
      std::sscanf(line.c_str(), "%d\t%d\t%d\t%zu\t%zu\t%zu\t%511[^\n]", &sent, &r.firstResult,
                  &r.lastResult, &r.noGlyph, &r.records, &r.findings, finding);
  r.sent = sent != 0;
  r.firstFinding = finding;
  return n >= 6;
}

// The outcome of one mutant: both modes, or how the child ended.
struct Outcome {
  bool completed = false;
  std::string ending;  // "crash (signal 11)", "hang", ...
  ModeResult modes[2];
};

Outcome RunMutant(const Font& font, const FontMutant& mutant) {
  Outcome o;
  int fds[2];
  if (pipe(fds) != 0) tavrfndl::fuzz::Violation("pipe");
  std::fflush(nullptr);
  const pid_t child = fork();
  if (child < 0) tavrfndl::fuzz::Violation("fork");
  if (child == 0) {
    close(fds[0]);
    ChildRun(font, mutant, fds[1]);
  }
  close(fds[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;) text.append(buffer, n);
  close(fds[0]);
  int status = 0;
  waitpid(child, &status, 0);
  if (WIFSIGNALED(status)) {
    o.ending = WTERMSIG(status) == SIGALRM
                   ? "hang"
                   : "crash (signal " + std::to_string(WTERMSIG(status)) + ")";
    return o;
  }
  const size_t split = text.find('\n');
  o.completed = WIFEXITED(status) && WEXITSTATUS(status) == 0 && split != std::string::npos &&
                ParseMode(text.substr(0, split), o.modes[0]) &&
                ParseMode(text.substr(split + 1), o.modes[1]);
  if (!o.completed) o.ending = "child ended with status " + std::to_string(status);
  return o;
}

// A finding with its numbers and font name taken out, so that findings of one kind count
// together.
std::string FindingKind(const std::string& finding) {
  std::string kind;
  size_t start = 0;
  if (finding.rfind("font \"", 0) == 0) {
    const size_t close = finding.find("\": ", 6);
    if (close != std::string::npos) start = close + 3;
  }
  for (size_t i = start; i < finding.size(); ++i) {
    const bool digit = finding[i] >= '0' && finding[i] <= '9';
    if (!digit) {
      kind += finding[i];
    } else if (kind.empty() || kind.back() != '#') {
      kind += '#';
    }
  }
  return kind.substr(0, 110);
}

struct Tally {
  size_t jobs = 0, refused = 0, sentWhole = 0, failedAfterSending = 0, noGlyph = 0, records = 0,
         strictFailures = 0;
};

struct Campaign {
  Tally modes[2];
  size_t mutants = 0, crashes = 0;
  std::map<std::string, size_t> mutantsPerFont, mutantsByMutation, failuresByMutation, findingKinds;
  size_t rejectedMutants = 0;
  std::vector<std::string> examples, crashList;
};

void Count(Campaign& c, const Font& font, const FontMutant& mutant, size_t index, const Outcome& o,
           size_t show) {
  ++c.mutants;
  ++c.mutantsPerFont[font.path];
  ++c.mutantsByMutation[tavrfndl::test::MutationKindName(mutant.kind)];
  const std::string name = std::filesystem::path(font.path).filename().string() + " mutant " +
                           std::to_string(index) + " (" + mutant.what + ")";
  if (!o.completed) {
    ++c.crashes;
    c.crashList.push_back(name + ": " + o.ending);
    return;
  }
  bool failed = false;
  for (int m = 0; m < 2; ++m) {
    const ModeResult& r = o.modes[m];
    Tally& t = c.modes[m];
    ++t.jobs;
    t.noGlyph += r.noGlyph;
    t.records += r.records;
    if (!r.sent) {
      ++t.refused;
    } else {
      ++t.sentWhole;
      t.failedAfterSending += r.lastResult == FNDL_RESULT_FAILED;
    }
    if (r.findings == 0) continue;
    failed = true;
    ++t.strictFailures;
    ++c.findingKinds[FindingKind(r.firstFinding)];
    if (c.examples.size() < show) {
      c.examples.push_back(name + ", " +
                           FontModeName(m == 0 ? FontMode::kFile : FontMode::kEngine) + ": " +
                           r.firstFinding);
    }
  }
  if (!failed) return;
  ++c.rejectedMutants;
  ++c.failuresByMutation[tavrfndl::test::MutationKindName(mutant.kind)];
}

void Report(const Campaign& c, const Options& options) {
  std::printf("mutants: %zu (seed %llu)\n", c.mutants,
              static_cast<unsigned long long>(options.seed));
  for (const auto& [path, n] : c.mutantsPerFont) std::printf("  %6zu  %s\n", n, path.c_str());
  std::printf("\n%-46s %10s %10s\n", "", "file mode", "engine");
  const auto row = [&](const char* label, size_t Tally::*field) {
    std::printf("%-46s %10zu %10zu\n", label, c.modes[0].*field, c.modes[1].*field);
  };
  row("jobs", &Tally::jobs);
  row("nothing of the font sent (refused whole)", &Tally::refused);
  row("font sent", &Tally::sentWhole);
  row("  of them ending in result 3", &Tally::failedAfterSending);
  row("characters answered with result 1", &Tally::noGlyph);
  row("character records sent (components included)", &Tally::records);
  row("jobs the strict printer rejects", &Tally::strictFailures);
  std::printf("\ncrashes and hangs: %zu\n", c.crashes);
  for (const std::string& line : c.crashList) std::printf("  %s\n", line.c_str());
  std::printf("\nmutants with a rejected job: %zu of %zu, by mutation:\n", c.rejectedMutants,
              c.mutants);
  for (const auto& [kind, n] : c.mutantsByMutation) {
    const auto failed = c.failuresByMutation.find(kind);
    std::printf("  %6zu of %6zu  %s\n", failed == c.failuresByMutation.end() ? 0 : failed->second,
                n, kind.c_str());
  }
  std::printf("\nfirst findings of rejected jobs, by kind:\n");
  std::vector<std::pair<size_t, std::string>> kinds;
  for (const auto& [kind, n] : c.findingKinds) kinds.push_back({n, kind});
  std::sort(kinds.rbegin(), kinds.rend());
  for (const auto& [n, kind] : kinds) std::printf("  %6zu  %s\n", n, kind.c_str());
  std::printf("\nfirst rejected jobs:\n");
  for (const std::string& line : c.examples) std::printf("  %s\n", line.c_str());
}

bool ParseOptions(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (i + 1 >= argc) return false;
    const char* value = argv[++i];
    if (arg == "--count") {
      o.count = std::strtoull(value, nullptr, 10);
    } else if (arg == "--seed") {
      o.seed = std::strtoull(value, nullptr, 10);
    } else if (arg == "--show") {
      o.show = std::strtoull(value, nullptr, 10);
    } else if (arg == "--font") {
      o.fonts.push_back(value);
    } else {
      return false;
    }
  }
  return true;
}

std::vector<Font> LoadFonts(const Options& options) {
  std::vector<std::string> paths = options.fonts;
  if (paths.empty()) paths.assign(std::begin(kDefaultFonts), std::end(kDefaultFonts));
  std::vector<Font> fonts;
  for (const std::string& path : paths) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    if (bytes.empty()) {
      std::fprintf(stderr, "%s: not there or empty, left out\n", path.c_str());
      continue;
    }
    fonts.push_back(
        {path, FontMutator(std::move(bytes)), tavrfndl::testing::MappedText(path, kTextLength)});
  }
  return fonts;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr, "usage: %s [--count N] [--seed S] [--show K] [--font PATH]...\n", argv[0]);
    return 2;
  }
  tavrfndl::fuzz::LimitOutput();
  const std::vector<Font> fonts = LoadFonts(options);
  if (fonts.empty()) return 2;
  Campaign campaign;
  for (size_t i = 0; i < options.count; ++i) {
    const Font& font = fonts[i % fonts.size()];
    const size_t index = i / fonts.size();
    const FontMutant mutant = font.mutator.Make(options.seed, index);
    Count(campaign, font, mutant, index, RunMutant(font, mutant), options.show);
    if ((i + 1) % 500 == 0) std::fprintf(stderr, "%zu mutants\n", i + 1);
  }
  Report(campaign, options);
  const bool failed = campaign.crashes > 0 || campaign.modes[0].strictFailures > 0 ||
                      campaign.modes[1].strictFailures > 0;
  return failed ? 1 : 0;
}
