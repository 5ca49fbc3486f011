// What a listener hears, rendered through the module exactly as a host drives it.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "engine/ParameterIds.h"
#include "tests/abi/AbiTestSupport.h"

namespace tessaron::test {
namespace {

constexpr double kRate = 44100.0;
constexpr int kInitProgram = 63;  // the parameter defaults

using Stereo = std::vector<std::vector<double>>;

class Sound : public OpenedInstance {
 protected:
  void SetUp() override {
    OpenedInstance::SetUp();
    host.Dispatch(vst::effSetProgram, 0, kInitProgram);
    // Defaults are Synth only; tests switch sections on and off by level.
    host.SetParameter(kMasterLevel, 1.0f);
  }

  void Sections(float synth, float organ, float strings) {
    host.SetParameter(kSynthLevel, synth);
    host.SetParameter(kOrganLevel, organ);
    host.SetParameter(kStringLevel, strings);
  }

  void Note(uint8_t status, uint8_t note, uint8_t velocity, int32_t offset = 0) {
    host.SendMidi({{status, note, velocity}}, offset);
  }

  // Renders frames in host blocks of `block` samples.
  Stereo Render(int frames, int block = 512) {
    Stereo out(2, std::vector<double>(frames));
    for (int done = 0; done < frames;) {
      const int n = std::min(block, frames - done);
      Stereo part(2, std::vector<double>(n));
      host.ProcessDouble(part, n);
      for (int c = 0; c < 2; ++c) std::copy(part[c].begin(), part[c].end(), out[c].begin() + done);
      done += n;
    }
    return out;
  }
};

double Rms(const std::vector<double>& x, size_t from = 0) {
  double sum = 0.0;
  for (size_t i = from; i < x.size(); ++i) sum += x[i] * x[i];
  return x.size() > from ? std::sqrt(sum / double(x.size() - from)) : 0.0;
}

// Fundamental by normalised autocorrelation: the first lag whose correlation comes
// close to the best one, refined by a parabola through its neighbours.
double Fundamental(const std::vector<double>& x, size_t from) {
  const size_t n = x.size() - from;
  const int minLag = int(kRate / 2000.0), maxLag = int(kRate / 50.0);
  std::vector<double> r(maxLag + 2, 0.0);
  for (int lag = minLag - 1; lag <= maxLag + 1; ++lag) {
    double s = 0.0, e0 = 0.0, e1 = 0.0;
    for (size_t i = from; i + lag < from + n; ++i) {
      s += x[i] * x[i + lag];
      e0 += x[i] * x[i];
      e1 += x[i + lag] * x[i + lag];
    }
    r[lag] = s / std::sqrt(e0 * e1 + 1e-300);
  }
  double best = 0.0;
  for (int lag = minLag; lag <= maxLag; ++lag) best = std::max(best, r[lag]);
  for (int lag = minLag; lag <= maxLag; ++lag) {
    if (r[lag] >= 0.9 * best && r[lag] >= r[lag - 1] && r[lag] >= r[lag + 1]) {
      const double a = r[lag - 1], b = r[lag], c = r[lag + 1];
      const double d = a - 2 * b + c;
      const double shift = d != 0.0 ? 0.5 * (a - c) / d : 0.0;
      return kRate / (lag + shift);
    }
  }
  return 0.0;
}

bool AllFinite(const Stereo& s) {
  for (const auto& ch : s)
    for (double v : ch)
      if (!std::isfinite(v)) return false;
  return true;
}

TEST_F(Sound, MiddleCSoundsAtItsPitchInEachSectionAlone) {
  struct Case {
    const char* name;
    float synth, organ, strings;
  };
  for (const Case& c : {Case{"Synth", 1, 0, 0}, Case{"Organ", 0, 1, 0}, Case{"String", 0, 0, 1}}) {
    SCOPED_TRACE(c.name);
    Sections(c.synth, c.organ, c.strings);
    host.SetParameter(kOrgan16, 1.0f);  // organ 16': the key's own pitch
    host.SetParameter(kOrgan8, 0.0f);
    Note(0x90, 60, 100);
    const Stereo out = Render(22050);
    Note(0x80, 60, 0);
    Render(44100);  // let the release finish before the next section
    ASSERT_TRUE(AllFinite(out));
    EXPECT_GT(Rms(out[0], 4410), 1e-3);
    EXPECT_NEAR(Fundamental(out[0], 4410), 261.63, 1.0);
  }
}

TEST_F(Sound, KeysBelowTwelveAreSilentInEverySection) {
  Sections(1, 1, 1);
  host.SetParameter(kOrgan16, 1.0f);
  for (uint8_t k = 0; k < 12; ++k) Note(0x90, k, 100);
  const Stereo out = Render(8820);
  EXPECT_LT(Rms(out[0]), 1e-9);
  EXPECT_LT(Rms(out[1]), 1e-9);
}

TEST_F(Sound, NoteStartsAtItsSampleInsideTheBlock) {
  Render(4410, 256);  // whole control blocks: the next host block starts a control update
  Render(256 - (4410 % 256), 256);
  Note(0x90, 60, 100, 100);
  const Stereo out = Render(256, 256);
  for (int i = 0; i < 122; ++i) ASSERT_EQ(out[0][i], 0.0) << "sample " << i;
  // The first ramp step is tiny; within a few samples the key is clearly heard.
  double after = 0.0;
  for (int i = 122; i < 256; ++i) after = std::max(after, std::abs(out[0][i]));
  EXPECT_GT(after, 0.0);
}

TEST_F(Sound, SameInputGivesSameOutputForAnyHostBlockSize) {
  Sections(1, 1, 1);
  host.SetParameter(kOrgan16, 0.5f);
  host.SetParameter(kPhaserSynth, 1.0f);  // phaser on the Synth section
  host.SetParameter(kDelayMix, 0.4f);     // some delay
  const auto play = [&](int block) {
    Note(0x90, 60, 100);
    Note(0x90, 64, 100);
    Note(0x90, 67, 100);
    Stereo out = Render(20000, block);
    host.SendMidi({{0xB0, 123, 0}});
    Render(88200, 512);  // everything decays; the next phrase starts from silence
    return out;
  };
  const Stereo reference = play(512);
  ASSERT_TRUE(AllFinite(reference));
  ASSERT_GT(Rms(reference[0]), 1e-3);
  for (int block : {512, 1, 7, 64, 1000, 2048}) {
    // Identical input must give identical output, whatever the block slicing: control
    // blocks run in continuous time. The delay line and counters run freely, so each
    // case starts from a fresh instance.
    TestHost other;
    ASSERT_TRUE(other.Load());
    other.Dispatch(vst::effOpen);
    other.Dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
    other.Dispatch(vst::effSetBlockSize, 0, 512);
    other.Dispatch(vst::effMainsChanged, 0, 1);
    other.Dispatch(vst::effSetProgram, 0, kInitProgram);
    for (auto [index, value] :
         {std::pair{65, 1.0f}, {2, 1.0f}, {3, 1.0f}, {4, 1.0f}, {11, 0.5f}, {46, 1.0f}, {50, 0.4f}})
      other.SetParameter(index, value);
    other.SendMidi({{0x90, 60, 100}, {0x90, 64, 100}, {0x90, 67, 100}});
    Stereo out(2, std::vector<double>(20000));
    for (int done = 0; done < 20000;) {
      const int n = std::min(block, 20000 - done);
      Stereo part(2, std::vector<double>(n));
      other.ProcessDouble(part, n);
      for (int c = 0; c < 2; ++c) std::copy(part[c].begin(), part[c].end(), out[c].begin() + done);
      done += n;
    }
    SCOPED_TRACE(block);
    EXPECT_EQ(out, reference);
  }
}

TEST_F(Sound, PedalHoldsReleasedKeysUntilItIsLifted) {
  Note(0x90, 60, 100);
  Render(4410);
  host.SendMidi({{0xB0, 64, 127}});
  Note(0x80, 60, 0);
  const Stereo held = Render(44100);
  EXPECT_GT(Rms(held[0], 40000), 1e-2);  // a second later the key still sounds
  host.SendMidi({{0xB0, 64, 0}});
  const Stereo released = Render(88200);
  EXPECT_LT(Rms(released[0], 84000), 1e-5);
}

TEST_F(Sound, AllNotesOffSilencesAtOnceWhileLaterNotesStillPlay) {
  Note(0x90, 60, 100);
  Render(4410);
  // Both in one block: the controller acts on arrival, the note at its own offset.
  host.SendMidi({{0xB0, 123, 0}});
  Note(0x90, 72, 100, 300);
  const Stereo out = Render(1024);
  EXPECT_LT(Rms(std::vector<double>(out[0].begin() + 20, out[0].begin() + 300)), 1e-3);
  EXPECT_GT(Rms(std::vector<double>(out[0].begin() + 400, out[0].end())), 1e-2);
}

TEST_F(Sound, ResetAtTheSameRateKeepsTheDelayTail) {
  host.SetParameter(kDelayMix, 0.5f);       // delay mix
  host.SetParameter(kDelayFeedback, 0.6f);  // feedback
  Note(0x90, 60, 100);
  Render(4410);
  host.SendMidi({{0xB0, 123, 0}});
  Render(4410);
  host.Dispatch(vst::effMainsChanged, 0, 0);
  host.Dispatch(vst::effSetSampleRate, 0, 0, nullptr, 44100.0f);
  host.Dispatch(vst::effMainsChanged, 0, 1);
  const Stereo tail = Render(44100);
  EXPECT_GT(Rms(tail[0]), 1e-4);
}

TEST_F(Sound, SilenceAfterTailsAndNothingButFiniteNumbers) {
  Sections(1, 1, 1);
  Note(0x90, 48, 100);
  Note(0x90, 127, 100);
  Render(8820);
  Note(0x80, 48, 0);
  Note(0x80, 127, 0);
  const Stereo out = Render(441000);
  ASSERT_TRUE(AllFinite(out));
  std::vector<double> last(out[0].end() - 4410, out[0].end());
  EXPECT_LT(Rms(last), 1e-6);
}

}  // namespace
}  // namespace tessaron::test
