// The run sequence: command line, reading phase, planning phase, shutdown.
#pragma once

namespace planner {

// Runs the whole program and returns its exit status: 0 on success and for
// the usage line, 1 after an error, which it reports on standard error.
int run_program(int argc, char** argv);

}  // namespace planner
