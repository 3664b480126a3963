#include <cstdio>
#include <exception>
#include <new>

#include "driver/driver.h"
#include "platform/os.h"

namespace {

constexpr char kOutOfMemory[] = "planner: error: out of memory\n";

// Ends the run where memory ran out, without unwinding: a thrown bad_alloc
// needs memory of its own, and without it the C++ runtime aborts. Removing
// the new file and writing the line need none.
void out_of_memory() { planner::os::exit_at_once(kOutOfMemory); }

}  // namespace

int main(int argc, char** argv) {
  std::set_new_handler(out_of_memory);
  try {
    return planner::run_program(argc, argv);
  } catch (const std::bad_alloc&) {  // a size no allocation could have
    std::fputs(kOutOfMemory, stderr);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "planner: error: %s\n", e.what());
    return 1;
  }
}
