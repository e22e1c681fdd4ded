#pragma once

#include <complex>
#include <vector>

namespace tarrowby::e2e
{
/** Peak amplitude of the frequency's component in the signal (one DFT bin, rectangular window). */
double toneAmplitude (const std::vector<float>& signal, double frequency, double sampleRate);

/** Largest absolute sample. */
double peakLevel (const std::vector<float>& signal);

/** A normalised biquad (a0 = 1) with single-precision coefficients. */
struct Biquad
{
    float b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;

    /** Gain of the filter at the frequency. */
    double magnitudeAt (double frequency, double sampleRate) const;
};

/** The crossover's high-pass and low-pass at the crossover frequency, as the processor computes them. */
struct Crossover
{
    Biquad highPass, lowPass;
};

Crossover makeCrossover (double crossoverHz, double sampleRate);
} // namespace tarrowby::e2e
