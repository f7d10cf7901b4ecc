// Damaged copies of real fonts through the C interface, in file and engine mode: whatever a
// mutant does to the font, the job either carries nothing of it or carries a font a strict
// printer can use (support/strict_consumer.h). The mutants are cut short, have their table
// directory overwritten or their tables' bytes scrambled (support/font_mutants.h).
//
// TAVRFNDL_MUTANTS sets how many mutants of each font run (default 200, 20 under the
// sanitizers), TAVRFNDL_MUTANT_SEED the series (default 1). fuzz/mutant_campaign runs thousands.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>

#include "hostile/stream_checks.h"
#include "support/driver.h"
#include "support/font_mutants.h"
#include "support/fontbuilder.h"
#include "support/strict_print.h"
#include "support/xl_ops.h"

namespace tavrfndl::testing {
namespace {

using test::FontMutant;
using test::FontMutator;

// GCC says __SANITIZE_ADDRESS__, clang __has_feature(address_sanitizer).
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TAVRFNDL_SANITIZED 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__) || defined(TAVRFNDL_SANITIZED)
constexpr size_t kDefaultMutants = 20;
#else
constexpr size_t kDefaultMutants = 200;
#endif
constexpr size_t kTextLength = 160;
constexpr size_t kFailuresShown = 8;

uint64_t EnvNumber(const char* name, uint64_t fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::strtoull(value, nullptr, 10) : fallback;
}

struct RealFont {
  const char* name;
  const char* path;
};

void PrintTo(const RealFont& font, std::ostream* out) {
  *out << font.path;
}

PrintExports Exports(const Library& lib) {
  return {lib.FontDownloadW, lib.RemoveFontW, lib.GetCursor, lib.SetCursor};
}

// One failing job per line, and how many there were of each mutation kind.
struct Failures {
  size_t count = 0;
  std::map<std::string, size_t> byKind;
  std::string shown;

  void Add(const FontMutant& mutant, size_t index, FontMode mode, const std::string& what) {
    ++byKind[test::MutationKindName(mutant.kind)];
    if (++count > kFailuresShown) return;
    shown += "mutant " + std::to_string(index) + " (" + mutant.what + "), " + FontModeName(mode) +
             ":\n" + what;
  }
  std::string Text() const {
    std::string text = shown;
    for (const auto& [kind, n] : byKind) text += std::to_string(n) + " x " + kind + "\n";
    return text;
  }
};

class MutantsOf : public ::testing::TestWithParam<RealFont> {};

TEST_P(MutantsOf, EveryJobCarriesNothingOfTheFontOrAFontAPrinterCanUse) {
  const RealFont& font = GetParam();
  const std::vector<uint8_t> bytes = ReadFileBytes(font.path);
  if (bytes.empty()) GTEST_SKIP() << font.path << " is not installed";
  const FontMutator mutator(bytes);
  const std::u16string text = MappedText(font.path, kTextLength);
  ASSERT_GE(text.size(), 64u);
  const size_t count = EnvNumber("TAVRFNDL_MUTANTS", kDefaultMutants);
  const uint64_t seed = EnvNumber("TAVRFNDL_MUTANT_SEED", 1);
  const Library lib = Library::Load();
  const std::string job = TempPath("job.pxl");
  Failures failures;
  size_t sent = 0;
  for (size_t i = 0; i < count; ++i) {
    const FontMutant mutant = mutator.Make(seed, i);
    // A new file for every mutant: the font engine keeps faces by path.
    const test::TempFile file(mutant.bytes);
    for (FontMode mode : {FontMode::kFile, FontMode::kEngine}) {
      const uint32_t id = static_cast<uint32_t>(2 * i + (mode == FontMode::kEngine));
      const StrictPrint print = PrintStrictly(Exports(lib), file.path(), mode, id + 1, text, job);
      sent += print.fontSent();
      const std::string problem = StreamProblem(print.job);
      if (!problem.empty() || !print.report.ok()) {
        failures.Add(mutant, i, mode, problem.empty() ? print.report.Summary(3) : problem + "\n");
      }
    }
  }
  EXPECT_EQ(failures.count, 0u) << "of " << 2 * count << " jobs (seed " << seed << "):\n"
                                << failures.Text();
  // Most damage leaves a font the library can use: a series that sends nothing tests nothing.
  EXPECT_GT(sent, count / 2);
}

INSTANTIATE_TEST_SUITE_P(
    RealFonts, MutantsOf,
    ::testing::Values(RealFont{"DejaVuSans", kDejaVuSans},
                      RealFont{"LiberationSans",
                               "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf"},
                      RealFont{"IPAGothic", "/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf"}),
    [](const ::testing::TestParamInfo<RealFont>& param) { return param.param.name; });

}  // namespace
}  // namespace tavrfndl::testing
