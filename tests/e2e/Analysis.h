#pragma once

#include <juce_audio_basics/juce_audio_basics.h>

#include <vector>

namespace tarrowby::e2e
{
/** Peak amplitude of the frequency's component in the signal (one DFT bin, rectangular window). */
double toneAmplitude (const std::vector<float>& signal, double frequency, double sampleRate);

/** Largest absolute sample. */
double peakLevel (const std::vector<float>& signal);

/** Gain of a biquad at the frequency. */
double magnitudeAt (const juce::IIRCoefficients& filter, double frequency, double sampleRate);
} // namespace tarrowby::e2e
