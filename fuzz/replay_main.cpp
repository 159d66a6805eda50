// SPDX-License-Identifier: MIT
// Runs a fuzz target over the files of a corpus folder (when one is given) and then over
// pseudo-random inputs of varied length and shape, with a fixed seed so a failure
// repeats. Arguments: the number of generated inputs (default 10000), then corpus folders.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace {

// Exact-size heap copy so ASan sees any read past the end.
void RunOne(const std::vector<uint8_t>& buf) {
  uint8_t* copy = buf.empty() ? nullptr : static_cast<uint8_t*>(std::malloc(buf.size()));
  for (size_t j = 0; j < buf.size(); ++j) copy[j] = buf[j];
  LLVMFuzzerTestOneInput(copy, buf.size());
  std::free(copy);
}

}  // namespace

int main(int argc, char** argv) {
  long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
  long files = 0;
  for (int a = 2; a < argc; ++a) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(argv[a], ec)) {
      if (!entry.is_regular_file()) continue;
      std::ifstream in(entry.path(), std::ios::binary);
      RunOne(std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {}));
      ++files;
    }
  }
  std::mt19937 rng(12345);
  // Inputs biased toward printable text, line ends and structure characters, so that
  // parsers get past their first checks; every tenth input is raw bytes.
  static const char kAlphabet[] = "[]=;\r\n\t 0123456789-+$xXabcRobSäule,.\"'";
  for (long i = 0; i < runs; ++i) {
    size_t len = rng() % (i % 100 == 0 ? 4096 : 256);
    std::vector<uint8_t> buf(len);
    bool raw = i % 10 == 0;
    for (auto& b : buf) {
      b = raw ? static_cast<uint8_t>(rng())
              : static_cast<uint8_t>(kAlphabet[rng() % (sizeof kAlphabet - 1)]);
    }
    RunOne(buf);
  }
  std::printf("%ld corpus files and %ld generated inputs run\n", files, runs);
  return 0;
}
