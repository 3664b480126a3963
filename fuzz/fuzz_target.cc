// libFuzzer's entry point: any bytes as a makefile.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "pipeline_check.h"

namespace {

// Longer inputs only repeat what shorter ones reach, and slow every run.
constexpr std::size_t kMaxInput = std::size_t{1} << 16;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size > kMaxInput) return -1;  // not added to the corpus
  planner::fuzz::check_pipeline(std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
