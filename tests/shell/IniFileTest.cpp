#include "shell/IniFile.h"

#include <gtest/gtest.h>

namespace tessaron {
namespace {

TEST(IniFile, ReadsLikeTheProfileFunctions) {
  const IniFile file = IniFile::Parse(
      "; comment\r\n"
      "stray=before any section\r\n"
      "[ Global ]\r\n"
      "  Path to Program Files  =  /home/u/My Banks  \r\n"
      "Quoted=\"  padded  \"\r\n"
      "Single='x'\r\n"
      "Mismatched=\"x'\r\n"
      "NoEquals\r\n"
      "Empty=\r\n"
      "Twice=first\r\n"
      "twice=second\r\n"
      "[global]\r\n"
      "Other=hidden by the first section\r\n");
  EXPECT_EQ(file.Find("GLOBAL", "path to program files"), "/home/u/My Banks");
  EXPECT_EQ(file.Find("Global", "Quoted"), "  padded  ");
  EXPECT_EQ(file.Find("Global", "Single"), "x");
  EXPECT_EQ(file.Find("Global", "Mismatched"), "\"x'");
  EXPECT_EQ(file.Find("Global", "Empty"), "");
  EXPECT_EQ(file.Find("Global", "Twice"), "first");
  EXPECT_FALSE(file.Find("Global", "NoEquals"));
  EXPECT_FALSE(file.Find("Global", "Other"));
  EXPECT_FALSE(file.Find("Global", "stray"));
  EXPECT_FALSE(file.Find("Missing", "Empty"));

  EXPECT_EQ(file.GetString("Global", "NoEquals", "dflt  ", 63), "dflt");
  EXPECT_EQ(file.GetString("Global", "Empty", "dflt", 63), "");
  EXPECT_EQ(file.GetString("Global", "Path to Program Files", "", 8), "/home/u/");
  EXPECT_EQ(file.GetString("Nope", "Nope", "longdefault", 4), "long");
}

TEST(IniFile, LfCrlfAndByteOrderMarkRead) {
  EXPECT_EQ(IniFile::Parse("[A]\nk=v\n").Find("a", "K"), "v");
  EXPECT_EQ(IniFile::Parse("[A]\r\nk=v").Find("A", "k"), "v");
  EXPECT_EQ(IniFile::Parse("\xEF\xBB\xBF[A]\r\nk=v\r\n").Find("A", "k"), "v");
  EXPECT_EQ(IniFile::Parse("\xEF\xBB\xBF[A]\r\nk=v\r\n").Text(), "\xEF\xBB\xBF[A]\r\nk=v\r\n");
}

TEST(IniFile, WritingReplacesInPlaceAppendsToSectionAndKeepsTheRest) {
  IniFile file = IniFile::Parse(
      "; keep me\r\n"
      "[Global]\r\n"
      "  PATH to program files = old\r\n"
      "Other=1\r\n"
      "\r\n"
      "[MIDI Global]\r\n"
      "MIDI Thru=false\r\n");
  ASSERT_TRUE(file.SetString("global", "Path to Program Files", "/new"));
  ASSERT_TRUE(file.SetString("GLOBAL", "Added", "2"));
  ASSERT_TRUE(file.SetString("Startup Bank", "File", "/b.fxb"));
  EXPECT_EQ(file.Text(),
            "; keep me\r\n"
            "[Global]\r\n"
            "  PATH to program files=/new\r\n"
            "Other=1\r\n"
            "Added=2\r\n"
            "\r\n"
            "[MIDI Global]\r\n"
            "MIDI Thru=false\r\n"
            "\r\n"
            "[Startup Bank]\r\n"
            "File=/b.fxb\r\n");
}

TEST(IniFile, EmptySectionKeepsItsHeaderAndOtherSections) {
  IniFile file = IniFile::Parse("[MIDI Control]\nCC1=4\n; note\nCC7=2\n\n[Global]\nx=1\n[midi control]\nCC9=3\n");
  file.EmptySection("midi CONTROL");
  EXPECT_EQ(file.Text(), "[MIDI Control]\n\n[Global]\nx=1\n[midi control]\n");
  ASSERT_TRUE(file.SetString("MIDI Control", "CC3", "5"));
  EXPECT_EQ(file.Text(), "[MIDI Control]\nCC3=5\n\n[Global]\nx=1\n[midi control]\n");
  file.EmptySection("Absent");
  EXPECT_EQ(file.Find("Global", "x"), "1");
}

TEST(IniFile, RefusesWhatWouldBreakTheFileApart) {
  IniFile file = IniFile::Parse("[Startup Bank]\nFile=/a.fxb\n");
  EXPECT_FALSE(file.SetString("Startup Bank", "File", "/a\n[MIDI Control]\nCC1=5"));
  EXPECT_FALSE(file.SetString("Startup Bank", "Fi=le", "x"));
  EXPECT_FALSE(file.SetString("Startup Bank", "", "x"));
  EXPECT_FALSE(file.SetString("Start]up", "File", "x"));
  EXPECT_EQ(file.Text(), "[Startup Bank]\nFile=/a.fxb\n");
}

TEST(IniFile, NewFileUsesNativeLineEndingsAndFileKeepsItsOwn) {
  IniFile file;
  ASSERT_TRUE(file.SetString("A", "k", "v"));
#ifdef _WIN32
  EXPECT_EQ(file.Text(), "[A]\r\nk=v\r\n");
#else
  EXPECT_EQ(file.Text(), "[A]\nk=v\n");
#endif
  IniFile lf = IniFile::Parse("[A]\nk=v");
  ASSERT_TRUE(lf.SetString("a", "j", "w"));
  EXPECT_EQ(lf.Text(), "[A]\nk=v\nj=w\n");
}

}  // namespace
}  // namespace tessaron
