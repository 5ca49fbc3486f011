// Every test program starts here: tests never touch a real user's configuration, and ABI
// tests find the module built beside them unless TESSARON_MODULE names another.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

void SetEnv(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const std::filesystem::path home = TESSARON_TEST_HOME;
  std::error_code ignored;
  std::filesystem::create_directories(home / ".config", ignored);
  SetEnv("HOME", home.string());
  SetEnv("XDG_CONFIG_HOME", (home / ".config").string());
  SetEnv("LOCALAPPDATA", (home / "AppData").string());
#ifdef TESSARON_MODULE_PATH
  if (!std::getenv("TESSARON_MODULE")) SetEnv("TESSARON_MODULE", TESSARON_MODULE_PATH);
#endif
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
