#pragma once
// Stereo delay built like a charge-transfer line: a fixed number of cells per
// channel whose clock rate sets the delay time, input and output resampled
// between the audio rate and the line clock. Free or tempo-synced time, a sine
// "vibe" on the clock, doubled line length and ping-pong feedback.
// All members are touched by the audio thread, or under the instrument's lock.
#include <cstddef>
#include <vector>

#include "dsp/ChannelPair.h"

namespace tessaron {

class Delay {
 public:
  static constexpr int kSyncDivisions = 21;
  // Quarter notes per sync division, "2/1" down to "1/64"; the last entry is a sentinel.
  static constexpr double kBeats[kSyncDivisions] = {
      8.0,   6.0,       4.0,  3.0,    2.0,       1.5,   4.0 / 3.0, 1.0,        0.75,   2.0 / 3.0, 0.5,
      0.375, 1.0 / 3.0, 0.25, 0.1875, 1.0 / 6.0, 0.125, 0.09375,   1.0 / 12.0, 0.0625, 0.0};
  static constexpr double kLineMilliseconds = 1200.0;
  static constexpr double kDefaultTempo = 120.0;
  // Lowest clock step: below every step free mode can reach (0.0375), so it only
  // catches synced time with deep vibe, where the step could reach zero and the
  // clock would never advance.
  static constexpr double kMinStep = 0.03125;

  Delay();

  void SetSampleRate(double fs);

  void SetFeedback(double v) { feedback = v; }
  void SetMix(double v);  // dry = sqrt(1 - v), wet = sqrt(v)
  void SetDouble(bool on) { doubleLine = on; }
  void SetSync(bool on) { sync = on; }
  void SetVibe(bool on) { vibe = on; }
  void SetPingPong(bool on);
  void SetVibeSpeed(double v);
  void SetVibeDepth(double v) { vibeDepth = v * 0.1; }

  // Once per control tick: a = delay time 0..1, tempo in beats per minute.
  void Tick(double a, double tempo);
  void Process(double& left, double& right);
  // n samples, exactly as n calls of Process make them; a run of them keeps
  // the state in registers.
  void Process(double* left, double* right, int n);
  // Process for at most n samples, stopping after the first that leaves both
  // lines idle (when SkipSilence may take over); answers how many it made.
  int ProcessUntilIdle(double* left, double* right, int n);
  // n samples of silent input at once, when the line is known to stay silent
  // through them: every output would be 0, and only the clocks move, to within
  // rounding of where n calls of Process would take them. Returns false, having
  // changed nothing, when the samples need the full computation.
  bool SkipSilence(int n);

  // Ends a tail that has gone quiet: when every cell written for a whole line length,
  // the filters and the histories stay so far below level that all the line could
  // still give, fed back again and again, adds less than level to the output, the
  // line is cleared and goes idle. Answers whether it is idle now. Cheap enough to
  // call every control tick.
  bool EndTailBelow(double level);

  // Lets tests compare the silent-input shortcut against the full computation.
  void SetIdleSkip(bool on) { idleSkip = on; }
  // True while both channels are known to be exactly silent.
  bool IsIdle() const { return idle[0] && idle[1]; }

  // Read-outs for tests.
  int LineLength() const { return length; }
  std::size_t BufferSize(int ch) const { return buffer[ch].size(); }
  int ReadOffset() const { return readOffset; }
  double Step(int ch) const { return step[ch]; }
  double ClockPhase(int ch) const { return clockPhase[ch]; }
  int WriteIndex(int ch) const { return writeIndex[ch]; }
  double OutputFilterOmega(int) const { return outFilter.omega; }  // both channels share it
  double VibeIncrement() const { return vibeIncrement; }
  double VibeDepth() const { return vibeDepth; }
  double Dry() const { return dry; }
  double Wet() const { return wet; }

 private:
  double clock = 1000.0;  // vibe ticks per second
  double vibeSpeed = 0.0;
  double vibePhase = 0.0;  // in [-1, 1)
  double vibeIncrement = 0.0;
  BiquadLowPassPair inFilter;
  BiquadLowPassPair outFilter;
  History4Pair inHist;
  History4Pair outHist;
  std::vector<double> buffer[2];
  int length = 0;
  int writeIndex[2] = {0, 0};
  int readOffset = 0;
  double clockPhase[2] = {0.0, 0.0};
  double step[2] = {0.0, 0.0};
  double invStep[2] = {1.0, 1.0};
  double feedback = 0.0;
  double dry = 1.0;
  double wet = 0.0;
  double vibeDepth = 0.02;
  bool doubleLine = false;
  bool sync = false;
  bool vibe = false;
  bool pingPong = false;

  struct LineRun;
  struct LineLanes;
  bool SkipsIdleChannel(int ch, double in) const;
  void ProcessChannel(int ch, double& x);
  void ProcessChannels(double& left, double& right);
  int ProcessChannelsRun(double* left, double* right, int n);
  void ProcessPingPong(double& left, double& right);
  bool ChannelSilent(int ch) const;
  struct ClockRun;
  void StoreClock(int ch, const ClockRun& clock);
  void AdvanceClock(int ch, int samples = 1);
  void AdvanceBothClocks(int samples);

  // Per channel, the counts of consecutive line ticks that wrote exactly zero
  // and that wrote less than quietLevel in magnitude, side by side so that both
  // lanes load and store them at once. At length or more zero ticks the whole
  // line is zero. Together with zero filter states and histories the channel's
  // output is exactly zero while its input stays zero, so the work is skipped
  // and only the clock moves on.
  struct RunCounts {
    int zero[2] = {0, 0};
    int quiet[2] = {0, 0};
  };
  static_assert(sizeof(RunCounts) == 4 * sizeof(int), "the lanes load and store the four counts as one");
  RunCounts runs;
  double quietLevel = 0.0;
  bool idle[2] = {true, true};
  bool idleSkip = true;
};

}  // namespace tessaron
