#include "ProcessorTestHelpers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace tarrowby::test;

namespace
{
/** Every step active: bass management (channel 3 included), dim, mutes and solos. */
void switchEverythingOn (Processor& processor)
{
    for (int c = 0; c < Processor::numChannels; ++c)
    {
        processor.channelBassManaged[(size_t) c] = (c >= 3 && c <= 11);
        processor.channelMute[(size_t) c] = c >= 14;
        processor.channelSolo[(size_t) c] = c != 7;
    }

    processor.solosBypassed = false;
    setNormalised (processor, "gain", 0.9f);
    setNormalised (processor, "dim", 1.0f);
}
} // namespace

TEST (ProcessorRealtime, ProcessingNeverAllocates)
{
    Processor processor;
    configure (processor);
    processor.prepareToPlay (48000.0, 512);
    switchEverythingOn (processor);

    const int sizes[] = { 0, 1, 3, 17, 63, 64, 511, 512, 513, 1023, 4095, 4097, 9999 };
    auto source = makeNoise (16, 9999);
    std::vector<std::unique_ptr<juce::AudioBuffer<float>>> blocks;

    for (int round = 0; round < 8; ++round)
        for (auto size : sizes)
            blocks.push_back (std::make_unique<juce::AudioBuffer<float>> (source.getArrayOfWritePointers(), 16, size));

    juce::MidiBuffer midi;
    midi.ensureSize (64);

    long long allocations = -1;
    std::thread audioThread ([&]
    {
        ScopedAllocationCounter counter;

        for (auto& block : blocks)
            processor.processBlock (*block, midi);

        allocations = counter.getCount();
    });
    audioThread.join();

    EXPECT_EQ (allocations, 0);
}

TEST (ProcessorRealtime, LongBlockMatchesAProcessorPreparedForIt)
{
    constexpr int length = 3 * Processor::defaultScratchSize + 77;

    for (bool managesChannel3 : { false, true })
    {
        Processor small, large;
        configure (small);
        configure (large);
        small.prepareToPlay (48000.0, 64);
        large.prepareToPlay (48000.0, length);

        for (auto* p : { &small, &large })
            p->channelBassManaged[3] = managesChannel3;

        // Two blocks, so filter state carried across pieces and blocks is compared too.
        for (juce::int64 seed : { 7, 8 })
        {
            auto a = makeNoise (16, length, 0.7f, seed);
            auto b = a;
            process (small, a);
            process (large, b);

            EXPECT_TRUE (identical (a, b));
            EXPECT_EQ (small.bassSignalPresent.load(), large.bassSignalPresent.load());
            EXPECT_EQ (small.channelPairsDiffer.load(), large.channelPairsDiffer.load());

            for (int c = 0; c < 16; ++c)
                EXPECT_EQ (small.peakLevels[(size_t) c].load(), large.peakLevels[(size_t) c].load());
        }
    }
}

TEST (ProcessorRealtime, NarrowBuffersOnlyTouchTheirOwnChannels)
{
    // Framework assertions catch any access to a channel the buffer lacks; ASan catches the rest.
    for (int numBufferChannels : { 1, 2, 4, 9, 12 })
    {
        for (bool narrowProcessor : { false, true })
        {
            Processor processor;
            configure (processor, narrowProcessor ? numBufferChannels : 16, narrowProcessor ? numBufferChannels : 16);
            processor.prepareToPlay (48000.0, 256);
            switchEverythingOn (processor);
            processor.peakLevels[0] = 0.25f;

            auto buffer = makeNoise (numBufferChannels, 256);
            process (processor, buffer);

            EXPECT_EQ (processor.peakLevels[0].load(), 0.25f);

            if (numBufferChannels <= Processor::bassTargetChannel)
                EXPECT_FALSE (processor.bassSignalPresent.load());
        }
    }

    // Defaults with unity level: a stereo or four-channel buffer passes unchanged.
    for (int numBufferChannels : { 2, 4 })
    {
        Processor processor;
        configure (processor);
        processor.prepareToPlay (48000.0, 256);

        const auto input = makeNoise (numBufferChannels, 256);
        auto output = input;
        process (processor, output);
        EXPECT_TRUE (identical (input, output)) << numBufferChannels;
        EXPECT_FALSE (processor.channelPairsDiffer.load());
    }
}

TEST (ProcessorRealtime, AudioAndMessageThreadsShareFieldsWithoutWaiting)
{
    // Run under ThreadSanitizer to check that every shared field is race-free.
    Processor processor;
    configure (processor);
    processor.prepareToPlay (48000.0, 256);

    std::atomic<bool> stop { false };
    std::atomic<int> blocks { 0 };

    std::thread audioThread ([&]
    {
        auto buffer = makeNoise (16, 256);
        juce::MidiBuffer midi;

        while (! stop)
        {
            processor.processBlock (buffer, midi);
            ++blocks;
        }
    });

    for (int i = 0; i < 300 || blocks < 50; ++i)
    {
        const auto c = (size_t) (i % Processor::numChannels);
        processor.channelMute[c] = (i & 1) != 0;
        processor.channelSolo[c] = (i & 2) != 0;
        processor.channelBassManaged[c] = (i & 4) != 0;
        processor.solosBypassed = (i & 8) != 0;

        setNormalised (processor, "balance", (float) (i % 10) / 10.0f);
        processor.updateFilterCoeffs (48000.0);

        for (auto& peak : processor.peakLevels)
            if (peak.load() >= 0.0f)
                peak = 0.0f;

        juce::ignoreUnused (processor.bassSignalPresent.load(), processor.channelPairsDiffer.load());
    }

    stop = true;
    audioThread.join();
    EXPECT_GE (blocks.load(), 50);
}
