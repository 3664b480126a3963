// The names' hash against SipHash-1-3's reference vectors: any hash plans the
// same, so only these tell that it is the keyed hash it claims to be.
#include "planner/name_index.h"

#include <gtest/gtest.h>

namespace planner {
namespace {

// Under the key 00 01 ... 0f, the messages of 0 to 15 bytes 00 01 02 ...:
// no whole word, one, and every length of the last. The words are read in
// the machine's order, which is SipHash's on every target we build for.
constexpr std::uint64_t kVectors[] = {
    0xabac0158050fc4dc, 0xc9f49bf37d57ca93, 0x82cb9b024dc7d44d, 0x8bf80ab8e7ddf7fb,
    0xcf75576088d38328, 0xdef9d52f49533b67, 0xc50d2b50c59f22a7, 0xd3927d989bb11140,
    0x369095118d299a8e, 0x25a48eb36c063de4, 0x79de85ee92ff097f, 0x70c118c1f94dc352,
    0x78a384b157b4d9a2, 0x306f760c1229ffa7, 0x605aa111c0f95d34, 0xd320d86d2a519956,
};

TEST(NameIndex, HashIsSipHash13) {
  const NameIndex::Key key{0x0706050403020100, 0x0f0e0d0c0b0a0908};
  std::string message;
  for (char byte = 0; byte < 15; ++byte) message += byte;
  for (std::size_t n = 0; n < std::size(kVectors); ++n) {
    EXPECT_EQ(NameIndex::hash(message.substr(0, n), key),
              static_cast<std::uint32_t>(kVectors[n]))
        << n << " bytes";
  }
}

}  // namespace
}  // namespace planner
