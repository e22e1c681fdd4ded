#pragma once

// The two parameter maps, each rounded after the multiply and again after the
// add: separate statements keep a compiler from fusing them into one rounding.
namespace tarrowby
{
/** The master gain in dB for a normalised "gain" value: -60 dB at 0, 0 dB at 1. */
inline float gainInDecibels (float normalised) noexcept
{
    const float scaled = normalised * 60.0f;
    return scaled - 60.0f;
}

/** The crossover frequency in Hz for a normalised "balance" value: 80 Hz at 0, 125 Hz at 1. */
inline float crossoverInHertz (float normalised) noexcept
{
    const float scaled = normalised * 45.0f;
    return scaled + 80.0f;
}
} // namespace tarrowby
