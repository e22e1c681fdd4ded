#pragma once

#include "PluginProcessor.h"

#include <atomic>
#include <functional>
#include <thread>

namespace tarrowby::test
{
/**
    Runs a body over and over on a thread of its own, counting the heap
    allocations made on that thread, until stopped. Stopping is bounded: a body
    that does not return in time fails the test and ends the program, since a
    thread that is stuck can be neither joined nor left behind.
*/
class LoopingThread
{
public:
    explicit LoopingThread (std::function<void()> body);
    ~LoopingThread();

    /** How many times the body has run. */
    long long getIterations() const noexcept    { return iterations.load(); }

    /** Pumps messages (when on the message thread) until the body has run count more times, within the time. */
    bool waitForMore (long long count, int timeoutMs = 5000) const;

    /** Stops the loop and joins the thread; returns the allocations the thread made. */
    long long stop (int timeoutMs = 10000);

private:
    std::function<void()> body;
    std::atomic<bool> shouldStop { false }, finished { false };
    std::atomic<long long> iterations { 0 }, allocations { 0 };
    std::thread thread;
};

/** True when every sample of the first numSamples of every channel is finite. */
bool allFinite (const juce::AudioBuffer<float>& buffer, int numSamples);

/** Fills every channel with its own mix of noise, DC, an alternating square and sparse impulses. */
void fillHostile (juce::AudioBuffer<float>& buffer, juce::Random& random, float amplitude);

/** Every processed block of the processor it stands for, observed from the audio thread. */
class ObservedProcessor : public JuceDemoPluginAudioProcessor
{
public:
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;
    using JuceDemoPluginAudioProcessor::processBlock;

    /** Asks the audio thread to forget the input peak and count blocks afresh from its next block. */
    void restartMeasuring() noexcept
    {
        // A block already under way may still count; it can't bring this back up to 0.
        blocksSinceRestart = -1000000;
        measuringRestartRequested = true;
    }

    std::atomic<long long> blocks { 0 }, totalSamples { 0 }, allocations { 0 };
    std::atomic<int> largestBlock { 0 }, nonFiniteBlocks { 0 }, blocksSinceRestart { 0 };
    /** The largest absolute input sample since measuring last restarted. */
    std::atomic<float> inputPeak { 0.0f };

private:
    std::atomic<bool> measuringRestartRequested { false };
};
} // namespace tarrowby::test
