#include "dsp/Phaser.h"

#include <cmath>

namespace tessaron {

namespace {
constexpr double kOmegaMaxTimesFs = 75398.22368615503;  // 2pi x 12000 Hz
constexpr double kLoopGainScale = 0.999;                 // keeps the loop below unity at |feedback| = 1
}  // namespace

Phaser::Phaser()
{
    omegaMax = kOmegaMaxTimesFs / 44100.0;
}

void Phaser::RateReset(double fs)
{
    // A rate that is not a positive number keeps the last sweep range.
    if (fs > 0.0 && std::isfinite(fs)) {
        omegaMax = kOmegaMaxTimesFs / fs;
    }
    for (auto& channel : state) {
        for (double& s : channel) {
            s = 0.0;
        }
    }
    for (double& c : d) {
        c = 0.0;
    }
    d4 = 0.0;
    solve = 0.0;
    sweepMin = 0.02;
    feedback = 0.0;
    speed = 0.19;
    increment = 0.38 / clock;
    mix = 0.5;
    sweepRange = 0.22;
}

void Phaser::SetSpeed(double v)
{
    speed = v;
    increment = 2.0 * v / clock;
}

void Phaser::Tick()
{
    phase += increment;
    if (phase >= 1.0) {
        phase -= 2.0;
    }
    const double u = phase < 0.0 ? -2.0 * phase : 2.0 * phase;
    const double c = sweepMin + sweepRange * u * u;
    double w;
    if (c < 0.0) {
        w = 0.0;
    } else if (c >= 1.0) {
        w = omegaMax;
    } else {
        w = c * omegaMax;
    }
    const double dd = (w - 2.0) / (w + 2.0);
    for (double& coefficient : d) {
        coefficient = dd;
    }
    d4 = dd * dd * dd * dd;
    loopGain = feedback * kLoopGainScale;
    solve = 1.0 / (loopGain * d4 + 1.0);
}

double Phaser::ProcessChannel(int ch, double x)
{
    double* s = state[ch];
    for (int k = 0; k < kStages; ++k) {
        if (s[k] != s[k]) {
            s[k] = 0.0;
        } else {
            s[k] += dither[ch];
        }
    }
    const double sum = ((s[0] * d[1] + s[1]) * d[2] + s[2]) * d[3] + s[3];
    if (x != x) {
        x = 0.0;
    } else {
        x += dither[ch];
    }
    dither[ch] = -dither[ch];

    const double z = (x * d4 + sum) * solve;
    const double u = x - z * loopGain;
    const double y1 = d[0] * u + s[0];
    s[0] = u - d[0] * y1;
    const double y2 = d[1] * y1 + s[1];
    s[1] = y1 - d[1] * y2;
    const double y3 = d[2] * y2 + s[2];
    s[2] = y2 - d[2] * y3;
    const double y4 = d[3] * y3 + s[3];
    s[3] = y3 - d[3] * y4;
    return x + mix * (z - x);
}

void Phaser::Process(double& left, double& right)
{
    left = ProcessChannel(0, left);
    right = ProcessChannel(1, right);
}

}  // namespace tessaron
