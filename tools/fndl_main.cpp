// fndl: print text through the Tavrfndl library into a PCL XL job, list any PCL XL stream,
// preview its pages as PNG images, or check a font. Exit status: 0 done, 1 a problem with the
// input or the output, 2 a mistake on the command line.
#include <sys/stat.h>

#include <CLI/CLI.hpp>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "check_command.h"
#include "dump_listing.h"
#include "file_io.h"
#include "print_command.h"
#include "render_command.h"
#include "tavrfndl.h"

namespace {

constexpr int kUsageError = 2;

// --page takes the tool's paper names in lower case (and in any case).
std::map<std::string, fndl::MediaSize> PaperChoices() {
  std::map<std::string, fndl::MediaSize> choices;
  for (const fndl::PaperName& paper : fndl::kPaperNames) {
    std::string name = paper.name;
    for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    choices.emplace(name, paper.media);
  }
  return choices;
}

const std::map<std::string, fndl::MediaSize> kPapers = PaperChoices();

struct PrintCommand {
  fndl::PrintOptions options;
  std::string input, output, paper = "a4";
};

void AddPrint(CLI::App& app, PrintCommand& print) {
  CLI::App* sub = app.add_subcommand(
      "print",
      "Write a PCL XL job with the text of INPUT (UTF-8, one paragraph per line; - for "
      "standard input), or of the built-in sample when no INPUT is given.");
  fndl::PrintOptions& o = print.options;
  sub->add_option("INPUT", print.input, "The text file, or - for standard input")->type_name("");
  sub->add_option("-o,--output", print.output,
                  "The job file (default: INPUT's name with .pxl, in the current directory; "
                  "standard output for standard input; - for standard output)");
  sub->add_option("--face", o.face,
                  "A font family for the font engine, or a font file (TrueType or OpenType; "
                  "default \"DejaVu Sans\")")
      ->type_name("NAME|PATH");
  sub->add_flag("--file-mode", o.fileMode,
                "The library reads the TrueType file given to --face itself: every character is "
                "one character size wide");
  sub->add_flag("--strict", o.strict,
                "Fail when the font engine has to use another family than --face names");
  sub->add_option("--size", o.size, "Character size in points (default 12)")
      ->type_name("PT")
      ->check(CLI::Range(1.0, 500.0));
  sub->add_flag("--bold", o.bold, "Bold, made by the printer");
  sub->add_flag("--italic", o.italic, "Italic (the face's italic, else sheared)");
  sub->add_flag("--underline", o.underline, "Underlined");
  sub->add_option("--page", print.paper, "Paper: a4 (default), a3, letter or legal")
      ->type_name("PAPER")
      ->transform(CLI::IsMember(kPapers, CLI::ignore_case));
  sub->add_option("--margin-left", o.marginLeft, "Left margin in points (default 36)")
      ->type_name("PT")
      ->check(CLI::Range(0.0, 288.0));
  sub->add_option("--margin-top", o.marginTop, "Top margin in points (default 36)")
      ->type_name("PT")
      ->check(CLI::Range(0.0, 288.0));
  sub->add_option("--line-spacing", o.lineSpacing,
                  "Points from baseline to baseline (default 1.2 times the size)")
      ->type_name("PT")
      ->check(CLI::Range(1.0, 720.0));
  sub->add_option("--tab-width", o.tabColumns,
                  "Tab stops every so many advances of the space (default 8)")
      ->type_name("N")
      ->check(CLI::Range(1, 100));
  sub->add_flag("--force", o.force, "Print input that does not look like text");
}

// INPUT's file name with its extension replaced by .pxl, in the current directory.
std::string JobNameFor(const std::string& input) {
  std::string name = input.substr(input.rfind('/') + 1);
  size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name + ".pxl";
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  return stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
         sa.st_ino == sb.st_ino;
}

int RunPrintCommand(PrintCommand& print) {
  fndl::PrintOptions& o = print.options;
  o.paper = kPapers.at(print.paper);
  o.haveInput = !print.input.empty();
  o.input = print.input;
  if (!print.output.empty()) {
    o.output = print.output;
  } else if (o.haveInput) {
    o.output = o.input == "-" ? "-" : JobNameFor(o.input);
  }
  if (o.haveInput && o.output != "-" && SameFile(o.input, o.output)) {
    std::fprintf(stderr, "fndl print: the job would overwrite the input %s; name it with -o\n",
                 o.input.c_str());
    return kUsageError;
  }
  return fndl::RunPrint(o);
}

int RunDump(const std::string& path) {
  std::vector<uint8_t> bytes;
  std::string error;
  if (!fndl::ReadWholeFile(path, bytes, error)) {
    std::fprintf(stderr, "fndl dump: %s\n", error.c_str());
    return 1;
  }
  int status = fndl::WriteListing(bytes.data(), bytes.size(), stdout, stderr);
  if (std::fflush(stdout) != 0) {
    std::fprintf(stderr, "fndl dump: writing the listing failed: %s\n", std::strerror(errno));
    return 1;
  }
  return status;
}

struct RenderCommand {
  fndl::RenderOptions options;
  std::string pages;
};

std::string CheckPngName(const std::string& name) {
  size_t n = name.size();
  bool png = n > 4 && name[n - 5] != '/' && strcasecmp(name.c_str() + n - 4, ".png") == 0;
  return png ? "" : "the output must be a NAME.png file, not " + name;
}

void AddRender(CLI::App& app, RenderCommand& render) {
  CLI::App* sub = app.add_subcommand(
      "render",
      "Preview the pages of a PCL XL job as PNG images: NAME.png for a job of one "
      "page, else NAME-1.png, NAME-2.png, ...");
  fndl::RenderOptions& o = render.options;
  sub->add_option("FILE", o.input, "The PCL XL job")->required();
  sub->add_option("-o,--output", o.output, "NAME.png")->required()->check(CheckPngName);
  sub->add_option("--dpi", o.dpi, "Pixels per inch (default 100)")
      ->type_name("N")
      ->check(CLI::Range(10.0, 2400.0));
  sub->add_option("--pages", render.pages, "Only these pages, e.g. 2 or 1-3,5 or 4-")
      ->type_name("RANGE")
      ->check([](const std::string& text) {
        fndl::PageRanges ranges;
        return fndl::ParsePageRanges(text, ranges) ? "" : "not a page range: " + text;
      });
}

constexpr int kParsed = -1;

// Parses the command line into the commands' settings; kParsed, or the exit status of a usage
// mistake, --help or --version.
int Parse(CLI::App& app, int argc, char** argv) {
  auto known = [&app](const char* name) {
    return !app.get_subcommands([name](CLI::App* sub) { return sub->check_name(name); }).empty();
  };
  if (argc > 1 && argv[1][0] != '-' && !known(argv[1])) {
    std::fprintf(stderr, "fndl: unknown command %s\nRun \"fndl --help\" for the commands.\n",
                 argv[1]);
    return kUsageError;
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::string where = app.get_subcommands().empty() ? "" : app.get_subcommands()[0]->get_name();
    std::fprintf(stderr, "fndl%s%s: %s\nRun \"fndl%s%s --help\" for the options.\n",
                 where.empty() ? "" : " ", where.c_str(), e.what(), where.empty() ? "" : " ",
                 where.c_str());
    return kUsageError;
  }
  return kParsed;
}

int Main(int argc, char** argv) {
  CLI::App app(
      "Print text in TrueType soft fonts as PCL XL (PCL 6) jobs, list them and preview "
      "them. Exit status: 0 done, 1 a problem with a file, 2 a usage mistake.",
      "fndl");
  app.set_version_flag("--version", "fndl " TAVRFNDL_VERSION_STRING);
  app.require_subcommand(1);
  PrintCommand print;
  AddPrint(app, print);
  std::string dumpPath, fontPath;
  app.add_subcommand("dump",
                     "List a PCL XL stream: operators, attributes, embedded data, font "
                     "headers and character records")
      ->add_option("FILE", dumpPath, "The PCL XL stream")
      ->required();
  RenderCommand render;
  AddRender(app, render);
  app.add_subcommand(
         "check",
         "Validate a font file (TrueType or OpenType) as the library does before it sends "
         "one; exit 1 when the library would refuse it")
      ->add_option("FONT", fontPath, "The font file")
      ->required();
  if (int status = Parse(app, argc, argv); status != kParsed) return status;
  const std::string command = app.get_subcommands()[0]->get_name();
  if (command == "print") return RunPrintCommand(print);
  if (command == "dump") return RunDump(dumpPath);
  if (command == "check") return fndl::RunCheck(fontPath, stdout);
  fndl::ParsePageRanges(render.pages, render.options.pages);
  return fndl::RunRender(render.options);
}

}  // namespace

int main(int argc, char** argv) {
  return Main(argc, argv);
}
