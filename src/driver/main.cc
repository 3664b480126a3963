#include <cstdio>
#include <exception>
#include <new>

#include "driver/driver.h"

int main(int argc, char** argv) {
  try {
    return planner::run_program(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fputs("planner: error: out of memory\n", stderr);
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "planner: error: %s\n", e.what());
    return 1;
  }
}
