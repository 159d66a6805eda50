// Runs a fuzz target over pseudo-random inputs of varied length and shape, with a
// fixed seed so a failure repeats. Argument: the number of inputs (default 10000).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
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
    // Exact-size heap copy so ASan sees any read past the end.
    uint8_t* copy = len ? static_cast<uint8_t*>(std::malloc(len)) : nullptr;
    for (size_t j = 0; j < len; ++j) copy[j] = buf[j];
    LLVMFuzzerTestOneInput(copy, len);
    std::free(copy);
  }
  std::printf("%ld inputs run\n", runs);
  return 0;
}
