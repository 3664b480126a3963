// The program's error and warning lines, as the driver prints them on
// standard error and a viewer of a run shows them.
#pragma once

#include <string>
#include <string_view>

namespace planner {

// "planner: error: MESSAGE" and a line feed. The message stays one line, and
// a name in it cannot drive the terminal: control bytes are shown escaped,
// and so are the UTF-8 forms of the C1 controls (U+0080 to U+009F, CSI among
// them), which some terminals obey. Every other byte is shown as it is,
// Cyrillic names in UTF-8 or in code page 866 (where 0x80 to 0x9F are
// letters) included.
std::string error_line(std::string_view message);
// The same with "planner: warning: ".
std::string warning_line(std::string_view message);

// A name or command as a message quotes it: when it is longer than 80 bytes,
// its first 40 and its last 37 with "..." between them, as a goal can be a
// whole file long and a message stays one readable line; both ends tell
// where it came from.
std::string clipped(std::string_view text);

}  // namespace planner
