// The replay program of a fuzz target: every file named, and every file in every folder named,
// goes once through LLVMFuzzerTestOneInput, in name order. It is what CI runs over the committed
// corpus, with no fuzzing runtime; under the sanitizers a corpus input that crashes, leaks or
// reads out of bounds fails the run just as it would under libFuzzer.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// No input of a committed corpus takes more than a second or two, even under the sanitizers; one
// that runs for minutes hangs, and the default action of SIGALRM ends the program with the input
// named last.
constexpr unsigned kSecondsPerInput = 300;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv);

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s FILE_OR_FOLDER...\n", argv[0]);
    return 2;
  }
  LLVMFuzzerInitialize(&argc, &argv);
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg = argv[i];
    std::error_code ec;
    if (std::filesystem::is_directory(arg, ec)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg, ec)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
      if (ec) {
        std::fprintf(stderr, "%s: %s\n", argv[i], ec.message().c_str());
        return 2;
      }
    } else if (std::filesystem::is_regular_file(arg, ec)) {
      inputs.push_back(arg);
    } else {
      std::fprintf(stderr, "%s: no such file or folder\n", argv[i]);
      return 2;
    }
  }
  std::sort(inputs.begin(), inputs.end());
  for (const std::filesystem::path& path : inputs) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in), {}};
    if (!in.good() && !in.eof()) {
      std::fprintf(stderr, "%s: cannot read\n", path.c_str());
      return 2;
    }
    // Printed first, so that the input a sanitizer stops on is the last one named.
    std::fprintf(stderr, "replay %s (%zu bytes)\n", path.c_str(), bytes.size());
    alarm(kSecondsPerInput);
    LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    alarm(0);
  }
  std::fprintf(stderr, "%zu inputs replayed\n", inputs.size());
  return inputs.empty() ? 1 : 0;
}
