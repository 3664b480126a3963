// The reading side of text mode, done by the program itself so that every
// platform delivers the same characters: every CR byte is dropped wherever it
// stands, and the input ends just before the first 0x1A byte.
#pragma once

#include <cstddef>
#include <string_view>

namespace planner {

// Applies the rule to one raw block in place and returns the characters it
// delivers. Sets *ended when the block holds a 0x1A byte: nothing after it,
// in this block or a later one, may be delivered.
std::string_view deliver_text(char* data, std::size_t size, bool* ended);

}  // namespace planner
