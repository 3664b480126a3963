// The state diagrams of docs/automata.md, made from the automata's own
// tables, so that the docs cannot drift from the switches they describe:
//   planner_diagrams --check docs/automata.md   fails when they differ
//   planner_diagrams --write docs/automata.md   brings them up to date
// Each diagram stands between a line "<!-- diagram A0 -->" (or A1) and the
// next "<!-- end -->".
#include <cstdio>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

#include "planner/dependency_graph.h"
#include "reader/parser.h"

namespace {

using planner::AutomatonTable;

// Mermaid's state diagram: the first state is the start; a state that takes
// no step is the end.
std::string mermaid(const AutomatonTable& t) {
  std::string text = "```mermaid\nstateDiagram-v2\n    [*] --> " + std::string(t.states[0].name) + "\n";
  for (const AutomatonTable::Transition& edge : t.transitions) {
    text += "    " + std::string(t.states[static_cast<std::size_t>(edge.from)].name) + " --> " +
            std::string(t.states[static_cast<std::size_t>(edge.to)].name) + " : " + edge.label + "\n";
  }
  for (std::size_t s = 0; s < t.states.size(); ++s) {
    bool steps = false;
    for (const AutomatonTable::Outcome& o : t.outcomes) steps = steps || o.from == static_cast<std::int32_t>(s);
    if (!steps) text += "    " + std::string(t.states[s].name) + " --> [*]\n";
  }
  return text + "```\n";
}

// `doc` with each diagram's lines replaced; false when a marker is missing.
bool replaced(std::string doc, std::string* out) {
  for (const AutomatonTable* t : {&planner::Parser::table(), &planner::DependencyGraph::table()}) {
    const std::string begin = "<!-- diagram " + std::string(t->name) + " -->\n";
    const std::size_t from = doc.find(begin);
    const std::size_t to = from == std::string::npos ? from : doc.find("<!-- end -->", from);
    if (to == std::string::npos) return false;
    doc.replace(from + begin.size(), to - from - begin.size(), mermaid(*t));
  }
  *out = doc;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string mode = argc == 3 ? argv[1] : "";
  if (mode != "--check" && mode != "--write") {
    std::fprintf(stderr, "usage: %s --check|--write automata.md\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[2], std::ios::binary);
  const std::string doc{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::string made;
  if (!in || !replaced(doc, &made)) {
    std::fprintf(stderr, "%s: no diagram markers in %s\n", argv[0], argv[2]);
    return 1;
  }
  if (mode == "--write") return std::ofstream(argv[2], std::ios::binary) << made ? 0 : 1;
  if (made == doc) return 0;
  std::fprintf(stderr, "%s: the diagrams in %s differ from the automata; run %s --write %s\n",
               argv[0], argv[2], argv[0], argv[2]);
  return 1;
}
