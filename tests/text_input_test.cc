#include "platform/text_input.h"

#include <gtest/gtest.h>

#include <string>

namespace planner {
namespace {

std::string deliver(std::string raw, bool* ended) {
  return std::string(deliver_text(raw.data(), raw.size(), ended));
}

TEST(TextInput, DropsEveryCrWherever) {
  bool ended = false;
  EXPECT_EQ(deliver("a\r\nb\rc\r\r\n\r", &ended), "a\nbc\n");
  EXPECT_FALSE(ended);
  EXPECT_EQ(deliver("plain\n", &ended), "plain\n");
}

TEST(TextInput, EndsBeforeTheFirstSubByte) {
  bool ended = false;
  EXPECT_EQ(deliver(std::string("a\r:b\x1A\r\nc\x1A", 9), &ended), "a:b");
  EXPECT_TRUE(ended);
  ended = false;
  EXPECT_EQ(deliver(std::string("\x1A", 1), &ended), "");
  EXPECT_TRUE(ended);
}

TEST(TextInput, KeepsNulAndHighBytes) {
  bool ended = false;
  const std::string raw("\0\x80\xFF\x19\x1B", 5);
  EXPECT_EQ(deliver(raw, &ended), raw);
  EXPECT_FALSE(ended);
}

}  // namespace
}  // namespace planner
