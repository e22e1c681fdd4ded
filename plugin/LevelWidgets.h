#pragma once

#include <juce_gui_basics/juce_gui_basics.h>

/**
    A vertical bar meter: green up to the level, yellow above -14 dBFS and red
    above -0.3 dBFS (on the cube-root scale the editor feeds it), holding the last
    red overshoot for 32 repaints. Message thread only.
*/
class SimpleMeter : public juce::Component
{
public:
    static constexpr double yellowThreshold = 0.5843414133735176;
    static constexpr double redThreshold = 0.9885530946569384;
    static constexpr int holdLength = 32;

    ~SimpleMeter() override = default;
    void paint (juce::Graphics& g) override;

    /** Displayed value on a 0..1 scale; painting clamps it and stores the clamped value back. */
    float level = 0.0f;
    /** Level of the last red overshoot; read only while holdCounter > 0. */
    float peakHold = 0.0f;
    /** 0: no hold shown; otherwise counts the repaints since the last overshoot. */
    int holdCounter = 0;
};

/** A round signal lamp: green at 0 or below, yellow between 0 and 1, half-transparent red at 1 or above. */
class SimpleLED : public juce::Component
{
public:
    ~SimpleLED() override = default;
    void paint (juce::Graphics& g) override;

    float level = 0.0f;
};
