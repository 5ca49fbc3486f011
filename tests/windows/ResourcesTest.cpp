// The resource script and its lookup: the same names and bytes as the files they come from.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "platform/Resources.h"

namespace tessaron::test {
namespace {

TEST(WindowsResources, BankAndImagesAreFoundByTypeAndName) {
  const platform::ResourceData bank = platform::FindResourceData("INIT", "PROGINIT");
  ASSERT_TRUE(bank);
  EXPECT_EQ(std::memcmp(bank.data, "CcnK", 4), 0);
  EXPECT_EQ(bank.size, TESSARON_FACTORY_BANK_SIZE);

  const platform::ResourceData back = platform::FindResourceData("PNG", "img/back.png");
  ASSERT_TRUE(back);
  EXPECT_EQ(std::memcmp(back.data, "\x89PNG\r\n\x1a\n", 8), 0);

  EXPECT_FALSE(platform::FindResourceData("PNG", "img/none.png"));
  EXPECT_FALSE(platform::FindResourceData("INIT", "img/back.png"));  // the type counts
  EXPECT_FALSE(platform::FindResourceData(nullptr, "PROGINIT"));
  EXPECT_FALSE(platform::FindResourceData("INIT", ""));
}

}  // namespace
}  // namespace tessaron::test
