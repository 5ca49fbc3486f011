// Feeds arbitrary file contents and names to the INI reader and writer.
// Input layout: section \0 key \0 value \0 file text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "shell/IniFile.h"

namespace {

std::string_view NextField(std::string_view& rest) {
  const std::size_t cut = rest.find('\0');
  const std::string_view field = rest.substr(0, cut);
  rest.remove_prefix(cut == std::string_view::npos ? rest.size() : cut + 1);
  return field;
}

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using tessaron::IniFile;
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string_view section = NextField(rest);
  const std::string_view key = NextField(rest);
  const std::string_view value = NextField(rest);

  IniFile file = IniFile::Parse(rest);
  const auto before = file.Find(section, key);
  Check(file.GetString(section, key, "-1", 63).size() <= 63);

  // Reading the written text back must answer the same.
  const IniFile reread = IniFile::Parse(file.Text());
  Check(reread.Find(section, key) == before);
  Check(reread.Find("MIDI Control", "CC7") == file.Find("MIDI Control", "CC7"));

  // A value the reader gives back unchanged (no outer blanks, no enclosing quotes)
  // must be found again after writing, and survive a round trip through text.
  const bool plain = !value.empty() && value.front() != ' ' && value.back() != ' ' &&
                     static_cast<unsigned char>(value.front()) > ' ' &&
                     static_cast<unsigned char>(value.back()) > ' ' && value.front() != '"' && value.front() != '\'';
  if (file.SetString(section, key, value) && plain) {
    Check(file.Find(section, key) == std::string(value));
    Check(IniFile::Parse(file.Text()).Find(section, key) == std::string(value));
  }

  file.EmptySection(section);
  Check(!file.Find(section, key));
  Check(!IniFile::Parse(file.Text()).Find(section, key));
  return 0;
}
