// Runs the fuzz checks on every file of the given files and directories, so
// that the seed corpus and the inputs that once crashed are an ordinary test
// under any compiler.
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "pipeline_check.h"

namespace {

std::string read_all(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::filesystem::path> inputs;
  for (int i = 1; i < argc; ++i) {
    const std::filesystem::path arg = argv[i];
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
    } else {
      inputs.push_back(arg);
    }
  }
  std::sort(inputs.begin(), inputs.end());
  int counts[3] = {0, 0, 0};
  for (const auto& path : inputs) {
    std::fprintf(stderr, "replay: %s\n", path.c_str());
    ++counts[static_cast<int>(planner::fuzz::check_pipeline(read_all(path)))];
  }
  std::printf("replayed %zu inputs: %d refused, %d too big to walk, %d walked\n", inputs.size(),
              counts[0], counts[1], counts[2]);
  // A corpus that went missing must not pass as a clean one.
  return inputs.empty() ? 1 : 0;
}
