// The reader's two token buffers. They grow as needed, so a token of any
// length (a whole file without a colon is one goal name) arrives whole.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace planner {

class Buffer {
 public:
  void append_goal(char c) { goal_text.push_back(c); }
  void append_item(char c) { item_text.push_back(c); }
  // Views of the collected texts; valid until the next change of the buffer.
  // The graph copies whatever it keeps.
  std::string_view copy_goal() const { return goal_text; }
  std::string_view copy_item() const { return item_text; }
  // Emptying keeps the storage, so a long run of rules allocates once.
  void reset_goal() { goal_text.clear(); }
  void reset_item() { item_text.clear(); }
  std::size_t goal_length() const { return goal_text.size(); }
  std::size_t item_length() const { return item_text.size(); }

 private:
  std::string goal_text;  // the goal name being collected
  std::string item_text;  // the dependency name or command text being collected
};

}  // namespace planner
