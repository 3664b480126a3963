#include "planner/automaton.h"

#include <algorithm>
#include <tuple>

namespace planner {

namespace {

using Term = std::vector<Evaluation>;  // a conjunction, in the order evaluated

bool has(const Term& term, const Evaluation& e) {
  return std::find(term.begin(), term.end(), e) != term.end();
}

// Every literal of `a` is one of `b`'s.
bool within(const Term& a, const Term& b) {
  return std::all_of(a.begin(), a.end(), [&b](const Evaluation& e) { return has(b, e); });
}

// The distinct conditions of an outcome, each once, in the order evaluated.
Term term_of(const std::vector<Evaluation>& evaluated) {
  Term term;
  for (const Evaluation& e : evaluated) {
    if (!has(term, e)) term.push_back(e);
  }
  return term;
}

// a ∧ S ∨ ¬a ∧ S ∧ R is a ∧ S ∨ S ∧ R: the second term loses ¬a. Repeated,
// with terms that another contains dropped, until nothing changes.
void shorten(std::vector<Term>* guard) {
  for (bool changed = true; changed;) {
    changed = false;
    for (Term& t : *guard) {
      for (const Term& other : *guard) {
        if (&other == &t) continue;
        for (const Evaluation& e : other) {
          const Evaluation opposite{e.condition, !e.value};
          auto at = std::find(t.begin(), t.end(), opposite);
          if (at == t.end()) continue;
          Term rest = other;
          rest.erase(std::find(rest.begin(), rest.end(), e));
          if (!within(rest, t)) continue;
          t.erase(at);
          changed = true;
          break;
        }
      }
    }
    // A term that holds whenever another does adds nothing; of two equal
    // terms the first stays.
    const auto implied = std::find_if(guard->begin(), guard->end(), [&guard](const Term& t) {
      return std::any_of(guard->begin(), guard->end(), [&t](const Term& other) {
        return &other != &t && within(other, t) && (other != t || &other < &t);
      });
    });
    if (implied != guard->end()) {
      guard->erase(implied);
      changed = true;
    }
  }
}

std::string literal(const AutomatonTable& table, const Evaluation& e, bool with_label) {
  const AutomatonTable::Condition* c = table.condition(e.condition);
  std::string text(e.value ? "" : "¬");
  text.append(c->name);
  if (with_label && !c->label.empty()) text.append(" ").append(c->label);
  return text;
}

// "x1 ¬x3 ¬x6 / z2"; A0's classes as "x1 name char", or "x1/x2/x3" for several.
std::string label_of(const AutomatonTable& table, const AutomatonTable::Transition& t,
                     bool exclusive) {
  std::string text;
  for (const Term& term : t.guard) {
    if (!text.empty()) text += exclusive ? "/" : " or ";
    for (std::size_t i = 0; i < term.size(); ++i) {
      if (i > 0) text += ' ';
      text += literal(table, term[i], exclusive && t.guard.size() == 1);
    }
  }
  if (t.action != 0) text.append(" / ").append(table.action(t.action)->name);
  return text;
}

std::string gloss_of(const AutomatonTable& table, const AutomatonTable::Transition& t) {
  std::string text;
  for (const Term& term : t.guard) {
    if (!text.empty()) text += ", or ";
    for (std::size_t i = 0; i < term.size(); ++i) text.append(i == 0 ? "" : "; ").append(table.gloss(term[i]));
  }
  if (t.action != 0) {
    const AutomatonTable::Action* a = table.action(t.action);
    text.append("; ").append(a->name).append(": ").append(a->gloss);
  }
  return text;
}

}  // namespace

const AutomatonTable::Condition* AutomatonTable::condition(std::uint8_t number) const {
  for (const Condition& c : conditions) {
    if (c.number == number) return &c;
  }
  return nullptr;
}

const AutomatonTable::Action* AutomatonTable::action(std::uint8_t number) const {
  for (const Action& a : actions) {
    if (a.number == number) return &a;
  }
  return nullptr;
}

std::string AutomatonTable::gloss(const Evaluation& e) const {
  const Condition* c = condition(e.condition);
  std::string text(e.value ? "" : "¬");
  return text.append(c->name).append(": ").append(e.value ? c->holds : c->fails);
}

std::vector<AutomatonTable::Transition> transitions_of(const AutomatonTable& table, bool exclusive) {
  std::vector<AutomatonTable::Transition> transitions;
  for (const AutomatonTable::Outcome& o : table.outcomes) {
    if (!o.consistent) continue;
    Term term = term_of(o.evaluated);
    if (exclusive) {
      std::erase_if(term, [](const Evaluation& e) { return !e.value; });
      if (term.empty()) continue;  // a byte no condition holds for: dropped
    }
    auto t = std::find_if(transitions.begin(), transitions.end(), [&o](const auto& t) {
      return t.from == o.from && t.to == o.to && t.action == o.action;
    });
    if (t == transitions.end()) t = transitions.insert(transitions.end(), {o.from, o.to, o.action, {}, {}, {}});
    t->guard.push_back(std::move(term));
  }
  std::stable_sort(transitions.begin(), transitions.end(), [](const auto& a, const auto& b) {
    return std::tie(a.from, a.to, a.action) < std::tie(b.from, b.to, b.action);
  });
  for (AutomatonTable::Transition& t : transitions) {
    shorten(&t.guard);
    // A0's classes read best in the order of their conditions.
    if (exclusive) std::sort(t.guard.begin(), t.guard.end(), [](const Term& a, const Term& b) {
      return a.front().condition < b.front().condition;
    });
    t.label = label_of(table, t, exclusive);
    t.gloss = gloss_of(table, t);
  }
  return transitions;
}

}  // namespace planner
