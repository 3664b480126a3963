// The names a run gives its new file beside the plan, "todo.bat~N" or
// "todo.bat~N-M" (N the run's process number), told apart from any other,
// so that a later run can find those that an ended run left.
#pragma once

#include <cstddef>
#include <string_view>

namespace planner {

// Whether `name` is one that a run gives its new file for `path`; *id is N,
// the number of the process that made it.
inline bool names_new_file(std::string_view name, std::string_view path, long* id) {
  if (!name.starts_with(path) || name.substr(path.size(), 1) != "~") return false;
  name.remove_prefix(path.size() + 1);
  // The decimal number at the start of what is left, at least one digit.
  const auto number = [&name](long* value) {
    std::size_t n = 0;
    for (*value = 0; n < name.size() && n < 18 && name[n] >= '0' && name[n] <= '9'; ++n) {
      *value = *value * 10 + (name[n] - '0');
    }
    name.remove_prefix(n);
    return n > 0;
  };
  long attempt = 0;
  if (!number(id)) return false;
  if (name.empty()) return true;
  if (name[0] != '-') return false;
  name.remove_prefix(1);
  return number(&attempt) && name.empty();
}

}  // namespace planner
