#include "platform/error_line.h"

namespace planner {

namespace {

std::string line(std::string_view kind, std::string_view message) {
  constexpr char kHex[] = "0123456789abcdef";
  std::string line = "planner: ";
  line.append(kind).append(": ");
  for (std::size_t i = 0; i < message.size(); ++i) {
    const auto byte = static_cast<unsigned char>(message[i]);
    const auto next = static_cast<unsigned char>(i + 1 < message.size() ? message[i + 1] : 0);
    if (byte == 0xC2 && next >= 0x80 && next <= 0x9F) {
      line += {'\\', 'u', '0', '0', kHex[next >> 4], kHex[next & 15]};
      ++i;
    } else if (byte >= 0x20 && byte != 0x7F) {
      line += message[i];
    } else if (byte == '\n') {
      line += "\\n";
    } else if (byte == '\t') {
      line += "\\t";
    } else if (byte == '\r') {
      line += "\\r";
    } else {
      line += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return line += '\n';
}

}  // namespace

std::string error_line(std::string_view message) { return line("error", message); }

std::string clipped(std::string_view text) {
  constexpr std::size_t kLongest = 80, kHead = 40, kTail = 37;
  if (text.size() <= kLongest) return std::string(text);
  return std::string(text.substr(0, kHead)) + "..." + std::string(text.substr(text.size() - kTail));
}
std::string warning_line(std::string_view message) { return line("warning", message); }

}  // namespace planner
