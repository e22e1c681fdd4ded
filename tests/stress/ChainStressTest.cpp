#include "ProcessorTestHelpers.h"
#include "HostTestSupport.h"
#include "JackServer.h"
#include "StressSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tarrowby::test;

namespace
{
/** The real processor, observed from the audio thread. */
struct ObservedProcessor : JuceDemoPluginAudioProcessor
{
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override
    {
        ScopedAllocationCounter counter;
        const auto numSamples = buffer.getNumSamples();
        float peak = 0.0f;

        for (int c = 0; c < juce::jmin (getTotalNumInputChannels(), buffer.getNumChannels()); ++c)
            peak = juce::jmax (peak, buffer.getMagnitude (c, 0, numSamples));

        lastInputPeak = peak;
        JuceDemoPluginAudioProcessor::processBlock (buffer, midi);

        if (! allFinite (buffer, numSamples))
            ++nonFiniteBlocks;

        largestBlock = juce::jmax (largestBlock.load(), numSamples);
        totalSamples += numSamples;
        allocations += counter.getCount();
        ++blocks;
    }

    using JuceDemoPluginAudioProcessor::processBlock;

    /** Pumps messages until count more blocks have been processed. */
    bool waitForBlocks (long long count)
    {
        const auto target = blocks.load() + count;
        return pumpMessagesUntil ([&] { return blocks.load() >= target; }, 5000);
    }

    std::atomic<long long> blocks { 0 }, totalSamples { 0 }, allocations { 0 };
    std::atomic<int> largestBlock { 0 }, nonFiniteBlocks { 0 };
    std::atomic<float> lastInputPeak { 0.0f };
};

/** Odd sizes, the sizes around the buffer size, and several buffers' worth. */
std::vector<int> deviceBlockSizesFor (int bufferSize)
{
    std::vector<int> sizes { 0, 1, 2, 3, 5, 7, 13, 61, 127, 509, 4099 };

    for (auto n : { bufferSize - 1, bufferSize, bufferSize + 1, 2 * bufferSize, 3 * bufferSize + 1 })
        if (n >= 0)
            sizes.push_back (n);

    return sizes;
}
} // namespace

//==============================================================================
TEST (ChainStress, DevicesOfAnyShapeDeliverBlocksOfAnySizeInPiecesNoLongerThanTheBuffer)
{
    DrivenHolder<ObservedProcessor> driven;
    auto& processor = *driven.processor;
    juce::Random random (23);

    const int bufferSizes[] = { 0, 1, 7, 17, 61, 256, 441, 512, 1021, 2048 };
    const double rates[] = { 22050.0, 44100.0, 48000.0, 96000.0, 192000.0 };
    const int outputCounts[] = { 1, 2, 3, 8, 16 };

    // Restarts without a release: first 16 in and 16 out at every buffer size, then any shape, with
    // blocks that carry fewer channels than the device reported. A noted buffer size of 0 plays
    // silence, and nothing reaches the processor until a real start.
    for (int restart = 0; restart < 50; ++restart)
    {
        const auto bufferSize = bufferSizes[restart % 10];
        const auto numOuts = restart < 10 ? 16 : outputCounts[random.nextInt (5)];
        const auto numIns = restart < 10 ? 16 : std::vector<int> { 0, 1, numOuts }[(size_t) random.nextInt (3)];
        FakeDevice device (numIns, numOuts, bufferSize, rates[random.nextInt (5)]);
        driven.start (device);
        ASSERT_TRUE (driven.setMuted (restart % 2 == 0));
        processor.largestBlock = 0;
        processor.totalSamples = 0;
        long long expectedSamples = 0;

        for (auto n : deviceBlockSizesFor (bufferSize))
        {
            DeviceBlock block (restart < 10 ? 16 : random.nextInt (numIns + 1),
                               restart < 10 ? 16 : random.nextInt (numOuts + 1), juce::jmax (1, n));
            juce::FloatVectorOperations::fill (block.outputs.getWritePointer (0), 0.75f, block.outputs.getNumSamples());
            ScopedAllocationCounter counter;
            driven.run (block, n);
            ASSERT_EQ (counter.getCount(), 0) << n << " samples, buffer " << bufferSize;
            ASSERT_TRUE (allFinite (block.outputs, n)) << n << " samples, buffer " << bufferSize;

            if (bufferSize == 0 && ! block.outputPointers.empty())
                ASSERT_EQ (block.outputs.getMagnitude (0, 0, n), 0.0f) << n << " samples";

            expectedSamples += bufferSize > 0 ? n : 0;
        }

        driven.stop();
        EXPECT_LE (processor.largestBlock.load(), bufferSize);
        EXPECT_EQ (processor.totalSamples.load(), expectedSamples) << "buffer " << bufferSize;
    }

    EXPECT_EQ (processor.nonFiniteBlocks.load(), 0);
}

TEST (ChainStress, MutingDetachingAndReplacingFromTheMessageThreadWhileBlocksFlow)
{
    DrivenHolder<ObservedProcessor> driven;
    auto& holder = *driven.holder;
    FakeDevice device (16, 16, 256);
    driven.start (device);
    // Device blocks that keep coming on a thread of their own.
    const int sizes[] = { 256, 1000, 7, 513, 1 };
    size_t next = 0;
    DeviceBlock block (16, 16, 1000);
    std::atomic<float> lastOutputMagnitude { 0.0f };

    LoopingThread deviceThread ([&]
    {
        const auto n = sizes[next++ % 5];
        driven.run (block, n);
        lastOutputMagnitude = block.outputs.getMagnitude (0, n);
    });

    for (int round = 0; round < 32; ++round)
    {
        auto& processor = *driven.processor;
        const auto muted = (round % 2) == 0;
        ASSERT_TRUE (driven.setMuted (muted));

        // One block may have read the flag just before it changed; the second one after cannot.
        ASSERT_TRUE (processor.waitForBlocks (2));
        EXPECT_EQ (processor.lastInputPeak.load(), muted ? 0.0f : 0.5f) << "round " << round;
        EXPECT_LE (processor.largestBlock.load(), 256);
        EXPECT_EQ (processor.nonFiniteBlocks.load(), 0);

        holder.stopPlayback();
        ASSERT_TRUE (deviceThread.waitForMore (3));
        EXPECT_EQ (lastOutputMagnitude.load(), 0.0f) << "a detached processor still played";

        if (round % 4 == 3)
        {
            // The reset path: the processor goes and a new one comes while the device runs.
            holder.deletePlugin();
            holder.createPlugin();
            holder.startPlayback();
            ASSERT_TRUE (deviceThread.waitForMore (3));
            EXPECT_EQ (holder.processor->getSampleRate(), 48000.0) << "the player prepares what it is given";
            EXPECT_EQ (holder.processor->getBlockSize(), 256);
            EXPECT_EQ (holder.processor->getTotalNumInputChannels(), 16);
            EXPECT_EQ (holder.processor->getTotalNumOutputChannels(), 16);
            driven.processor = &installProbe<ObservedProcessor> (holder);
        }
        else
        {
            holder.startPlayback();
        }
    }

    EXPECT_EQ (deviceThread.stop(), 0) << "the device thread allocated";
}

//==============================================================================
TEST (ChainStress, RealDeviceKeepsRunningThroughMutingDetachingRestartsEditorsAndStates)
{
    JackServer server (256);
    ASSERT_TRUE (server.isRunning()) << "jackd did not start:\n" << server.getLog();

    ScopedWrapperType standalone;
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    auto* device = holder->deviceManager.getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);
    ASSERT_EQ (device->getCurrentBufferSizeSamples(), 256);

    auto* processor = &installProbe<ObservedProcessor> (*holder);
    ASSERT_TRUE (processor->waitForBlocks (3));
    juce::MemoryBlock state;
    processor->getStateInformation (state);

    for (int round = 0; round < 6; ++round)
    {
        holder->shouldMuteInput = (round % 2) == 0;
        ASSERT_TRUE (processor->waitForBlocks (3)) << "after muting, round " << round;

        holder->stopPlayback();
        pumpMessages (5);
        holder->startPlayback();
        ASSERT_TRUE (processor->waitForBlocks (3)) << "after re-attaching, round " << round;

        {
            std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditorIfNeeded());
            processor->setStateInformation (state.getData(), (int) state.getSize());
            processor->getStateInformation (state);
            ASSERT_TRUE (processor->waitForBlocks (3)) << "with the editor open, round " << round;
            processor->editorBeingDeleted (editor.get());
        }

        if (round % 2 == 1)
        {
            holder->deviceManager.closeAudioDevice();
            holder->deviceManager.restartLastAudioDevice();
            ASSERT_NE (holder->deviceManager.getCurrentAudioDevice(), nullptr);
            ASSERT_TRUE (processor->waitForBlocks (3)) << "after a device restart, round " << round;
        }

        if (round == 3)
        {
            processor = &installProbe<ObservedProcessor> (*holder);
            ASSERT_TRUE (processor->waitForBlocks (3)) << "after a reset";
        }

        EXPECT_LE (processor->largestBlock.load(), 256);
        EXPECT_EQ (processor->nonFiniteBlocks.load(), 0);
        EXPECT_EQ (processor->allocations.load(), 0);
    }
}
