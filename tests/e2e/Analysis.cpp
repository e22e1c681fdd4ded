#include "Analysis.h"

#include <cmath>
#include <complex>

namespace tarrowby::e2e
{
double toneAmplitude (const std::vector<float>& signal, double frequency, double sampleRate)
{
    const auto w = 2.0 * M_PI * frequency / sampleRate;
    double re = 0.0, im = 0.0;

    for (size_t n = 0; n < signal.size(); ++n)
    {
        re += signal[n] * std::cos (w * (double) n);
        im -= signal[n] * std::sin (w * (double) n);
    }

    return signal.empty() ? 0.0 : 2.0 * std::hypot (re, im) / (double) signal.size();
}

double peakLevel (const std::vector<float>& signal)
{
    double peak = 0.0;

    for (auto s : signal)
        peak = std::max (peak, (double) std::abs (s));

    return peak;
}

double magnitudeAt (const juce::IIRCoefficients& filter, double frequency, double sampleRate)
{
    const auto* c = filter.coefficients;
    const auto z1 = std::polar (1.0, -2.0 * M_PI * frequency / sampleRate), z2 = z1 * z1;
    return std::abs (((double) c[0] + (double) c[1] * z1 + (double) c[2] * z2) / (1.0 + (double) c[3] * z1 + (double) c[4] * z2));
}
} // namespace tarrowby::e2e
