// What each notice says: where it is comes first (the caller's), then what
// was written, what the reader made of it in the end, and, for a habit from
// make, how to write the same here where there is a sure answer.
#include "driver/warning_texts.h"

#include <string_view>
#include <vector>

namespace planner {

namespace {

using Kind = Notices::Kind;
using Record = Notices::Record;

std::string quoted(std::string_view text) { return '\'' + std::string(text) + '\''; }

std::string listed(const std::vector<std::string>& items) {
  std::string text;
  for (const std::string& item : items) text += (text.empty() ? "" : ", ") + quoted(item);
  return text;
}

std::string bytes_of(const Record& r) {
  std::vector<std::string> bytes;
  for (const char byte : r.bytes) bytes.emplace_back(1, byte);
  return listed(bytes);
}

// The words as written when the notices could put them together, else the
// bytes.
std::string written_or_bytes(const Record& r) {
  return r.written.empty() ? bytes_of(r) : listed(r.written);
}

// Whether the words or bytes quoted are one, for the verb.
bool one(const Record& r) {
  return r.written.empty() ? r.bytes.size() == 1 : r.written.size() == 1;
}

std::string lines(std::uint64_t from, std::uint64_t to) {
  return from == to ? "line " + std::to_string(from)
                    : "lines " + std::to_string(from) + " to " + std::to_string(to);
}

// "read from line 1 to line 5" for a goal name's lines.
std::string read_from(std::uint64_t from, std::uint64_t to) {
  return "read from line " + std::to_string(from) + " to line " + std::to_string(to);
}

// What became of the token that lost the bytes; empty when there was none.
std::string fate(const Record& r) {
  if (r.from_line != 0) {  // a goal name
    if (r.lost) return "its words never meet a colon and are lost";
    if (r.from_line != r.to_line) {
      return std::string("its words join the ") +
             (r.first_goal ? "first goal's name, " : "goal name ") +
             read_from(r.from_line, r.to_line);
    }
    return (r.first_goal ? "the first goal's name, the one planned, reads " : "the name reads ") +
           quoted(r.reads);
  }
  if (r.reads.empty()) return {};
  return (r.command ? "the command reads " : "the name reads ") + quoted(r.reads);
}

// ": FATE" when there is one.
std::string with_fate(const Record& r) {
  const std::string f = fate(r);
  return f.empty() ? "" : ": " + f;
}

std::string definition(const Record& r) {
  std::string op = "'='";
  if (!r.goal.empty()) {
    op = r.bytes.find(':') != std::string::npos ? "'::='" : "':='";
  } else if (r.bytes[0] == '?' || r.bytes[0] == '!') {
    op = quoted(std::string(1, r.bytes[0]) + "=");
  }
  const std::string what =
      r.goal.empty() ? with_fate(r) : ": the line is read as a rule for " + quoted(r.goal);
  return op + " defines no variable here" + what + "; write the value where it is used";
}

std::string reference(const Record& r) {
  bool automatic = false, variable = false;
  for (const std::string& word : r.written) {
    for (std::size_t i = 0; i + 1 < word.size(); ++i) {
      if (word[i] != '$') continue;
      const char next = word[i + 1];
      (next == '(' || next == '{' ? variable : automatic) = true;
    }
  }
  const char* hint = automatic && variable ? "write out what they stand for"
                     : automatic           ? "write the names themselves"
                                           : "write the values themselves";
  return written_or_bytes(r) + (one(r) ? " refers" : " refer") + " to no variable here" +
         with_fate(r) + "; " + hint;
}

// The form of an option without its '=' where the tool has one for sure.
std::string without_equals(std::string_view word) {
  for (const std::string_view std : {"-std=", "--std="}) {
    if (word.substr(0, std.size()) == std && word.size() > std.size()) {
      return "write " + quoted("--std " + std::string(word.substr(std.size()))) +
             ", which gcc and clang take as well";
    }
  }
  if (word.size() > 4 && word.substr(0, 2) == "-D" && word.substr(word.size() - 2) == "=1") {
    const std::string name(word.substr(0, word.size() - 2));
    return "write " + quoted(name) + ", which defines " + name.substr(2) + " as 1";
  }
  return {};
}

std::string option(const Record& r) {
  std::string text =
      listed(r.written) + (one(r) ? " loses its" : " lose their") + " '=' here" + with_fate(r);
  for (const std::string& word : r.written) {
    const std::string hint = without_equals(word);
    if (!hint.empty()) text += "; " + hint;
  }
  return text;
}

// The directory of a relative path, when every word names the same one.
std::string directory(const std::vector<std::string>& words) {
  std::string dir;
  for (const std::string& word : words) {
    const std::size_t slash = word.find_last_of("/\\");
    if (slash == std::string::npos || slash == 0 || word[0] == '/' || word[0] == '\\' ||
        word.find("..") != std::string::npos || word.find(':') != std::string::npos) {
      return {};
    }
    const std::string mine = word.substr(0, slash);
    if (!dir.empty() && mine != dir) return {};
    dir = mine;
  }
  return dir;
}

std::string path(const Record& r) {
  std::string text = bytes_of(r) + " cannot be part of a name";
  if (r.command) text = bytes_of(r) + " cannot be part of a command";
  if (!r.written.empty()) text += ", so " + listed(r.written) + (one(r) ? " loses it" : " lose it");
  text += with_fate(r);
  const std::string dir = directory(r.written);
  if (!dir.empty()) text += "; run the planner in " + quoted(dir);
  return text;
}

std::string pattern(const Record& r) {
  return written_or_bytes(r) + (one(r) ? " makes" : " make") + " no pattern here" + with_fate(r) +
         "; write a rule for each file";
}

std::string wildcard(const Record& r) {
  return written_or_bytes(r) + (one(r) ? " matches" : " match") + " no files here" + with_fate(r) +
         "; list the names themselves";
}

std::string continuation(const Record& r) {
  const std::uint64_t next = r.line + 1;
  std::string text = "'\\' continues no line here";
  if (r.from_line != 0 && r.next == Notices::Next::kNothing) {
    text += with_fate(r);  // inside a goal name, which goes on anyway
  } else {
    switch (r.next) {
      case Notices::Next::kCommand:
        text += ": line " + std::to_string(next) + " is a command of its own, " + quoted(r.after);
        break;
      case Notices::Next::kRule:
        text += ": line " + std::to_string(next) + " is read as a rule of its own, for " +
                quoted(r.after);
        break;
      case Notices::Next::kGoalName:
        text += ": the words of line " + std::to_string(next) +
                (r.lost ? ", " + quoted(r.after) + ", never meet a colon and are lost"
                        : " begin the goal name " + quoted(r.after) + ", " +
                              read_from(next, r.last_line));
        break;
      case Notices::Next::kNothing:
        text += ": nothing follows on line " + std::to_string(next);
        break;
    }
  }
  if (r.from_line == 0 && !r.reads.empty()) {
    text += std::string("; write the ") + (r.command ? "command" : "header") + " on one line";
  }
  return text;
}

std::string gained(const Record& r) {
  std::string names = listed(r.names);
  if (r.count > r.names.size())
    names += " and " + std::to_string(r.count - r.names.size()) + " more";
  const std::string words = "the words of " + lines(r.from_line, r.to_line);
  const std::string what =
      r.after.empty()
          ? "line " + std::to_string(r.line) + " ends right after the colon of " + quoted(r.goal) +
                ", so " + words + " were read as its dependencies: "
          : "line " + std::to_string(r.line) + " ends in a space after " + quoted(r.after) +
                ", so " + words + " were read as more dependencies of " + quoted(r.goal) + ": ";
  return what + names + "; commands need a header that ends right after its last dependency";
}

}  // namespace

std::string notice_text(const Record& r) {
  switch (r.kind) {
    case Kind::kDropped: return bytes_of(r) + " discarded" + with_fate(r);
    case Kind::kComment:
      return "'#' starts no comment here" + with_fate(r) + "; remove the comment";
    case Kind::kDefinition: return definition(r);
    case Kind::kReference: return reference(r);
    case Kind::kOption: return option(r);
    case Kind::kPath: return path(r);
    case Kind::kPattern: return pattern(r);
    case Kind::kWildcard: return wildcard(r);
    case Kind::kContinuation: return continuation(r);
    case Kind::kGained: return gained(r);
    case Kind::kIndented:
      return "line " + std::to_string(r.line) +
             " is indented with spaces, not a tab, so it is no command: " +
             (r.lost ? "its words, " + quoted(r.reads) + ", never meet a colon and are lost"
                     : "its words begin the goal name " + quoted(r.reads) + ", " +
                           read_from(r.from_line, r.to_line)) +
             "; indent commands with a tab";
    case Kind::kLongName:
      return "the goal name " + quoted(r.reads) + " is " + read_from(r.from_line, r.to_line) +
             ", as a name ends only at a colon";
    case Kind::kFirstGoal: {
      std::string text = "the first goal, the one planned, is " + quoted(r.reads);
      if (r.from_line != r.to_line) {
        text += ", " + read_from(r.from_line, r.to_line) + ", as a name ends only at a colon";
      }
      if (r.special) {
        text +=
            ": a special target of make means nothing here; move this rule below the one to plan";
      }
      return text;
    }
    case Kind::kNoColon:
      return "the words of " + lines(r.from_line, r.to_line) + ", " + quoted(r.reads) +
             ", never meet a colon and are lost";
    case Kind::kLostAtEnd:
      return "the last line has no line end, so " +
             (r.command ? "the command " + quoted(r.reads) + " of " + quoted(r.goal) + " is lost"
                        : quoted(r.reads) + ", a dependency of " + quoted(r.goal) + ", is lost") +
             "; end the file with a line end";
  }
  return {};
}

}  // namespace planner
