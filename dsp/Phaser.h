#pragma once
// Stereo phaser: four first-order all-pass stages per channel with feedback from
// the cascade output to its input, solved in the same sample (no unit delay in
// the loop). A triangle swept at the control rate moves all stages together.
// All members are touched by the audio thread, or under the instrument's lock.

namespace tessaron {

class Phaser {
public:
    static constexpr int kStages = 4;

    Phaser();

    void SetSampleRate(double fs);
    void SetSpeed(double v);
    void SetFeedback(double v) { feedback = v; }

    void Tick();  // once per control tick
    void Process(double& left, double& right);
    // Fed silence, every stage so far below level that the phaser's whole remaining
    // answer stays below it.
    bool QuietBelow(double level) const;
    void ClearState();

    double clock = 1000.0;  // sweep ticks per second
    double speed = 0.0;     // Hz
    double phase = 0.0;     // in [-1, 1)
    double increment = 0.0;
    double sweepMin = 0.02;
    double feedback = 0.0;
    double sweepRange = 0.22;
    double mix = 0.5;  // share of the phased signal
    double omegaMax = 0.0;
    double d4 = 0.0;  // product of the stage coefficients
    double d[kStages] = {0.0, 0.0, 0.0, 0.0};
    double loopGain = 0.0;
    double solve = 0.0;
    double state[2][kStages] = {{0.0, 0.0, 0.0, 0.0}, {0.0, 0.0, 0.0, 0.0}};
    double dither[2] = {1e-13, 1e-13};

private:
    double ProcessChannel(int ch, double x);
};

}  // namespace tessaron
