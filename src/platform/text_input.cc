#include "platform/text_input.h"

#include <cstring>

namespace planner {

std::string_view deliver_text(char* data, std::size_t size, bool* ended) {
  if (const void* eof = std::memchr(data, 0x1A, size)) {
    size = static_cast<std::size_t>(static_cast<const char*>(eof) - data);
    *ended = true;
  }
  char* end = data + size;
  char* cr = static_cast<char*>(std::memchr(data, '\r', size));
  if (cr == nullptr) return {data, size};
  char* kept = cr;
  for (const char* p = cr + 1; p < end; ++p) {
    if (*p != '\r') *kept++ = *p;
  }
  return {data, static_cast<std::size_t>(kept - data)};
}

}  // namespace planner
