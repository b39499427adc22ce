// A fuzz target's inputs replayed without libFuzzer: every file in the folders
// given, in name order (a missing folder is skipped), through the target's own
// entry point. ctest runs each crash input ever found and the seed corpus this
// way with the project's compiler, so a fixed fault stays fixed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  int replayed = 0;
  for (int k = 1; k < argc; ++k) {
    std::error_code error;
    if (!fs::is_directory(argv[k], error)) continue;
    std::vector<fs::path> inputs;
    for (const fs::directory_entry& e : fs::directory_iterator(argv[k], error))
      if (e.is_regular_file()) inputs.push_back(e.path());
    std::sort(inputs.begin(), inputs.end());
    for (const fs::path& input : inputs) {
      std::ifstream in(input, std::ios::binary);
      const std::vector<char> bytes{std::istreambuf_iterator<char>(in), {}};
      std::printf("%s\n", input.c_str());
      std::fflush(stdout);  // a crash names its input
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++replayed;
    }
  }
  std::printf("%d inputs replayed\n", replayed);
  return replayed > 0 ? 0 : 1;  // none at all: the folders are wrong
}
