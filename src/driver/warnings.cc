#include "driver/warnings.h"

#include <algorithm>
#include <unordered_map>

#include "driver/warning_texts.h"
#include "platform/error_line.h"

namespace planner {

namespace {

static_assert(static_cast<int>(Warning::Kind::kLostAtEnd) ==
              static_cast<int>(Notices::Kind::kLostAtEnd));

std::string place(const std::string& makefile, std::uint64_t line, std::uint64_t column) {
  return makefile + ':' + std::to_string(line) + ':' + std::to_string(column) + ": ";
}

Warning from(const std::string& makefile, const Notices::Record& record) {
  return {static_cast<Warning::Kind>(record.kind),
          place(makefile, record.line, record.column) + notice_text(record),
          record.line,
          record.column,
          record.offset,
          std::max(record.line, record.last_line)};
}

std::string quoted(std::string_view text) { return '\'' + clipped(text) + '\''; }

}  // namespace

std::vector<Warning> Warnings::reading(const Notices& notices, bool cut_short) {
  const std::vector<Notices::Record>& records = notices.records();
  const Notices::Record* planned = nullptr;
  std::size_t planned_at = records.size();
  for (std::size_t i = 0; i < records.size() && planned == nullptr; ++i) {
    if (records[i].planned) {
      planned = &records[i];
      planned_at = i;
    }
  }
  if (planned == nullptr && notices.first_goal_record()) planned = &*notices.first_goal_record();
  const std::size_t room = cap_ - std::min(cap_, shown_);
  // The first ones in makefile order; the one naming the planned goal takes
  // the last place when it would come later.
  std::size_t take = std::min(room, records.size());
  const bool lift = planned != nullptr && planned_at >= take && room > 0;
  if (lift) take = room - 1;
  std::vector<Warning> shown;
  for (std::size_t i = 0; i < take; ++i) shown.push_back(from(makefile_, records[i]));
  if (lift) shown.push_back(from(makefile_, *planned));
  std::uint64_t due = records.size() + notices.more();
  if (cut_short) {
    ++due;
    // The end of input comes last; shown only when all before it are.
    if (due - shown.size() == 1 && shown.size() < room) {
      const std::uint64_t line = notices.line();
      const std::uint64_t column = notices.end_offset() - notices.line_start() + 1;
      shown.push_back({Warning::Kind::kCutShort,
                       place(makefile_, line, column) +
                           "'\x1a' ends the input: the rest of the file is ignored",
                       line, column, notices.end_offset(), line});
    }
  }
  shown_ += shown.size();
  more_ += due - shown.size();
  return shown;
}

// "'util.h' (a dependency of 'main.o') is never a goal and does not exist"
std::vector<Warning> Warnings::walk(const Graph& graph, const std::vector<VertexIndex>& missing) {
  const std::size_t room = cap_ - std::min(cap_, shown_);
  const std::size_t take = std::min(room, missing.size());
  // A vertex the walk reached as a dependency has a goal that lists it: the
  // first such goal, found in one pass over the graph.
  std::unordered_map<VertexIndex, VertexIndex> goal_of;
  for (std::size_t i = 0; i < take; ++i) goal_of.emplace(missing[i], 0);
  std::size_t unknown = goal_of.size();
  std::vector<bool> found(graph.size());
  for (VertexIndex v = 0; v < graph.size() && unknown > 0; ++v) {
    for (const VertexIndex child : graph[v].children) {
      const auto it = goal_of.find(child);
      if (it == goal_of.end() || found[child]) continue;
      found[child] = true;
      it->second = v;
      --unknown;
    }
  }
  std::vector<Warning> shown;
  for (std::size_t i = 0; i < take; ++i) {
    const VertexIndex name = missing[i];
    Warning warning;
    warning.kind = Warning::Kind::kMissing;
    warning.vertex = name;
    warning.text = quoted(graph.name(name)) + " (a dependency of " +
                   (found[name] ? quoted(graph.name(goal_of[name])) : std::string("''")) +
                   ") is never a goal and does not exist";
    shown.push_back(std::move(warning));
  }
  shown_ += take;
  more_ += missing.size() - take;
  return shown;
}

std::string Warnings::more_text() const {
  return more_ == 0 ? std::string() : std::to_string(more_) + " more not shown";
}

namespace {

// "(line 7 ends in a space after 'util.o', so the words of line 8 were read
// as more dependencies of 'app')"
std::string gained_cause(const Notices::Gained& g) {
  const std::string words = g.last_line == g.from_line ? "line " + std::to_string(g.from_line)
                                                       : "lines " + std::to_string(g.from_line) +
                                                             " to " + std::to_string(g.last_line);
  if (g.after.empty()) {
    return " (line " + std::to_string(g.line) + " ends right after the colon of " + quoted(g.goal) +
           ", so the words of " + words + " were read as its dependencies)";
  }
  return " (line " + std::to_string(g.line) + " ends in a space after " + quoted(g.after) +
         ", so the words of " + words + " were read as more dependencies of " + quoted(g.goal) +
         ")";
}

// The header whose next line made an edge of the cycle, if one did.
const Notices::Gained* cycle_cause(const Graph& graph, const Notices& notices) {
  const std::vector<VertexIndex> cycle = graph.cycle();
  for (std::size_t i = 0; i + 1 < cycle.size(); ++i) {
    const std::string_view goal = graph.name(cycle[i]);
    const std::string_view child = graph.name(cycle[i + 1]);
    for (const Notices::Gained& g : notices.gained()) {
      if (g.goal == goal && std::find(g.names.begin(), g.names.end(), child) != g.names.end()) {
        return &g;
      }
    }
  }
  return nullptr;
}

}  // namespace

std::string refusal(const Graph& graph, const Notices& notices) {
  std::string err;
  if (graph.plannable(&err)) return {};
  if (graph.empty()) {
    if (notices.colons() > 0) {
      err += std::string(notices.colons() == 1 ? " (its only colon" : " (its first colon") +
             ", at line " + std::to_string(notices.colon_line()) + ", column " +
             std::to_string(notices.colon_column()) + ", comes before any name and is dropped)";
    }
    return err;
  }
  if (graph.child_count(0) == 0) {
    err = "first goal " + quoted(graph.name(0)) + " has no dependencies";
    const auto& lost = notices.lost();
    if (lost && lost->where == Notices::Where::kDependency && lost->goal == graph.name(0)) {
      return err + " (line " + std::to_string(lost->line) +
             " has no line end, so its only dependency " + quoted(lost->text) + " was lost)";
    }
    if (notices.end_where() == Notices::Where::kColon)
      return err + " (nothing after its colon is a name)";
    return err + " (does its rule header lack a line end?)";
  }
  if (const Notices::Gained* g = cycle_cause(graph, notices)) err += gained_cause(*g);
  return err;
}

}  // namespace planner
