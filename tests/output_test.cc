#include "platform/output.h"

#include <gtest/gtest.h>

namespace planner {
namespace {

// Takes the first `good` writes, then fails every one.
struct FailingSink final : Sink {
  explicit FailingSink(int first_good) : good(first_good) {}
  bool write(std::string_view bytes, std::string* err) override {
    if (++calls > good) return *err = "No space left on device", false;
    data.append(bytes);
    return true;
  }
  int good, calls = 0;
  std::string data;
};

// Every byte once, in order, wherever the buffer's edge falls: a message
// that fits, one that fills it exactly, one that does not fit the room
// left, one larger than the whole buffer.
TEST(Output, KeepsEveryByteAcrossBlockEdgesAndStopsAtTheFirstFailure) {
  FailingSink sink(4);
  Output out(sink, 8);
  out.put("abc");
  out.put("defgh");  // full: nothing written yet
  EXPECT_EQ(sink.data, "");
  out.put("pq");  // no room: the block goes, then "pq"
  out.put("pqr");
  out.put_text("x\ny");  // "y" starts the third block
  EXPECT_EQ(sink.data, "abcdefghpqpqrx\r\n");
  out.put(std::string(20, 'z'));  // after "y", straight through
  EXPECT_EQ(sink.data, "abcdefghpqpqrx\r\ny" + std::string(20, 'z'));
  EXPECT_TRUE(out.ok());
  out.put("after");
  EXPECT_FALSE(out.flush());
  out.put("more");
  EXPECT_FALSE(out.flush());
  EXPECT_EQ(out.error(), "No space left on device");
  EXPECT_EQ(sink.calls, 5);  // nothing is written once a write has failed
}

}  // namespace
}  // namespace planner
