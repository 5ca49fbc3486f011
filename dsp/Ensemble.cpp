#include "dsp/Ensemble.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tessaron {

namespace {
constexpr double kLineSeconds = 0.02;
constexpr double kFilterOmegaTimesFs = 28274.33388230814;  // 2pi x 4500 Hz
constexpr double kDepthScale = 0.25;
constexpr double kMinStep = 0.125;
// Deliberately not 2/3 and 4/3: the lines sit at these exact offsets.
constexpr double kLineOffset[Ensemble::kLines] = {0.0, 0.667, 1.333};

void Advance(Ensemble::Oscillator& o)
{
    o.phase += o.increment;
    if (o.phase >= 1.0) {
        o.phase -= 2.0;
    }
}
}  // namespace

Ensemble::Ensemble()
{
    RateSetup(44100.0);
}

void Ensemble::RateSetup(double fs)
{
    // A rate that is not a positive number keeps the last set-up.
    if (fs > 0.0 && std::isfinite(fs) && fs != rate) {
        rate = fs;
        length = static_cast<int>(fs * kLineSeconds);
        if (length < 0) {
            length = 0;
        }
        inFilter.Setup(fs, BiquadLowPass::kButterworthQ, kFilterOmegaTimesFs / fs);
        for (int n = 0; n < kLines; ++n) {
            buffer[n].assign(static_cast<size_t>(length), 0.0);
            outFilter[n].Setup(fs, BiquadLowPass::kButterworthQ, kFilterOmegaTimesFs / fs);
            clockPhase[n] = 0.0;
            step[n] = 1.0;
            invStep[n] = 1.0;
            writeIndex[n] = 0;
        }
    }
    Clear();
    Tick();
}

void Ensemble::Clear()
{
    inFilter.Clear();
    inHist.Clear();
    for (int n = 0; n < kLines; ++n) {
        std::fill(buffer[n].begin(), buffer[n].end(), 0.0);
        outFilter[n].Clear();
        outHist[n].Clear();
    }
}

void Ensemble::SetSpeed(int osc, double v)
{
    Oscillator& o = osc == 0 ? osc1 : osc2;
    o.speed = v;
    o.increment = 2.0 * v / o.clock;
}

void Ensemble::SetDepth(int osc, double v)
{
    SettlePendingSteps();  // a pending step belongs to the depth it was ticked with
    (osc == 0 ? depth1 : depth2) = v * kDepthScale;
}

void Ensemble::Tick()
{
    TickDeferred();
    UpdateSteps();
}

void Ensemble::TickDeferred()
{
    Advance(osc1);
    Advance(osc2);
    stepsPending = true;
}

void Ensemble::UpdateSteps()
{
    stepsPending = false;
    for (int n = 0; n < kLines; ++n) {
        const double h = centre[n]
                       - (std::sin(std::numbers::pi * (kLineOffset[n] + osc1.phase)) + 0.5) * depth1
                       - (std::sin(std::numbers::pi * (kLineOffset[n] + osc2.phase)) + 0.5) * depth2;
        // Written so that a NaN lands on the shortest step: the clock loop must always end.
        const double c = h > 0.0 ? (h < 1.0 ? h : 1.0) : 0.0;
        step[n] = c * (1.0 - kMinStep) + kMinStep;
        invStep[n] = 1.0 / step[n];
    }
}

double Ensemble::Process(double x)
{
    if (length <= 0) {
        return 0.0;
    }
    SettlePendingSteps();
    inHist.Push(inFilter.Process(x));
    const CatmullRomCurve input = inHist.Curve();
    double y = 0.0;
    for (int n = 0; n < kLines; ++n) {
        double* cells = buffer[n].data();
        int wi = writeIndex[n];
        double cp = clockPhase[n];
        while (cp < 1.0) {
            if (--wi < 0) {
                wi = length - 1;
            }
            const double w = input.At(cp);
            outHist[n].Push(outFilter[n].Process(cells[wi]));
            cells[wi] = w;
            cp += step[n];
        }
        cp -= 1.0;
        writeIndex[n] = wi;
        clockPhase[n] = cp;
        y += outHist[n].At(1.0 - cp * invStep[n]);
    }
    return y;
}

}  // namespace tessaron
