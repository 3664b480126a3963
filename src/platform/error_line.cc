#include "platform/error_line.h"

namespace planner {

std::string error_line(std::string_view message) {
  std::string line = "planner: error: ";
  for (const char c : message) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      line += c;
    } else if (c == '\n') {
      line += "\\n";
    } else if (c == '\t') {
      line += "\\t";
    } else if (c == '\r') {
      line += "\\r";
    } else {
      constexpr char kHex[] = "0123456789abcdef";
      line += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return line += '\n';
}

}  // namespace planner
