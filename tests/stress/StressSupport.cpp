#include "StressSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace tarrowby::test
{
LoopingThread::LoopingThread (std::function<void()> bodyToRun)
    : body (std::move (bodyToRun))
{
    thread = std::thread ([this]
    {
        {
            ScopedAllocationCounter counter;

            while (! shouldStop.load())
            {
                body();
                ++iterations;
            }

            allocations = counter.getCount();
        }

        finished = true;
    });
}

LoopingThread::~LoopingThread()
{
    if (thread.joinable())
        stop();
}

bool LoopingThread::waitForMore (long long count, int timeoutMs) const
{
    const auto target = iterations.load() + count;
    const auto reached = [&] { return iterations.load() >= target; };

    if (juce::MessageManager::getInstance()->isThisTheMessageThread())
        return pumpMessagesUntil (reached, timeoutMs);

    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (! reached() && juce::Time::getMillisecondCounter() < end)
        std::this_thread::sleep_for (std::chrono::milliseconds (1));

    return reached();
}

long long LoopingThread::stop (int timeoutMs)
{
    shouldStop = true;
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMs;

    while (! finished.load())
    {
        if (juce::Time::getMillisecondCounter() >= end)
        {
            ADD_FAILURE() << "a looping thread did not stop within " << timeoutMs << " ms: it is stuck";
            std::fprintf (stderr, "Deadlock: a looping thread did not stop; ending the test program.\n");
            std::fflush (stderr);
            std::abort();
        }

        std::this_thread::sleep_for (std::chrono::milliseconds (1));
    }

    thread.join();
    return allocations.load();
}

//==============================================================================
bool allFinite (const juce::AudioBuffer<float>& buffer, int numSamples)
{
    for (int c = 0; c < buffer.getNumChannels(); ++c)
    {
        const auto* samples = buffer.getReadPointer (c);

        for (int i = 0; i < numSamples; ++i)
            if (! std::isfinite (samples[i]))
                return false;
    }

    return true;
}

void fillHostile (juce::AudioBuffer<float>& buffer, juce::Random& random, float amplitude)
{
    for (int c = 0; c < buffer.getNumChannels(); ++c)
    {
        auto* samples = buffer.getWritePointer (c);

        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            float x = 0.0f;

            switch ((c + i / 97) % 6)
            {
                case 0:  x = 2.0f * random.nextFloat() - 1.0f; break;
                case 1:  x = 1.0f; break;
                case 2:  x = (i & 1) != 0 ? 1.0f : -1.0f; break;
                case 3:  x = (i % 31) == 0 ? 1.0f : 0.0f; break;
                case 4:  x = 1.0e-39f * (float) ((i % 3) - 1); break; // denormals
                default: x = 0.0f; break;
            }

            samples[i] = amplitude * x;
        }
    }
}

//==============================================================================
void ObservedProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    ScopedAllocationCounter counter;

    if (measuringRestartRequested.exchange (false))
    {
        inputPeak = 0.0f;
        blocksSinceRestart = 0;
    }

    const auto numSamples = buffer.getNumSamples();
    float peak = inputPeak.load();

    for (int c = 0; c < juce::jmin (getTotalNumInputChannels(), buffer.getNumChannels()); ++c)
        peak = juce::jmax (peak, buffer.getMagnitude (c, 0, numSamples));

    inputPeak = peak;

    JuceDemoPluginAudioProcessor::processBlock (buffer, midi);

    if (! allFinite (buffer, numSamples))
        ++nonFiniteBlocks;

    largestBlock = juce::jmax (largestBlock.load(), numSamples);
    totalSamples += numSamples;
    allocations += counter.getCount();
    ++blocksSinceRestart;
    ++blocks;
}
} // namespace tarrowby::test
