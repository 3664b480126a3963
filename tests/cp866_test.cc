#include "platform/cp866.h"

#include <gtest/gtest.h>

#include "planner/a1_messages.h"
#include "reader/a0_messages.h"

namespace planner {
namespace {

TEST(Cp866, ConvertsCyrillicAndLineEnds) {
  constexpr Cp866 m{"Аап рят\tЁё\n"};
  EXPECT_EQ(m.view(), std::string_view("\x80\xA0\xAF \xE0\xEF\xE2\t\xF0\xF1\r\n", 12));
}

// The look-alike letters that users' scripts tell apart by their bytes.
TEST(Cp866, LatinAndCyrillicLookAlikesKeepTheirBytes) {
  EXPECT_EQ(a0::kStateLine.view().substr(0, 1), "\x80");
  EXPECT_EQ(a1::kStateMain.view().substr(0, 1), "\x80");
  EXPECT_EQ(a0::kClosing.view().substr(0, 2), "A\xA2");
  EXPECT_EQ(a1::kClosing.view().substr(0, 2), "A\xA2");
  EXPECT_EQ(a0::kStateLine.view().substr(8, 2), "A0");
  EXPECT_EQ(a1::kE1.view().substr(0, 7), "e1: Co\xA1");
  EXPECT_EQ(a1::kX1.view().substr(0, 5), "x1 : ");
  EXPECT_EQ(a1::kNotX1.view().substr(0, 5), "!x1: ");
}

}  // namespace
}  // namespace planner
