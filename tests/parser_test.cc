#include "reader/parser.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/text_input.h"
#include "reader/a0_messages.h"
#include "test_util.h"

namespace planner {
namespace {

using test::decode;
using test::describe;

struct Reading {
  std::string trace;  // raw bytes
  std::string graph;  // described
};

Reading read(std::string_view chars) {
  StringSink sink;
  Output trace(sink);
  Parser parser(trace);
  parser.run(chars);
  trace.flush();
  return {sink.data, describe(parser.a1)};
}

std::string graph_of(std::string_view chars) { return read(chars).graph; }

TEST(Parser, ShortRuleTraceIsExact) {
  const Reading r = read("a:b\n");
  EXPECT_EQ(decode(r.trace), test::read_file(PLANNER_TEST_DATA "/a0_example.trace"));
  EXPECT_EQ(r.graph, "a: b\nb:\n");
}

TEST(Parser, EmptyInputPrintsOnlyTheClosingLine) {
  const Reading r = read("");
  EXPECT_EQ(decode(r.trace), "Aвтомат A0 закончил работу\n");
  EXPECT_EQ(r.graph, "");
}

TEST(Parser, RulesCommandsAndBlankLines) {
  StringSink sink;
  Output trace(sink);
  Parser parser(trace);
  parser.run("all: a.o b.o\n\tlink a.o b.o\n\na.o: a.c\n\tcc -c a.c\n");
  EXPECT_EQ(describe(parser.a1),
            "all: a.o b.o\n\tlink a.o b.o\na.o: a.c\n\tcc -c a.c\nb.o:\na.c:\n");
  EXPECT_EQ(parser.state, Parser::DETERMINE);
  EXPECT_EQ(parser.buffers.copy_goal(), "a.o");
  // Blank lines anywhere, spaces around the colon and between names.
  EXPECT_EQ(graph_of("\n\nall :  a.o   b.o\n\n\n\tone\n\ttwo\n\nall: c\n\tthree\n"),
            "all: a.o b.o c\n\tone\n\ttwo\n\tthree\na.o:\nb.o:\nc:\n");
}

// Exactly 65 byte values are name characters, whatever the signedness of
// char; every byte belongs to at most one class.
TEST(Parser, CharacterClassesCoverExactlyTheirBytes) {
  const std::string names = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789.-+";
  for (int b = 0; b < 256; ++b) {
    const char c = static_cast<char>(b);
    // In LINE only x1 (and x3, trace only) are evaluated; in COMMAND x1, x2,
    // x3 and x4.
    const std::string line = read(std::string(1, c)).trace;
    EXPECT_EQ(line.rfind(std::string(a0::kX1.view()), 0) == 0, names.find(c) != std::string::npos)
        << b;
    const std::string command = read(std::string("a:b\n\t") + c).trace;
    const auto last = command.substr(read("a:b\n\t").trace.size() - a0::kClosing.view().size());
    const bool kept = names.find(c) != std::string::npos || c == ':' || c == ' ';
    const bool line_end = c == '\n' || c == '\r';
    EXPECT_EQ(last.rfind(std::string(a0::kStateCommand.view()), 0) == 0, !kept && !line_end) << b;
  }
}

TEST(Parser, OneStateLinePerCharacterAndAtMostOneConditionLine) {
  const std::string input = "all: a_b \n\t cc -o x > y\t!\n\xC0x:y\n";
  const std::string trace = decode(read(input).trace);
  EXPECT_EQ(test::lines_starting(trace, "Автомат A0 перешел"), input.size());
  EXPECT_EQ(test::lines_starting(trace, "Aвтомат A0 закончил работу"), 1u);
}

TEST(Parser, CrLfAndLfMakefilesReadAlike) {
  // What the text-mode read delivers from a CR LF file is the LF file.
  const std::string lf = "app: main.o\n\tlink main.o\nmain.o: main.c\n\tcc main.c\n";
  std::string crlf;
  for (const char c : lf) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  std::string delivered = crlf;
  bool ended = false;
  EXPECT_EQ(read(deliver_text(delivered.data(), delivered.size(), &ended)).trace, read(lf).trace);
}

TEST(Parser, DropsBytesOutsideTheGrammar) {
  // Underscores, slashes, high bytes join the pieces of a name; no condition
  // line is printed for them.
  const Reading r = read("my_file.o: c:x \xD0\x90z/w\n\tcc > log | \"q\"\n");
  EXPECT_EQ(r.graph, "myfile.o: cx zw\n\tcc  log  q\ncx:\nzw:\n");
  const std::string high = read("\x80\xFF\xC0").trace;
  EXPECT_EQ(decode(high),
            "Автомат A0 перешел в состояние LINE\n"
            "Автомат A0 перешел в состояние LINE\n"
            "Автомат A0 перешел в состояние LINE\n"
            "Aвтомат A0 закончил работу\n");
}

TEST(Parser, HeaderEndingWithASpaceTakesTheCommandAsDependencies) {
  EXPECT_EQ(graph_of("all: a \n\tcc -c a.c\n\tlink\n"),
            "all: a cc -c a.c\n\tlink\na:\ncc:\n-c:\na.c:\n");
}

TEST(Parser, GoalWithNothingAfterItsColonTakesTheNextLine) {
  EXPECT_EQ(graph_of("all:\n\tcc x\n"), "all: cc x\ncc:\nx:\n");
  // The next header's goal and first dependency join across the dropped colon.
  EXPECT_EQ(graph_of("all:\nb:c d\n\tcmd\n"), "all: bc d\n\tcmd\nbc:\nd:\n");
}

TEST(Parser, CommandLinesNeedTheirTab) {
  EXPECT_EQ(graph_of("a: b\n\t\n"), "a: b\n\t\nb:\n");                     // empty command
  EXPECT_EQ(graph_of("a: b\n  \t  cc  x\n"), "a: b\n\t  cc  x\nb:\n");     // spaces before the tab
  EXPECT_EQ(graph_of("a: b\n\tcc\tx\t\n"), "a: b\n\tccx\nb:\n");           // tabs inside dropped
  EXPECT_EQ(graph_of("a: b\n  cc x\nc: d\n"), "a: b\nb:\nccxc: d\nd:\n");  // spaces only
}

TEST(Parser, LastLineWithoutLineEndLosesItsLastToken) {
  EXPECT_EQ(graph_of("a: b c"), "a: b\nb:\n");
  EXPECT_EQ(graph_of("a: b\n\tcc x"), "a: b\nb:\n");
  EXPECT_EQ(graph_of("a: b"), "a:\n");
  EXPECT_EQ(graph_of("a b c"), "");
}

TEST(Parser, LineEndInDetermineAndSpaceInDetermine) {
  const std::string trace = decode(read("a:b\n\n \n").trace);
  EXPECT_NE(trace.find("строки: \n\nАвтомат A0 перешел в состояние DETERMINE\n"
                       "x4: текущий символ - символ перевода строки: \n\n"
                       "Автомат A0 перешел в состояние DETERMINE\n"
                       "Автомат A0 перешел в состояние DETERMINE\n"
                       "x4: "),
            std::string::npos)
      << trace;
}

TEST(Parser, TracePrintsTabsAndSpacesAsRead) {
  const std::string trace = read("a:b\n\t \n").trace;
  EXPECT_NE(trace.find(std::string(a0::kX5.view()) + "\t\r\n"), std::string::npos);
  EXPECT_NE(trace.find(std::string(a0::kX3.view()) + " \r\n"), std::string::npos);
}

TEST(Parser, TokensFarOverTheOldLimitArriveWhole) {
  const std::string goal(5000, 'g');
  const std::string dep(3000, 'd');
  const std::string command(4000, 'c');
  EXPECT_EQ(graph_of(goal + ": " + dep + "\n\t" + command + "\n"),
            goal + ": " + dep + "\n\t" + command + "\n" + dep + ":\n");
}

TEST(Parser, FileWithoutColonIsOneGoalNameNeverRegistered) {
  StringSink sink;
  Output trace(sink);
  Parser parser(trace);
  const std::string big(3u << 20, 'n');
  parser.run(big);
  EXPECT_EQ(parser.buffers.goal_length(), big.size());
  parser.run(":x\n");
  ASSERT_EQ(parser.a1.vertices().size(), 2u);
  EXPECT_EQ(parser.a1.vertices()[0].name, big);
}

}  // namespace
}  // namespace planner
