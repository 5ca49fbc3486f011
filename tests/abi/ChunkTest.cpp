#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "engine/ParameterIds.h"
#include "tests/abi/AbiTestSupport.h"

namespace tessaron::test {
namespace {

using namespace vst;

const uint8_t kHeader[8] = {'t', 'f', 'f', 'p', 0, 0, 1, 0};

std::vector<float> AllParams(TestHost& h) {
  std::vector<float> v;
  for (int i = 0; i < 66; ++i) v.push_back(h.GetParameter(i));
  return v;
}

// Distinct values on every parameter, derived from a seed.
void Scramble(TestHost& h, int seed) {
  for (int i = 0; i < 66; ++i) h.SetParameter(i, static_cast<float>(((i * 37 + seed * 11) % 100) / 99.0));
}

using Chunks = OpenedInstance;

TEST_F(Chunks, ProgramChunkLayoutAndRoundTrip) {
  Scramble(host, 1);
  char name[] = "PAD: Star Tone";
  host.Dispatch(effSetProgramName, 0, 0, name);
  const std::vector<uint8_t> chunk = host.GetChunk(false);
  ASSERT_EQ(chunk.size(), 8u + 564u + 4u + 14u);
  EXPECT_EQ(std::memcmp(chunk.data(), kHeader, 8), 0);
  EXPECT_EQ(std::memcmp(chunk.data() + 8, "Tessaron_1.0.0", 14), 0);
  EXPECT_EQ(std::memcmp(chunk.data() + 8 + 564, "\x0E\0\0\0PAD: Star Tone", 18), 0);

  TestHost other;
  ASSERT_TRUE(other.Load());
  other.Dispatch(effOpen);
  EXPECT_EQ(other.SetChunk(chunk, false), 1);
  EXPECT_EQ(AllParams(other), AllParams(host));
  EXPECT_EQ(other.DispatchText(effGetProgramName), "PAD: Star Tone");
  EXPECT_EQ(other.GetChunk(false), chunk);  // byte for byte
}

// Every cut of a name to a byte limit ends on a whole UTF-8 character: the slot's 255 bytes
// and the host's 64-byte buffers.
TEST_F(Chunks, LongNamesAreCutOnWholeCharacters) {
  std::string longName;
  for (int i = 0; i < 150; ++i) longName += "\xC3\xA9";  // "é", two bytes each
  std::vector<uint8_t> chunk = host.GetChunk(false);
  chunk.resize(chunk.size() - 4 - 14);  // the trailing slot name, "PAD: Star Tone"
  const uint32_t length = static_cast<uint32_t>(longName.size());
  for (int shift = 0; shift < 32; shift += 8) chunk.push_back(static_cast<uint8_t>(length >> shift));
  chunk.insert(chunk.end(), longName.begin(), longName.end());
  ASSERT_EQ(host.SetChunk(chunk, false), 1);

  const std::vector<uint8_t> stored = host.GetChunk(false);
  uint32_t storedLength = 0;
  std::memcpy(&storedLength, stored.data() + 8 + 18, 4);  // the name inside the state
  EXPECT_EQ(storedLength, 254u);
  EXPECT_EQ(host.DispatchText(effGetProgramName), longName.substr(0, 62));
  EXPECT_EQ(host.DispatchText(effGetProgramNameIndexed, 0), longName.substr(0, 62));
}

TEST_F(Chunks, BankChunkRoundTripsEveryProgram) {
  std::vector<std::vector<float>> values;
  for (int p = 0; p < 64; ++p) {
    host.Dispatch(effSetProgram, 0, p);
    Scramble(host, p);
    std::string name = "Program " + std::to_string(p);
    host.Dispatch(effSetProgramName, 0, 0, name.data());
    values.push_back(AllParams(host));
  }
  host.Dispatch(effSetProgram, 0, 17);
  const std::vector<uint8_t> bank = host.GetChunk(true);
  ASSERT_GT(bank.size(), 64u * 560u);
  EXPECT_EQ(std::memcmp(bank.data(), kHeader, 8), 0);

  TestHost other;
  ASSERT_TRUE(other.Load());
  other.Dispatch(effOpen);
  EXPECT_EQ(other.SetChunk(bank, true), 1);
  for (int p = 0; p < 64; ++p) {
    other.Dispatch(effSetProgram, 0, p);
    EXPECT_EQ(other.DispatchText(effGetProgramName), "Program " + std::to_string(p));
    EXPECT_EQ(AllParams(other), values[p]) << "program " << p;
  }
}

TEST_F(Chunks, UntaggedProgramChunkReadsBareValues) {
  std::vector<uint8_t> bare(66 * 8, 0);  // 66 doubles of 0.0
  EXPECT_EQ(host.SetChunk(bare, false), 1);
  EXPECT_EQ(host.ParamDisplay(kBendRange), "0");
  EXPECT_EQ(host.ParamDisplay(kSynthLevel), "-oo");
  EXPECT_EQ(host.ParamDisplay(kSyncResetPhase), "0");
}

TEST_F(Chunks, BadChunksAreRefusedWithoutHarm) {
  std::vector<uint8_t> tiny = {1, 2, 3};
  EXPECT_EQ(host.Dispatch(effSetChunk, 0, -5, tiny.data()), 0);
  // An absurd size: beyond 2^32 where pointers allow it, else the largest value.
  EXPECT_EQ(host.Dispatch(effSetChunk, 1, sizeof(intptr_t) > 4 ? intptr_t(int64_t(1) << 40) : INTPTR_MAX, tiny.data()),
            0);
  EXPECT_EQ(host.Dispatch(effSetChunk, 0, 3, nullptr), 0);
  EXPECT_EQ(host.Dispatch(effGetChunk, 0, 0, nullptr), 0);
  EXPECT_EQ(host.SetChunk(tiny, false), 0);
  EXPECT_EQ(host.SetChunk({}, true), 0);

  std::mt19937 rng(1234);
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes(rng() % 2000);
    for (auto& b : bytes) b = static_cast<uint8_t>(rng());
    if (round % 3 == 0 && bytes.size() >= 8) std::memcpy(bytes.data(), kHeader, 8);
    if (round % 5 == 0 && bytes.size() >= 22) std::memcpy(bytes.data() + 8, "Tessaron_1.0.0", 14);
    host.SetChunk(bytes, round % 2 == 0);
  }
  for (int i = 0; i < 66; ++i) {
    const float v = host.GetParameter(i);
    EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << i << " " << v;
    EXPECT_FALSE(host.ParamDisplay(i).empty());
  }
  for (int p = 0; p < 64; ++p) EXPECT_LE(host.DispatchText(effGetProgramNameIndexed, p).size(), 63u);
  EXPECT_FALSE(host.GetChunk(true).empty());
}

struct VendorCase {
  const char* vendor;
  bool programOnly;
};

class HostVendors : public ::testing::TestWithParam<VendorCase> {};

TEST_P(HostVendors, ChunkRequestsFollowTheVendor) {
  TestHost host;
  host.vendorString = GetParam().vendor;
  ASSERT_TRUE(host.Load());
  host.Dispatch(effOpen);
  const std::vector<uint8_t> chunk = host.GetChunk(true);
  const bool isProgram = chunk.size() == 8u + 550u + 14u + 4u + 14u;  // "PAD: Star Tone" in both places
  EXPECT_EQ(isProgram, GetParam().programOnly);
  host.GetChunk(false);
  EXPECT_EQ(host.CountCalls(audioMasterGetVendorString), 1);  // asked once, then cached

  if (GetParam().programOnly) {
    // A bank handed to such a host's set-chunk is still read as a bank.
    TestHost source;
    ASSERT_TRUE(source.Load());
    for (int p = 0; p < 3; ++p) {
      source.Dispatch(effSetProgram, 0, p);
      std::string name = "Bank " + std::to_string(p);
      source.Dispatch(effSetProgramName, 0, 0, name.data());
    }
    const std::vector<uint8_t> bank = source.GetChunk(true);
    EXPECT_EQ(host.SetChunk(bank, true), 1);
    EXPECT_EQ(host.DispatchText(effGetProgramNameIndexed, 2), "Bank 2");
  }
}

INSTANTIATE_TEST_SUITE_P(Vendors, HostVendors,
                         ::testing::Values(VendorCase{"Native Instruments", true}, VendorCase{"JUCE VST Host", true},
                                           VendorCase{"native instruments host", false},
                                           VendorCase{"Test Vendor", false}, VendorCase{"", false}));

}  // namespace
}  // namespace tessaron::test
