// fndl: print text through the Tavrfndl library into a PCL XL job, list any PCL XL stream, or
// preview its pages as PNG images.
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "check_command.h"
#include "dump_listing.h"
#include "file_io.h"
#include "print_command.h"
#include "render_command.h"
#include "tavrfndl.h"

namespace {

constexpr const char* kUsage =
    "usage:\n"
    "  fndl print [options] [INPUT|-]   write a PCL XL job with the text of INPUT (UTF-8; one\n"
    "                                   paragraph per line), of standard input (-), or of the\n"
    "                                   built-in sample when no input is given\n"
    "      --face NAME|PATH   font family looked up by the font engine, or a TrueType file\n"
    "                         (default \"DejaVu Sans\")\n"
    "      --size PT          character size in points (default 12)\n"
    "      --bold, --italic, --underline\n"
    "      --page a4|letter   paper (default a4)\n"
    "      --resolution DPI   page units per inch (default 600, what the library's page\n"
    "                         limits are made for)\n"
    "      -o PATH            the job file (default sample.pxl; - writes to standard output)\n"
    "  fndl dump FILE         list a PCL XL stream: operators, attributes, embedded data,\n"
    "                         decoded font headers and character records\n"
    "  fndl render FILE -o PAGE.png [--dpi N]\n"
    "                         preview the pages as PNG images (default 100 dpi); with several\n"
    "                         pages PAGE.png becomes PAGE-1.png, PAGE-2.png, ...\n"
    "  fndl check FONT        validate a TrueType font file as the library does before it\n"
    "                         sends one; exit 1 when the library would refuse it\n"
    "  fndl --version\n";

int Usage(const std::string& problem) {
  if (!problem.empty()) std::fprintf(stderr, "fndl: %s\n", problem.c_str());
  std::fputs(kUsage, stderr);
  return 2;
}

bool ParseNumber(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && end && *end == '\0' && std::isfinite(value);
}

// Splits "--name=value" and takes the value of "--name value" from the next argument.
class Arguments {
 public:
  Arguments(int argc, char** argv, int first) : args_(argv + first, argv + argc) {}

  bool Done() const { return next_ >= args_.size(); }
  const std::string& Current() const { return current_; }

  // The next argument; an option with "=" is split into its name and pending value.
  std::string Take() {
    current_ = args_[next_++];
    pending_.clear();
    hasPending_ = false;
    if (current_.rfind("--", 0) == 0) {
      size_t eq = current_.find('=');
      if (eq != std::string::npos) {
        pending_ = current_.substr(eq + 1);
        hasPending_ = true;
        current_ = current_.substr(0, eq);
      }
    }
    return current_;
  }
  bool Value(std::string& value) {
    if (hasPending_) {
      value = pending_;
      hasPending_ = false;
      return true;
    }
    if (Done()) return false;
    value = args_[next_++];
    return true;
  }
  bool HasPendingValue() const { return hasPending_; }

 private:
  std::vector<std::string> args_;
  size_t next_ = 0;
  std::string current_, pending_;
  bool hasPending_ = false;
};

int Print(Arguments& args) {
  fndl::PrintOptions options;
  while (!args.Done()) {
    std::string arg = args.Take();
    std::string value;
    double number = 0;
    bool flag = arg == "--bold" || arg == "--italic" || arg == "--underline";
    if (flag && args.HasPendingValue()) return Usage(arg + " takes no value");
    if (arg == "--bold") {
      options.bold = true;
    } else if (arg == "--italic") {
      options.italic = true;
    } else if (arg == "--underline") {
      options.underline = true;
    } else if (arg == "--face") {
      if (!args.Value(options.face)) return Usage("--face needs a name or a path");
    } else if (arg == "--size") {
      if (!args.Value(value) || !ParseNumber(value, options.size)) {
        return Usage("--size needs a number of points");
      }
    } else if (arg == "--page") {
      if (!args.Value(value)) return Usage("--page needs a4 or letter");
      if (value == "a4" || value == "A4") {
        options.paper = fndl::Paper::kA4;
      } else if (value == "letter" || value == "Letter") {
        options.paper = fndl::Paper::kLetter;
      } else {
        return Usage("--page must be a4 or letter, not " + value);
      }
    } else if (arg == "--resolution") {
      if (!args.Value(value) || !ParseNumber(value, number) || number != std::floor(number) ||
          number < 1 || number > 65535) {
        return Usage("--resolution needs a whole number of units per inch");
      }
      options.resolution = static_cast<uint32_t>(number);
    } else if (arg == "-o" || arg == "--output") {
      if (!args.Value(options.output) || options.output.empty()) {
        return Usage("-o needs a path");
      }
    } else if (arg == "-" || arg.empty() || arg[0] != '-') {
      if (options.haveInput) return Usage("more than one input: " + arg);
      options.haveInput = true;
      options.input = arg;
    } else {
      return Usage("unknown option for print: " + arg);
    }
  }
  return fndl::RunPrint(options);
}

int Dump(Arguments& args) {
  std::string path;
  while (!args.Done()) {
    std::string arg = args.Take();
    if (!path.empty() || (arg.size() > 1 && arg[0] == '-')) return Usage("dump takes one FILE");
    path = arg;
  }
  if (path.empty()) return Usage("dump needs a FILE");
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

int Render(Arguments& args) {
  std::string path, output;
  double dpi = 100;
  while (!args.Done()) {
    std::string arg = args.Take();
    std::string value;
    if (arg == "-o" || arg == "--output") {
      if (!args.Value(output) || output.empty()) return Usage("-o needs a PNG path");
    } else if (arg == "--dpi") {
      if (!args.Value(value) || !fndl::ParseDpi(value, dpi)) {
        return Usage("--dpi needs a number between 10 and 2400");
      }
    } else if (!path.empty() || (arg.size() > 1 && arg[0] == '-')) {
      return Usage("unexpected argument for render: " + arg);
    } else {
      path = arg;
    }
  }
  if (path.empty() || output.empty()) return Usage("render needs a FILE and -o PAGE.png");
  return fndl::RunRender(path, output, dpi);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return Usage("");
  std::string command = argv[1];
  Arguments args(argc, argv, 2);
  if (command == "print") return Print(args);
  if (command == "dump") return Dump(args);
  if (command == "render") return Render(args);
  if (command == "check") {
    if (argc != 3) return Usage("check takes one font file");
    return fndl::RunCheck(argv[2], stdout);
  }
  if (command == "--version") {
    std::printf("fndl %s\n", TAVRFNDL_VERSION_STRING);
    return 0;
  }
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return 0;
  }
  return Usage("unknown command " + command);
}
