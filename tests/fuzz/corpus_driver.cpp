// Runs a fuzz target once over every file of the folders or files it is given,
// plus a few fixed inputs, so that the ordinary test run exercises each target.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static void run_bytes(const std::vector<uint8_t>& bytes) {
  LLVMFuzzerTestOneInput(bytes.empty() ? nullptr : bytes.data(), bytes.size());
}

static void run_file(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  run_bytes(bytes);
}

int main(int argc, char** argv) {
  run_bytes({});
  run_bytes({0});
  run_bytes(std::vector<uint8_t>(4096, 0xff));
  int files = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(p))
        if (e.is_regular_file()) {
          run_file(e.path());
          ++files;
        }
    } else {
      run_file(p);
      ++files;
    }
  }
  std::printf("ran %d corpus files\n", files);
  return 0;
}
