#include "driver/warnings.h"

#include <algorithm>
#include <cstdio>

#include "platform/error_line.h"

namespace planner {

void Warnings::say(const std::string& message) {
  if (shown_ == kShown) {
    ++more_;
    return;
  }
  ++shown_;
  std::fputs(warning_line(message).c_str(), stderr);
}

std::string Warnings::at(std::uint64_t line, std::uint64_t column) const {
  return makefile_ + ':' + std::to_string(line) + ':' + std::to_string(column) + ": ";
}

// "app.mk:2:9: '=' discarded: the command reads 'cc -stdc99 -o app main.o'"
void Warnings::dropped(const Notices& notices) {
  for (const Notices::Line& line : notices.lines()) {
    std::string message = at(line.line, line.column);
    for (std::size_t i = 0; i < line.bytes.size(); ++i) {
      message.append(i == 0 ? "'" : ", '").append(1, line.bytes[i]) += '\'';
    }
    message += " discarded";
    if (!line.reads.empty()) {
      message.append(line.command ? ": the command reads '" : ": the name reads '")
          .append(clipped(line.reads)) += '\'';
    }
    say(message);
  }
  more_ += notices.more();
}

void Warnings::cut_short(std::uint64_t line, std::uint64_t column) {
  say(at(line, column) + "'\x1a' ends the input: the rest of the file is ignored");
}

// "'util.h' (a dependency of 'main.o') is never a goal and does not exist"
void Warnings::missing(const Graph& graph, const std::vector<VertexIndex>& names) {
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (shown_ == kShown) {
      more_ += names.size() - i;
      return;
    }
    const VertexIndex name = names[i];
    // A vertex the walk reached as a dependency has a goal that lists it.
    std::string goal;
    for (VertexIndex v = 0; v < graph.size() && goal.empty(); ++v) {
      const auto children = graph[v].children;
      if (std::find(children.begin(), children.end(), name) != children.end()) {
        goal = clipped(graph.name(v));
      }
    }
    say('\'' + clipped(graph.name(name)) + "' (a dependency of '" + goal +
        "') is never a goal and does not exist");
  }
}

void Warnings::finish() {
  if (more_ == 0) return;
  std::fputs(warning_line(std::to_string(more_) + " more not shown").c_str(), stderr);
  more_ = 0;
}

}  // namespace planner
