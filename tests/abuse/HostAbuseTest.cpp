// A hostile host: random opcodes and arguments, state round trips, rate and block size
// changes while playing, calls from a second thread and allocation on the audio path.
#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/ParameterIds.h"
#include "tests/abuse/CountingAllocator.h"
#include "tests/support/QuietHost.h"
#include "tests/support/TestHost.h"

namespace tessaron::test {
namespace {

using namespace vst;

constexpr int kParams = kParameterCount;
constexpr int kMaxFrames = 16384;

// Finite and never subnormal: a subnormal means the flush-to-zero guard is missing.
template <typename T>
bool Sound(T x) {
  return std::isfinite(x) && std::fpclassify(x) != FP_SUBNORMAL;
}

template <typename T>
::testing::AssertionResult AllSound(const std::vector<T>& left, const std::vector<T>& right, int frames) {
  for (int i = 0; i < frames; ++i) {
    if (!Sound(left[i]) || !Sound(right[i])) {
      return ::testing::AssertionFailure() << "sample " << i << ": " << left[i] << ", " << right[i];
    }
  }
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult SameBytes(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  if (a == b) return ::testing::AssertionSuccess();
  std::size_t i = 0;
  while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
  return ::testing::AssertionFailure() << "sizes " << a.size() << " and " << b.size() << ", first difference at " << i;
}

double Rms(const std::vector<float>& x, int frames) {
  double sum = 0.0;
  for (int i = 0; i < frames; ++i) sum += double(x[i]) * x[i];
  return std::sqrt(sum / frames);
}

std::vector<uint8_t> Chunk(QuietHost& host, bool bank) {
  void* data = nullptr;
  const intptr_t size = host.Dispatch(effGetChunk, bank ? 0 : 1, 0, &data);
  if (size <= 0 || !data) return {};
  return std::vector<uint8_t>(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

intptr_t SetChunk(QuietHost& host, std::vector<uint8_t> bytes, bool bank) {
  return host.Dispatch(effSetChunk, bank ? 0 : 1, intptr_t(bytes.size()), bytes.data());
}

class Abuser {
 public:
  explicit Abuser(uint32_t seed) : rng_(seed), buffer_(kBuffer), second_(kBuffer) {}

  // One random host action; false (with a message) when the plug-in misbehaved.
  ::testing::AssertionResult Step(QuietHost& host) {
    const int kind = Pick(0, 99);
    if (kind < 50) return Dispatch(host);
    if (kind < 62) {
      host.SetParameter(AnyIndex(), AnyFloat());
    } else if (kind < 65) {
      const float v = host.GetParameter(AnyIndex());
      if (!(v >= 0.0f && v <= 1.0f)) return ::testing::AssertionFailure() << "getParameter gave " << v;
    } else if (kind < 74) {
      host.Midi(uint8_t(Pick(0x80, 0xFF)), uint8_t(Pick(0, 127)), uint8_t(Pick(0, 255)), Pick(-10, 9000));
    } else if (kind < 80) {
      uint8_t burst[QuietHost::kMaxBurst][3];
      for (auto& m : burst)
        m[0] = uint8_t(Pick(0x80, 0xEF)), m[1] = uint8_t(Pick(0, 127)), m[2] = uint8_t(Pick(0, 127));
      host.MidiBurst(burst, Pick(0, QuietHost::kMaxBurst), Pick(0, 2000));
    } else {
      return Process(host);
    }
    return ::testing::AssertionSuccess();
  }

  int Pick(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

 private:
  static constexpr std::size_t kBuffer = 16384;
  static constexpr std::size_t kWritable = 4096;  // no reply reaches further into a host buffer

  int AnyIndex() {
    switch (Pick(0, 5)) {
      case 0: return Pick(INT_MIN, INT_MAX);
      case 1: return Pick(-2, 1) < 0 ? -1 : kParams;
      default: return Pick(0, kParams - 1);
    }
  }

  intptr_t AnyValue() {
    switch (Pick(0, 6)) {
      case 0: return std::numeric_limits<intptr_t>::min();
      case 1: return std::numeric_limits<intptr_t>::max();
      case 2: return Pick(INT_MIN, INT_MAX);
      case 3: return -Pick(1, 100);
      default: return Pick(0, 100);
    }
  }

  float AnyFloat() {
    static const float special[] = {0.0f,      1.0f,   -1.0f, 0.5f,        std::nanf(""), INFINITY,
                                    -INFINITY, 1e-30f, 1e30f, FLT_MIN / 4, 2.0f};
    if (Pick(0, 2) == 0) return special[Pick(0, std::size(special) - 1)];
    return std::uniform_real_distribution<float>(-0.2f, 1.2f)(rng_);
  }

  float AnyRate() {
    static const float rates[] = {22050.0f,  44100.0f,      48000.0f, 96000.0f, 192000.0f, 8000.0f, 1.0f,   0.0f,
                                  -44100.0f, std::nanf(""), INFINITY, 1e-20f,   999.0f,    1e12f,   3.4e38f};
    return rates[Pick(0, std::size(rates) - 1)];
  }

  ::testing::AssertionResult Dispatch(QuietHost& host) {
    int32_t opcode;
    do opcode = Pick(0, 75);
    while (opcode == effClose || opcode == effEditOpen);
    int32_t index = Pick(0, 3) == 0 ? Pick(INT_MIN, INT_MAX) : Pick(-1, 70);
    intptr_t value = AnyValue();
    float opt = AnyFloat();
    std::memset(buffer_.data(), 0, kBuffer);
    std::memset(second_.data(), 0, kBuffer);
    void* ptr = Pick(0, 9) == 0 ? nullptr : buffer_.data();
    switch (opcode) {
      case effSetSampleRate: opt = AnyRate(); break;
      case effSetBlockSize: value = Pick(0, 3) == 0 ? AnyValue() : Pick(1, 8192); break;
      case effSetProgram:
        if (Pick(0, 1)) value = Pick(-1, 64);
        break;
      case effSetProgramName:
      case effString2Parameter: {
        static const char* texts[] = {"On", "Off", "1e308", "-1e308", "nan", "inf", "  -3.5e2", "0x10", "", "."};
        std::string text = Pick(0, 3) == 0 ? std::string(size_t(Pick(100, 3000)), 'A') : texts[Pick(0, 9)];
        if (ptr) std::memcpy(ptr, text.c_str(), text.size() + 1);
        break;
      }
      case effSetChunk:
        if (ptr && !lastChunk_.empty() && Pick(0, 1)) {
          // A real chunk, cut short and with a few bytes spoiled.
          std::vector<uint8_t> bytes = lastChunk_;
          bytes.resize(size_t(Pick(0, int(bytes.size()))));
          for (int n = Pick(0, 4); n > 0 && !bytes.empty(); --n)
            bytes[size_t(Pick(0, int(bytes.size()) - 1))] ^= uint8_t(Pick(1, 255));
          if (bytes.size() > kWritable) bytes.resize(kWritable);
          std::memcpy(ptr, bytes.data(), bytes.size());
          value = intptr_t(bytes.size());
        } else {
          value = Pick(0, int(kWritable));
        }
        break;
      case effGetMidiKeyName:
        reinterpret_cast<MidiKeyName*>(buffer_.data())->thisKeyNumber = Pick(INT_MIN, INT_MAX);
        break;
      case effSetSpeakerArrangement:
      case effGetSpeakerArrangement:
        reinterpret_cast<VstSpeakerArrangement*>(buffer_.data())->numChannels = Pick(0, 3);
        reinterpret_cast<VstSpeakerArrangement*>(second_.data())->numChannels = Pick(-1, 3);
        value = Pick(0, 1) ? reinterpret_cast<intptr_t>(second_.data()) : 0;
        break;
      default: break;
    }
    const intptr_t answer = host.Dispatch(opcode, index, value, ptr, opt);
    if (opcode == effGetChunk && answer > 0 && ptr) {
      const auto* data = *static_cast<uint8_t**>(ptr);
      lastChunk_.assign(data, data + answer);
    }
    for (std::size_t i = kWritable; i < kBuffer; ++i) {
      if (buffer_[i] != 0 || second_[i] != 0) {
        return ::testing::AssertionFailure() << "opcode " << opcode << " wrote past a host buffer";
      }
    }
    return ::testing::AssertionSuccess();
  }

  ::testing::AssertionResult Process(QuietHost& host) {
    const int frames = Pick(0, 4) == 0 ? Pick(1, kMaxFrames) : Pick(1, 1024);
    switch (Pick(0, 2)) {
      case 0:
        std::fill_n(fl_.begin(), frames, 0.0f);
        std::fill_n(fr_.begin(), frames, 0.0f);
        host.ProcessFloat(fl_.data(), fr_.data(), frames, true);
        return AllSound(fl_, fr_, frames);
      case 1: host.ProcessFloat(fl_.data(), fr_.data(), frames); return AllSound(fl_, fr_, frames);
      default: host.ProcessDouble(dl_.data(), dr_.data(), frames); return AllSound(dl_, dr_, frames);
    }
  }

  std::mt19937 rng_;
  std::vector<unsigned char> buffer_, second_;
  std::vector<uint8_t> lastChunk_;
  std::vector<float> fl_ = std::vector<float>(kMaxFrames), fr_ = std::vector<float>(kMaxFrames);
  std::vector<double> dl_ = std::vector<double>(kMaxFrames), dr_ = std::vector<double>(kMaxFrames);
};

class HostAbuse : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(host.Open()) << LoadedModule::Get().Error(); }

  // A note on a known program, rendered through float replacing.
  void ExpectItStillPlays(QuietHost& h) {
    h.Dispatch(effSetSampleRate, 0, 0, nullptr, 44100.0f);
    h.Dispatch(effSetBlockSize, 0, 512);
    VstSpeakerArrangement stereo{};
    stereo.numChannels = 2;
    h.Dispatch(effSetSpeakerArrangement, 0, 0, &stereo);
    h.Dispatch(effMainsChanged, 0, 1);
    h.Dispatch(effSetProgram, 0, 0);
    // Keys still held from before would join the fading phrase instead of starting one.
    h.Midi(0xB0, 64, 0);
    h.Midi(0xB0, 123, 0);
    h.Midi(0xE0, 0, 64);
    std::vector<float> l(44100), r(44100);
    h.ProcessFloat(l.data(), r.data(), 44100);
    h.Midi(0x90, 60, 100);
    h.ProcessFloat(l.data(), r.data(), 44100);
    h.Midi(0x80, 60, 0);
    EXPECT_TRUE(AllSound(l, r, 44100));
    EXPECT_GT(Rms(l, 44100) + Rms(r, 44100), 1e-3);
  }

  QuietHost host;
};

TEST_F(HostAbuse, RandomCallSequencesLeaveASoundInstance) {
  const std::vector<uint8_t> factory = Chunk(host, true);
  ASSERT_FALSE(factory.empty());
  for (uint32_t seed : {1u, 2u, 3u, 4u}) {
    Abuser abuser(seed);
    for (int step = 0; step < 4000; ++step) {
      ASSERT_TRUE(abuser.Step(host)) << "seed " << seed << ", step " << step;
    }
    for (int i = 0; i < kParams; ++i) {
      const float v = host.GetParameter(i);
      ASSERT_TRUE(v >= 0.0f && v <= 1.0f) << "parameter " << i << " at " << v << ", seed " << seed;
    }
    const intptr_t program = host.Dispatch(effGetProgram);
    ASSERT_TRUE(program >= 0 && program < 64) << program;
    // The factory bank comes back whole after any abuse, and plays.
    ASSERT_EQ(SetChunk(host, factory, true), 1);
    ExpectItStillPlays(host);
  }
}

TEST_F(HostAbuse, EditorRefusesANullParent) {
  EXPECT_EQ(host.Dispatch(effEditOpen, 0, 0, nullptr), 0);
  EXPECT_EQ(host.Dispatch(effEditClose), 1);
  host.Dispatch(effEditIdle);
  ExpectItStillPlays(host);
}

TEST_F(HostAbuse, StatesRoundTripByteIdentically) {
  Abuser abuser(7);
  for (int round = 0; round < 3; ++round) {
    host.Dispatch(effSetProgram, 0, abuser.Pick(0, 63));
    std::vector<float> values(kParams);
    for (int i = 0; i < kParams; ++i) host.SetParameter(i, float(abuser.Pick(0, 1000)) / 1000.0f);
    for (int i = 0; i < kParams; ++i) values[i] = host.GetParameter(i);
    std::string name = "edited " + std::to_string(round);
    host.Dispatch(effSetProgramName, 0, 0, name.data());
    for (bool bank : {false, true}) {
      // Slots read from a bank are stored again with the index and name current at that
      // moment, so the first reload may rewrite those fields; after that nothing moves.
      const std::vector<uint8_t> first = Chunk(host, bank);
      ASSERT_EQ(SetChunk(host, first, bank), 1);
      const std::vector<uint8_t> saved = Chunk(host, bank);
      if (!bank) {
        EXPECT_TRUE(SameBytes(saved, first)) << "round " << round;
      }
      ASSERT_EQ(SetChunk(host, saved, bank), 1);
      EXPECT_TRUE(SameBytes(Chunk(host, bank), saved)) << (bank ? "bank" : "program") << ", round " << round;
      for (int i = 0; i < kParams; ++i) ASSERT_EQ(host.GetParameter(i), values[i]) << i;
    }
    // A second instance on the same program ends up with the same bytes and values.
    QuietHost other;
    ASSERT_TRUE(other.Open());
    other.Dispatch(effSetProgram, 0, host.Dispatch(effGetProgram));
    const std::vector<uint8_t> bank = Chunk(host, true);
    ASSERT_EQ(SetChunk(other, bank, true), 1);
    ASSERT_EQ(SetChunk(other, Chunk(other, true), true), 1);
    EXPECT_TRUE(SameBytes(Chunk(other, true), bank));
    const std::vector<uint8_t> program = Chunk(host, false);
    ASSERT_EQ(SetChunk(other, program, false), 1);
    EXPECT_TRUE(SameBytes(Chunk(other, false), program));
    for (int i = 0; i < kParams; ++i) EXPECT_EQ(other.GetParameter(i), values[i]) << i;
  }
}

TEST_F(HostAbuse, RatesAndBlockSizesChangeWhilePlaying) {
  std::vector<float> l(kMaxFrames), r(kMaxFrames);
  std::vector<double> dl(kMaxFrames), dr(kMaxFrames);
  host.Dispatch(effSetProgram, 0, 0);
  int note = 0;
  for (float rate : {44100.0f, 48000.0f, 96000.0f, 44100.0f}) {
    // No suspend: the host switches rate and block size while processing is on.
    host.Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    for (int setSize : {1, 64, 1024, 8192}) {
      host.Dispatch(effSetBlockSize, 0, setSize);
      host.Midi(0x90, uint8_t(48 + note++ % 24), 100);
      for (int frames : {1, 7, setSize, setSize + 1, 3 * setSize + 5, 8192}) {
        frames = std::min(frames, kMaxFrames);
        host.ProcessFloat(l.data(), r.data(), frames);
        ASSERT_TRUE(AllSound(l, r, frames)) << rate << " Hz, size " << setSize << ", " << frames << " frames";
        host.ProcessDouble(dl.data(), dr.data(), frames);
        ASSERT_TRUE(AllSound(dl, dr, frames)) << rate << " Hz, size " << setSize << ", " << frames << " frames";
      }
    }
    host.Midi(0xB0, 123, 0);
  }
  ExpectItStillPlays(host);
}

TEST_F(HostAbuse, AbsurdRatesAreIgnored) {
  // The same phrase on a second instance that never saw the absurd rates.
  QuietHost reference;
  ASSERT_TRUE(reference.Open());
  std::vector<float> l(22050), r(22050), refL(22050), refR(22050);
  for (float rate : {0.0f, -48000.0f, NAN, INFINITY, 1e12f, 3.4e38f}) {
    host.Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
  }
  for (QuietHost* h : {&host, &reference}) h->Midi(0x90, 69, 100);
  host.ProcessFloat(l.data(), r.data(), 22050);
  reference.ProcessFloat(refL.data(), refR.data(), 22050);
  EXPECT_EQ(l, refL);
  EXPECT_EQ(r, refR);
}

TEST_F(HostAbuse, ProgramsAndChunksChangeWhileAnotherThreadPlays) {
  const std::vector<uint8_t> bank = Chunk(host, true);
  std::atomic<bool> done{false};
  std::atomic<long> blocks{0};
  std::atomic<bool> sound{true};
  std::thread audio([&] {
    std::vector<float> l(256), r(256);
    for (int i = 0; !done; ++i) {
      if (i % 16 == 0) host.Midi(0x90, uint8_t(40 + i / 16 % 40), 100, i % 256);
      if (i % 16 == 8) host.Midi(0x80, uint8_t(40 + i / 16 % 40), 0);
      host.ProcessFloat(l.data(), r.data(), 256);
      if (!AllSound(l, r, 256)) sound = false;
      ++blocks;
    }
  });
  Abuser abuser(11);
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(700);
  while (std::chrono::steady_clock::now() < end) {
    host.Dispatch(effSetProgram, 0, abuser.Pick(0, 63));
    const bool asBank = abuser.Pick(0, 3) == 0;
    const std::vector<uint8_t> state = asBank ? bank : Chunk(host, false);
    EXPECT_EQ(SetChunk(host, state, asBank), 1);
    host.Midi(0xC0, uint8_t(abuser.Pick(0, 63)), 0);
  }
  done = true;
  audio.join();
  EXPECT_TRUE(sound);
  EXPECT_GT(blocks, 10);
}

TEST_F(HostAbuse, AudioCallbacksAllocateNothingAfterTheFirstBlock) {
  if (!CountingAllocations()) GTEST_SKIP() << "the sanitizer runtime owns operator new";
  // The module's own allocations must reach the counter, or the check proves nothing.
  QuietHost probe;
  WatchAllocations(true);
  ASSERT_TRUE(probe.Open());
  WatchAllocations(false);
  ASSERT_GT(WatchedAllocations(), 0) << "operator new is not interposed";
  probe.Close();

  std::vector<float> l(4096), r(4096);
  std::vector<double> dl(4096), dr(4096);
  host.Dispatch(effSetProgram, 0, 0);
  host.ProcessFloat(l.data(), r.data(), 512);
  ForgetAllocations();
  Abuser abuser(5);
  for (int block = 0; block < 2000; ++block) {
    const int frames = abuser.Pick(1, 1500);
    switch (abuser.Pick(0, 5)) {
      case 0: host.Midi(0x90, uint8_t(abuser.Pick(0, 127)), uint8_t(abuser.Pick(1, 127)), abuser.Pick(0, 500)); break;
      case 1: host.Midi(0x80, uint8_t(abuser.Pick(0, 127)), 0); break;
      case 2:
        host.Midi(uint8_t(0xB0 | abuser.Pick(0, 15)), uint8_t(abuser.Pick(0, 127)), uint8_t(abuser.Pick(0, 127)));
        break;
      case 3: host.Midi(0xE0, uint8_t(abuser.Pick(0, 127)), uint8_t(abuser.Pick(0, 127))); break;
      case 4: host.Midi(0xC0, uint8_t(abuser.Pick(0, 63)), 0); break;
      default: host.SetParameter(abuser.Pick(0, kParams - 1), float(abuser.Pick(0, 100)) / 100.0f); break;
    }
    WatchAllocations(true);
    switch (block % 3) {
      case 0: host.ProcessFloat(l.data(), r.data(), frames); break;
      case 1: host.ProcessFloat(l.data(), r.data(), frames, true); break;
      default: host.ProcessDouble(dl.data(), dr.data(), frames); break;
    }
    WatchAllocations(false);
    ASSERT_EQ(WatchedAllocations(), 0) << "block " << block;
  }

  // A flood in one block (hosts deliver events on the audio thread too), then a new rate
  // while keys still sound.
  constexpr int kFlood = 10000;
  std::vector<VstMidiEvent> events(kFlood);
  struct {
    VstInt32 numEvents;
    VstIntPtr reserved;
    VstEvent* events[kFlood];
  } list{};
  list.numEvents = kFlood;
  for (int i = 0; i < kFlood; ++i) {
    VstMidiEvent& e = events[size_t(i)];
    e.type = kVstMidiType;
    e.byteSize = sizeof(VstMidiEvent);
    e.deltaFrames = i * 4096 / kFlood;
    const uint8_t kinds[] = {0x90, 0x80, 0xB0, 0xE0, 0x90};
    e.midiData[0] = char(kinds[i % 5]);
    e.midiData[1] = char(i % 5 == 2 ? 7 + i % 3 : 24 + i % 96);
    e.midiData[2] = char(1 + i % 126);
    list.events[i] = reinterpret_cast<VstEvent*>(&e);
  }
  for (float rate : {44100.0f, 48000.0f}) {
    host.Dispatch(effSetSampleRate, 0, 0, nullptr, rate);
    host.ProcessFloat(l.data(), r.data(), 64);
    ForgetAllocations();
    WatchAllocations(true);
    host.Dispatch(effProcessEvents, 0, 0, &list);
    for (int block = 0; block < 12; ++block) host.ProcessFloat(l.data(), r.data(), 1024);
    WatchAllocations(false);
    EXPECT_EQ(WatchedAllocations(), 0) << rate << " Hz";
    EXPECT_TRUE(AllSound(l, r, 1024));
  }
}

}  // namespace
}  // namespace tessaron::test
