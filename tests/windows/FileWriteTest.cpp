// Replacing a file on Windows: a refused replacement keeps the old file, says why and
// leaves no temporary file behind.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/FileSystem.h"

namespace tessaron::test {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(WindowsFileWrite, ReplacesTheFileOrLeavesItAsItWas) {
  const fs::path dir = fs::temp_directory_path() / ("tessaron-write-" + std::to_string(GetCurrentProcessId()));
  fs::create_directories(dir);
  const fs::path file = dir / "bank.fxb";
  ASSERT_TRUE(platform::WriteFileAtomically(file.string(), "old"));
  ASSERT_TRUE(platform::WriteFileAtomically(file.string(), "new contents"));
  EXPECT_EQ(Contents(file), "new contents");

  // A file another program holds open, sharing no deletion, refuses to be replaced.
  HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  std::string reason;
  EXPECT_FALSE(platform::WriteFileAtomically(file.string(), "lost", &reason));
  EXPECT_FALSE(reason.empty());
  CloseHandle(held);
  EXPECT_EQ(Contents(file), "new contents");

  reason.clear();
  EXPECT_FALSE(platform::WriteFileAtomically((dir / "gone" / "one.fxp").string(), "x", &reason));
  EXPECT_FALSE(reason.empty());
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);
  std::error_code ignored;
  fs::remove_all(dir, ignored);
}

}  // namespace
}  // namespace tessaron::test
