// Messages as the program writes them: code page 866 bytes, every "\n"
// already turned into CR LF. They are written in the source as readable
// UTF-8 and converted at compile time; a character that code page 866 cannot
// hold, or that the converter does not know, stops the build.
#pragma once

#include <cstddef>
#include <string_view>

namespace planner {

template <std::size_t N>
class Cp866 {
 public:
  // NOLINTNEXTLINE(google-explicit-constructor): literals read best bare.
  consteval Cp866(const char (&utf8)[N]) {
    for (std::size_t i = 0; i + 1 < N; ++i) {
      const auto c = static_cast<unsigned char>(utf8[i]);
      if (c == '\n') {
        push('\r');
        push('\n');
      } else if (c < 0x80) {
        push(static_cast<char>(c));
      } else if ((c & 0xE0) == 0xC0 && i + 2 < N) {
        const auto c2 = static_cast<unsigned char>(utf8[++i]);
        push(from_code_point(((c & 0x1Fu) << 6) | (c2 & 0x3Fu)));
      } else {
        throw "only ASCII and Cyrillic letters can be converted";
      }
    }
  }

  constexpr std::string_view view() const { return {bytes_, size_}; }

 private:
  static consteval char from_code_point(unsigned cp) {
    if (cp >= 0x410 && cp <= 0x43F) return static_cast<char>(0x80 + (cp - 0x410));  // А..п
    if (cp >= 0x440 && cp <= 0x44F) return static_cast<char>(0xE0 + (cp - 0x440));  // р..я
    if (cp == 0x401) return static_cast<char>(0xF0);                                // Ё
    if (cp == 0x451) return static_cast<char>(0xF1);                                // ё
    throw "character outside code page 866's Cyrillic letters";
  }

  consteval void push(char c) { bytes_[size_++] = c; }

  // A line end grows by one byte, a Cyrillic letter shrinks by one: twice the
  // source length always suffices.
  char bytes_[2 * N] = {};
  std::size_t size_ = 0;
};

// True when the message `line` ends with a blank, `name` and its line end: a
// state line names its state last, and the tables of names and of lines must
// agree.
constexpr bool names_last(std::string_view line, std::string_view name) {
  if (line.size() < name.size() + 3) return false;
  const std::string_view tail = line.substr(line.size() - name.size() - 3);
  return tail[0] == ' ' && tail.substr(1, name.size()) == name && tail.ends_with("\r\n");
}

}  // namespace planner
