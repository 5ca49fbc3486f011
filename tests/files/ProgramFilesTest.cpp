#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "host/ProgramFiles.h"
#include "tests/files/FilesTestSupport.h"

namespace tessaron::test {
namespace {

// Everything a refused load must leave alone.
struct Snapshot {
  std::vector<uint8_t> bank;
  int current;
  std::vector<double> values;
  explicit Snapshot(Tessaron& t) : current(t.CurrentProgram()) {
    ChunkBuffer b;
    t.SerializePresets(b);
    bank.assign(b.Data(), b.Data() + b.Size());
    for (int i = 0; i < kParameterCount; ++i) values.push_back(t.GetParam(i)->Value());
  }
  bool operator==(const Snapshot&) const = default;
};

TEST(ProgramFiles, SavedProgramLayoutAndRoundTrip) {
  HomedInstance in;
  Tessaron& t = in.t;
  const std::string path = in.home.File("star.fxp");
  ASSERT_TRUE(SaveProgramFile(t, path));
  const std::vector<uint8_t> b = ReadBytes(path);
  ASSERT_EQ(b.size(), 632u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "CcnK");
  EXPECT_EQ(BigEndianAt(b, 4), 632);
  EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 12), "FPCh");
  EXPECT_EQ(BigEndianAt(b, 12), 1);
  EXPECT_EQ(std::string(b.begin() + 16, b.begin() + 20), "Tsrn");
  EXPECT_EQ(BigEndianAt(b, 20), 10001);
  EXPECT_EQ(BigEndianAt(b, 24), 66);
  EXPECT_EQ(std::string(b.begin() + 28, b.begin() + 56), std::string("PAD: Star Tone") + std::string(14, '\0'));
  EXPECT_EQ(BigEndianAt(b, 56), 572);
  const uint8_t chunkHeader[] = {'t', 'f', 'f', 'p', 0, 0, 1, 0};
  EXPECT_EQ(std::memcmp(b.data() + 60, chunkHeader, 8), 0);
  EXPECT_EQ(std::memcmp(b.data() + 68, "Tessaron_1.0.0", 14), 0);

  // Loading restores the values into the current slot under the file's name.
  t.SelectProgram(5);
  EXPECT_TRUE(LoadProgramFile(t, path));
  EXPECT_EQ(t.CurrentProgram(), 5);
  EXPECT_EQ(t.ProgramName(5), "PAD: Star Tone");
  EXPECT_EQ(t.GetParam(kVcfCutoff)->Value(), 0.3635759893);

  // A long name is cut to 27 characters so that the field keeps its NUL.
  t.ModifyCurrentPreset("A program name of more than twenty-eight characters");
  ASSERT_TRUE(SaveProgramFile(t, path));
  const std::vector<uint8_t> cut = ReadBytes(path);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(cut.data() + 28)), "A program name of more than");
  EXPECT_EQ(cut[55], 0);

  EXPECT_FALSE(SaveProgramFile(t, ""));
  EXPECT_FALSE(SaveBankFile(t, (in.home.Dir() / "no-such-folder" / "x.fxb").string()));
}

// Whatever its length, a name ends in the 28-byte field on a whole character and a NUL.
TEST(ProgramFiles, NameFieldEndsOnAWholeCharacter) {
  HomedInstance in;
  const std::string path = in.home.File("utf8.fxp");
  for (const std::string character : {"\xC3\xA9", "\xE2\x82\xAC", "\xF0\x9D\x84\x9E"}) {  // é € 𝄞
    for (std::size_t ascii = 18; ascii <= 28; ++ascii) {
      const std::string name = std::string(ascii, 'a') + character + character + character;
      in.t.ModifyCurrentPreset(name.c_str());
      ASSERT_TRUE(SaveProgramFile(in.t, path));
      const std::vector<uint8_t> b = ReadBytes(path);
      std::string expected(std::min<std::size_t>(ascii, 27), 'a');
      while (expected.size() + character.size() <= 27 && expected.size() < name.size()) expected += character;
      EXPECT_EQ(std::string(reinterpret_cast<const char*>(b.data() + 28)), expected) << ascii;
      EXPECT_EQ(b[55], 0);
    }
  }
}

TEST(ProgramFiles, BankSavedAfterStartUpIsTheFactoryImage) {
  HomedInstance in;
  const std::string path = in.home.File("bank.fxb");
  ASSERT_TRUE(SaveBankFile(in.t, path));
  std::vector<uint8_t> saved = ReadBytes(path);
  const std::vector<uint8_t> factory = ReadBytes(TESSARON_FACTORY_DIR "/tessaron.fxb");
  ASSERT_EQ(factory.size(), 37669u);
  ASSERT_EQ(saved.size(), factory.size());
  EXPECT_EQ(BigEndianAt(saved, 20), 10001);
  EXPECT_EQ(BigEndianAt(factory, 20), 900);
  saved[20] = factory[20], saved[21] = factory[21], saved[22] = factory[22], saved[23] = factory[23];
  EXPECT_TRUE(saved == factory);
}

TEST(ProgramFiles, FactoryImageIsWhatTheGeneratorMakesFromItsSource) {
  PrivateHome home;
  const std::string out = home.File("generated.fxb");
  const std::string command =
      std::string("\"") + TESSARON_FACTORYBANK_TOOL + "\" \"" TESSARON_FACTORY_DIR "/programs.txt\" \"" + out + "\"";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_TRUE(ReadBytes(out) == ReadBytes(TESSARON_FACTORY_DIR "/tessaron.fxb"));
}

TEST(ProgramFiles, RefusalsChangeNothing) {
  HomedInstance in;
  Tessaron& t = in.t;
  t.SelectProgram(3);
  t.GetParam(kDelayMix)->SetClamped(0.77);  // a live edit that a refusal must keep
  const std::string bankPath = in.home.File("bank.fxb");
  const std::string programPath = in.home.File("program.fxp");
  ASSERT_TRUE(SaveBankFile(t, bankPath));
  ASSERT_TRUE(SaveProgramFile(t, programPath));
  const std::vector<uint8_t> bank = ReadBytes(bankPath);
  const std::vector<uint8_t> program = ReadBytes(programPath);
  const Snapshot before(t);

  const auto patched = [&](std::vector<uint8_t> bytes, std::size_t pos, const char* four) {
    std::memcpy(bytes.data() + pos, four, 4);
    const std::string path = in.home.File("patched");
    WriteBytes(path, bytes);
    return path;
  };
  EXPECT_FALSE(LoadBankFile(t, patched(bank, 16, "Abcd")));  // another plug-in
  EXPECT_FALSE(LoadBankFile(t, patched(bank, 0, "CcnX")));
  EXPECT_FALSE(LoadBankFile(t, patched(bank, 8, "FPCh")));             // a program is no bank
  EXPECT_FALSE(LoadProgramFile(t, patched(program, 12, "\0\0\0\2")));  // format version 2
  EXPECT_FALSE(LoadProgramFile(t, patched(program, 16, "Abcd")));
  EXPECT_FALSE(LoadProgramFile(t, patched(program, 8, "FBCh")));
  WriteBytes(in.home.File("short"), std::vector<uint8_t>(bank.begin(), bank.begin() + 18));
  EXPECT_FALSE(LoadBankFile(t, in.home.File("short")));
  EXPECT_FALSE(LoadProgramFile(t, in.home.File("short")));
  EXPECT_FALSE(LoadBankFile(t, in.home.File("missing.fxb")));
  EXPECT_FALSE(LoadProgramFile(t, ""));
  EXPECT_TRUE(Snapshot(t) == before);

  // The header's byte size, version and plug-in version are not checked on a bank.
  std::vector<uint8_t> loose = bank;
  std::memcpy(loose.data() + 4, "\0\0\0\0", 4);
  std::memcpy(loose.data() + 12, "\0\0\0\7", 4);
  std::memcpy(loose.data() + 20, "\0\0\0\1", 4);
  WriteBytes(in.home.File("loose.fxb"), loose);
  EXPECT_TRUE(LoadBankFile(t, in.home.File("loose.fxb")));
}

TEST(ProgramFiles, ParameterListProgramAndBank) {
  HomedInstance in;
  Tessaron& t = in.t;
  std::vector<float> values(kParameterCount, 0.25f);
  values[kVcfCutoff] = 0.5f;
  const std::string full(28, 'N');  // fills the field: no NUL, all 28 characters count
  WriteBytes(in.home.File("list.fxp"), ParameterListProgram(full, values));
  t.SelectProgram(2);
  ASSERT_TRUE(LoadProgramFile(t, in.home.File("list.fxp")));
  EXPECT_EQ(t.ProgramName(2), full);
  EXPECT_NEAR(t.GetParam(kVcfCutoff)->GetNormalized(), 0.5, 1e-12);
  EXPECT_DOUBLE_EQ(t.GetParam(kDelayMix)->Value(), 0.25);
  EXPECT_EQ(t.GetParam(kModSpeed)->Value(), 25.0 * 0.25 * 0.25);  // through the parameter's shape
  // The slot holds what was applied: selecting it again gives the same values.
  t.SelectProgram(0);
  t.SelectProgram(2);
  EXPECT_DOUBLE_EQ(t.GetParam(kDelayMix)->Value(), 0.25);

  // A bank of two records, current program 1 in its header.
  std::vector<uint8_t> bank;
  PutText(bank, "CcnK");
  PutBigEndian(bank, 0);
  PutText(bank, "FxBk");
  PutBigEndian(bank, 2);
  PutText(bank, "Tsrn");
  PutBigEndian(bank, 1);
  PutBigEndian(bank, 2);
  PutBigEndian(bank, 1);
  bank.resize(156, 0);
  std::vector<float> first(kParameterCount, 0.0f), second(kParameterCount, 1.0f);
  const std::vector<uint8_t> a = ParameterListProgram("First", first);
  const std::vector<uint8_t> b = ParameterListProgram("Second", second);
  bank.insert(bank.end(), a.begin(), a.end());
  const std::size_t secondRecord = bank.size();
  bank.insert(bank.end(), b.begin(), b.end());
  WriteBytes(in.home.File("list.fxb"), bank);
  ASSERT_TRUE(LoadBankFile(t, in.home.File("list.fxb")));
  EXPECT_EQ(t.ProgramName(0), "First");
  EXPECT_EQ(t.ProgramName(1), "Second");
  EXPECT_EQ(t.ProgramName(2), full);  // beyond the count: untouched
  EXPECT_EQ(t.CurrentProgram(), 1);
  EXPECT_DOUBLE_EQ(t.GetParam(kDelayMix)->Value(), 1.0);
  t.SelectProgram(0);
  EXPECT_DOUBLE_EQ(t.GetParam(kDelayMix)->Value(), 0.0);

  // A bad second record: refused, but the first program is already read.
  std::memcpy(bank.data() + 28, "\0\0\0\0", 4);
  std::memcpy(bank.data() + secondRecord + 24, "\0\0\0\x41", 4);  // 65 parameters
  std::memcpy(bank.data() + 156 + 28, "Again", 5);
  WriteBytes(in.home.File("bad.fxb"), bank);
  EXPECT_FALSE(LoadBankFile(t, in.home.File("bad.fxb")));
  EXPECT_EQ(t.ProgramName(0), "Again");
  EXPECT_EQ(t.ProgramName(1), "Second");
}

TEST(ProgramFiles, ChunkBankWithoutChunkHeaderReadsFromOffset160) {
  HomedInstance in;
  Tessaron& t = in.t;
  const std::string path = in.home.File("bank.fxb");
  t.SelectProgram(4);
  t.ModifyCurrentPreset("Renamed");
  ASSERT_TRUE(SaveBankFile(t, path));
  std::vector<uint8_t> bytes = ReadBytes(path);
  bytes.erase(bytes.begin() + 160, bytes.begin() + 168);
  WriteBytes(path, bytes);

  HomedInstance other;
  other.t.SelectProgram(4);
  ASSERT_TRUE(LoadBankFile(other.t, path));
  EXPECT_EQ(other.t.ProgramName(4), "Renamed");
  EXPECT_EQ(other.t.ProgramName(5), "KEY: Cheese");
  EXPECT_EQ(other.t.ProgramName(63), "Init");
}

TEST(ProgramFiles, ReadersSurviveTruncatedAndRandomFiles) {
  HomedInstance in;
  Tessaron& t = in.t;
  ASSERT_TRUE(SaveBankFile(t, in.home.File("bank.fxb")));
  ASSERT_TRUE(SaveProgramFile(t, in.home.File("program.fxp")));
  const std::vector<uint8_t> bank = ReadBytes(in.home.File("bank.fxb"));
  const std::vector<uint8_t> program = ReadBytes(in.home.File("program.fxp"));
  std::vector<float> values(kParameterCount, 0.5f);
  const std::vector<uint8_t> list = ParameterListProgram("List", values);
  const std::string path = in.home.File("damaged");

  for (std::size_t length = 0; length < program.size(); length += 7) {
    WriteBytes(path, std::vector<uint8_t>(program.begin(), program.begin() + length));
    LoadProgramFile(t, path);
    WriteBytes(path, std::vector<uint8_t>(list.begin(), list.begin() + std::min(length, list.size())));
    LoadProgramFile(t, path);
  }
  for (std::size_t length = 0; length < bank.size(); length += 997) {
    WriteBytes(path, std::vector<uint8_t>(bank.begin(), bank.begin() + length));
    LoadBankFile(t, path);
    ParseBankImage(t, bank.data(), length);
  }
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> bytes(random() % 2000);
    for (uint8_t& byte : bytes) byte = static_cast<uint8_t>(random());
    // A valid header in front takes the random bytes past the refusals into the readers.
    const std::vector<uint8_t>& head = round % 2 ? bank : program;
    const std::size_t keep = round % 2 ? 168 : 68;
    std::copy(head.begin(), head.begin() + keep, std::back_inserter(bytes));
    std::rotate(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(keep), bytes.end());
    WriteBytes(path, bytes);
    if (round % 2) {
      LoadBankFile(t, path);
    } else {
      LoadProgramFile(t, path);
    }
  }
  for (int i = 0; i < kParameterCount; ++i) {
    const IParameter* p = t.GetParam(i);
    ASSERT_NE(p, nullptr);
    EXPECT_TRUE(p->Value() >= p->Min() && p->Value() <= p->Max()) << i;
  }
  for (int i = 0; i < kProgramCount; ++i) EXPECT_LE(t.ProgramName(i).size(), 255u);
}

}  // namespace
}  // namespace tessaron::test
