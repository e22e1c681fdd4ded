#include "Analysis.h"

#include <cmath>

namespace tarrowby::e2e
{
double toneAmplitude (const std::vector<float>& signal, double frequency, double sampleRate)
{
    if (signal.empty())
        return 0.0;

    const auto w = 2.0 * M_PI * frequency / sampleRate;
    double re = 0.0, im = 0.0;

    for (size_t n = 0; n < signal.size(); ++n)
    {
        re += signal[n] * std::cos (w * (double) n);
        im -= signal[n] * std::sin (w * (double) n);
    }

    return 2.0 * std::hypot (re, im) / (double) signal.size();
}

double peakLevel (const std::vector<float>& signal)
{
    double peak = 0.0;

    for (auto s : signal)
        peak = std::max (peak, (double) std::abs (s));

    return peak;
}

double Biquad::magnitudeAt (double frequency, double sampleRate) const
{
    const auto w = 2.0 * M_PI * frequency / sampleRate;
    const std::complex<double> z1 = std::polar (1.0, -w);
    const auto z2 = z1 * z1;
    const auto numerator = (double) b0 + (double) b1 * z1 + (double) b2 * z2;
    const auto denominator = 1.0 + (double) a1 * z1 + (double) a2 * z2;
    return std::abs (numerator / denominator);
}

Crossover makeCrossover (double crossoverHz, double sampleRate)
{
    // Second-order bilinear-transform sections with 1/Q = 1/sqrt(2) in single precision.
    const double inverseQ = 0.7071067932881648;
    const double k = std::tan (3.141592653589793 * crossoverHz / sampleRate);

    Crossover result;

    {
        const double c = 1.0 / (1.0 + k * inverseQ + k * k);
        result.highPass = { (float) c, (float) (-2.0 * c), (float) c,
                            (float) (2.0 * c * (k * k - 1.0)), (float) (c * (1.0 - k * inverseQ + k * k)) };
    }

    {
        const double m = 1.0 / k;
        const double c = 1.0 / (1.0 + m * inverseQ + m * m);
        result.lowPass = { (float) c, (float) (2.0 * c), (float) c,
                           (float) (2.0 * c * (1.0 - m * m)), (float) (c * (1.0 - m * inverseQ + m * m)) };
    }

    return result;
}
} // namespace tarrowby::e2e
