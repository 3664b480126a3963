#include "workloads.h"

#include <sys/stat.h>
#include <utime.h>

#include <cstdio>
#include <fstream>
#include <stdexcept>

namespace bench {

namespace {

std::string numbered(const char* prefix, std::size_t i) {
  char text[32];
  std::snprintf(text, sizeof text, "%s%06zu", prefix, i);
  return text;
}

std::string mid(std::size_t k) { return numbered("m", k); }

void touch(const std::filesystem::path& path, long seconds) {
  write_file(path, "");
  utimbuf times{seconds, seconds};
  if (utime(path.c_str(), &times) != 0) throw std::runtime_error("utime " + path.string());
}

}  // namespace

void write_file(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path.string());
}

std::string reading_makefile(std::size_t rules) {
  std::string text;
  text.reserve(rules * 60);
  for (std::size_t i = 0; i < rules; ++i) {
    // A shared header makes a quarter of the lookups hit a known name.
    const std::string goal = numbered("o", i);
    const std::string source = numbered("c", i);
    text += goal + ": " + source + " " + numbered("h", i) + " " + numbered("i", i % 1000) + "\n";
    text += "\tcc -c " + source + " -o " + goal + "\n";
  }
  return text;
}

std::string distinct_makefile(std::size_t rules) {
  std::string text;
  text.reserve(rules * 42);
  for (std::size_t i = 0; i < rules; ++i) {
    text += numbered("t", i) + ".o: " + numbered("s", i) + ".c " + numbered("h", i) + ".h " +
            numbered("c", i) + ".h\n";
  }
  return text;
}

std::string planning_makefile(PlanShape shape) {
  const std::size_t mids = 8 * shape.per_block;
  std::string text = "all:";
  // Appended, not " " + std::string: g++ 12 warns falsely on that (-Wrestrict).
  for (std::size_t j = 0; j < shape.blocks; ++j) text.append(" ").append(numbered("b", j));
  text += "\n\tlink all\n";
  for (std::size_t j = 0; j < shape.blocks; ++j) {
    text += numbered("b", j) + ":";
    const std::size_t first = (j % 8) * shape.per_block;
    for (std::size_t t = 0; t < shape.per_block; ++t) text.append(" ").append(mid(first + t));
    text += "\n\tlink " + numbered("b", j) + "\n";
  }
  for (std::size_t k = 0; k < mids; ++k) {
    text += mid(k) + ": " + mid(k) + ".c " + mid(k) + ".h common.h\n";
    text += "\tcc -c " + mid(k) + ".c\n";
  }
  return text;
}

void lay_out_planning_files(const std::filesystem::path& dir, PlanShape shape) {
  constexpr long kBase = 1'600'000'000;
  const std::size_t mids = 8 * shape.per_block;
  touch(dir / "all", kBase + 300);
  for (std::size_t j = 0; j < shape.blocks; ++j) touch(dir / numbered("b", j), kBase + 200);
  touch(dir / "common.h", kBase);
  for (std::size_t k = 0; k < mids; ++k) {
    const bool stale = k < shape.per_block;
    touch(dir / mid(k), kBase + 100);
    touch(dir / (mid(k) + ".c"), stale ? kBase + 150 : kBase + 50);
    touch(dir / (mid(k) + ".h"), kBase + 50);
  }
}

std::vector<MemoryCase> memory_makefiles(std::size_t scale) {
  auto repeated = [](const std::string& piece, std::size_t times) {
    std::string text;
    text.reserve(piece.size() * times);
    for (std::size_t i = 0; i < times; ++i) text += piece;
    return text;
  };
  const std::size_t fan = 10'000 / scale;
  const std::size_t square = 1'000 / scale;
  const std::size_t rules = 100'000 / scale;
  std::vector<MemoryCase> cases;
  cases.push_back(
      {"a over " + std::to_string(fan) + " b, b with a " + std::to_string(100 / scale) +
           " KB command, up to date",
       "a:" + repeated(" b", fan) + "\nb: c\n\t" + std::string(100'000 / scale, 'x') + "\n"});
  cases.push_back({"a over " + std::to_string(square) + " d, d over as many e, missing",
                   "a:" + repeated(" d", square) + "\nd:" + repeated(" e", square) + "\n"});
  std::string chain;
  for (std::size_t i = 0; i < rules; ++i) {
    const std::string goal = std::string("r").append(std::to_string(i));  // not "r" + ...: g++ 12 -O3 warns falsely
    chain += goal + ": r" + std::to_string(i + 1) + "\n\tmake " + goal + "\n";
  }
  cases.push_back({"a chain of " + std::to_string(rules) + " rules, missing", chain});
  std::string wide = "g:";
  for (std::size_t i = 0; i < rules; ++i) wide += " d" + std::to_string(i);
  cases.push_back(
      {"one rule over " + std::to_string(rules) + " leaves, missing", wide + "\n\tlink\n"});
  return cases;
}

void lay_out_memory_files(const std::filesystem::path& dir) {
  constexpr long kBase = 1'600'000'000;
  touch(dir / "c", kBase);
  touch(dir / "b", kBase + 1);
  touch(dir / "a", kBase + 2);
}

}  // namespace bench
