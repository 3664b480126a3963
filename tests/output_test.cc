#include "platform/output.h"

#include <gtest/gtest.h>

namespace planner {
namespace {

class FailingSink final : public Sink {
 public:
  bool write(std::string_view bytes, std::string* err) override {
    ++calls;
    if (calls > 1) {
      *err = "No space left on device";
      return false;
    }
    data.append(bytes);
    return true;
  }
  int calls = 0;
  std::string data;
};

TEST(Output, GathersWritesIntoBlocksAndKeepsEveryByte) {
  StringSink sink;
  Output out(sink, 8);
  out.put("abc");
  out.put("defgh");  // fills the buffer exactly
  EXPECT_EQ(sink.data, "");
  out.put("ij");
  EXPECT_EQ(sink.data, "abcdefgh");
  out.put(std::string(20, 'x'));  // larger than the buffer: passed straight through
  EXPECT_TRUE(out.flush());
  EXPECT_EQ(sink.data, "abcdefghij" + std::string(20, 'x'));
}

TEST(Output, TextLineFeedsLeaveAsCrLfOtherBytesUnchanged) {
  StringSink sink;
  Output out(sink);
  out.put_text("a\nb\r\n\n");
  out.put_text('\n');
  out.put_text('\r');
  out.flush();
  EXPECT_EQ(sink.data, "a\r\nb\r\r\n\r\n\r\n\r");
}

TEST(Output, FirstFailureIsKeptAndLaterBytesAreDropped) {
  FailingSink sink;
  Output out(sink, 4);
  out.put("1234");
  out.put("5678");  // second block fails
  out.put("9");
  EXPECT_FALSE(out.flush());
  EXPECT_EQ(out.error(), "No space left on device");
  EXPECT_EQ(sink.data, "1234");
  EXPECT_EQ(sink.calls, 2);
}

}  // namespace
}  // namespace planner
