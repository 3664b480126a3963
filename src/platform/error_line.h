// The program's error lines, as the driver prints them on standard error and
// a viewer of a run shows them.
#pragma once

#include <string>
#include <string_view>

namespace planner {

// "planner: error: MESSAGE" and a line feed. The message stays one line, and
// a name in it cannot drive the terminal: control bytes are shown escaped,
// every other byte (Cyrillic names included) as it is.
std::string error_line(std::string_view message);

}  // namespace planner
