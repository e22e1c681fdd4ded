#include "EditorTestSupport.h"
#include "HostTestSupport.h"
#include "JackServer.h"
#include "StressSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
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
        sizes.push_back (n);

    return sizes;
}

/** Device blocks of the given sizes that keep coming on a thread of their own, each checked for finite output. */
struct DeviceThread
{
    DeviceThread (juce::AudioIODeviceCallback& callback, std::vector<int> sizesToPlay)
        : sizes (std::move (sizesToPlay)),
          block (16, 16, *std::max_element (sizes.begin(), sizes.end())),
          thread ([this, &callback]
          {
              const auto n = sizes[next++ % sizes.size()];
              block.run (callback, n);

              if (! allFinite (block.outputs, n))
                  ++nonFiniteBlocks;

              lastOutputMagnitude = block.outputs.getMagnitude (0, n);
          })
    {
    }

    void finish()
    {
        EXPECT_EQ (thread.stop(), 0) << "the device thread allocated";
        EXPECT_EQ (nonFiniteBlocks.load(), 0);
    }

    std::vector<int> sizes;
    size_t next = 0;
    DeviceBlock block;
    std::atomic<int> nonFiniteBlocks { 0 };
    std::atomic<float> lastOutputMagnitude { 0.0f };
    LoopingThread thread;
};
} // namespace

//==============================================================================
TEST (ChainStress, DevicesOfAnyShapeDeliverBlocksOfAnySizeInPiecesNoLongerThanTheBuffer)
{
    DrivenHolder<ObservedProcessor> driven;
    auto& processor = *driven.processor;
    juce::Random random (23);

    const int bufferSizes[] = { 1, 7, 17, 61, 256, 441, 512, 1021, 2048 };
    const double rates[] = { 22050.0, 44100.0, 48000.0, 96000.0, 192000.0 };
    const int outputCounts[] = { 1, 2, 3, 8, 16 };

    // Restarts without a release: first 16 in and 16 out at every buffer size, then any shape,
    // with blocks that carry fewer channels than the device reported.
    for (int restart = 0; restart < 45; ++restart)
    {
        const auto bufferSize = bufferSizes[restart % 9];
        const auto numOuts = restart < 9 ? 16 : outputCounts[random.nextInt (5)];
        const auto numIns = restart < 9 ? 16 : std::vector<int> { 0, 1, numOuts }[(size_t) random.nextInt (3)];
        FakeDevice device (numIns, numOuts, bufferSize, rates[random.nextInt (5)]);
        driven.start (device);
        ASSERT_TRUE (driven.setMuted (restart % 2 == 0));
        processor.largestBlock = 0;
        processor.totalSamples = 0;
        long long expectedSamples = 0;

        for (auto n : deviceBlockSizesFor (bufferSize))
        {
            DeviceBlock block (restart < 9 ? 16 : random.nextInt (numIns + 1),
                               restart < 9 ? 16 : random.nextInt (numOuts + 1), juce::jmax (1, n));
            ScopedAllocationCounter counter;
            driven.run (block, n);
            ASSERT_EQ (counter.getCount(), 0) << n << " samples, buffer " << bufferSize;
            ASSERT_TRUE (allFinite (block.outputs, n)) << n << " samples, buffer " << bufferSize;
            expectedSamples += n;
        }

        driven.stop();
        EXPECT_LE (processor.largestBlock.load(), bufferSize);
        EXPECT_EQ (processor.totalSamples.load(), expectedSamples) << "buffer " << bufferSize;
    }

    EXPECT_EQ (processor.nonFiniteBlocks.load(), 0);
}

TEST (ChainStress, ANotedBufferSizeOfZeroPlaysSilenceUntilARealStart)
{
    DrivenHolder<ObservedProcessor> driven;
    auto& processor = *driven.processor;
    DeviceBlock block (16, 16, 4096);
    FakeDevice zero (16, 16, 0), working (16, 16, 128);

    for (int cycle = 0; cycle < 3; ++cycle)
    {
        for (auto* device : { &zero, &working })
        {
            driven.start (*device);

            for (auto n : device == &zero ? std::vector<int> { 0, 1, 64, 128, 4096 } : std::vector<int> { 1000 })
            {
                juce::FloatVectorOperations::fill (block.outputs.getWritePointer (3), 0.75f, n);
                ScopedAllocationCounter counter;
                driven.run (block, n);
                EXPECT_EQ (counter.getCount(), 0);

                if (device == &zero)
                    EXPECT_EQ (block.outputs.getMagnitude (0, n), 0.0f) << n;
            }

            driven.stop();
        }

        EXPECT_EQ (processor.blocks.load(), 8) << "only the working device's blocks reach the processor";
        EXPECT_EQ (processor.largestBlock.load(), 128);
        processor.blocks = 0;
    }
}

TEST (ChainStress, InputMutingToggledFromTheMessageThreadWhileBlocksFlow)
{
    DrivenHolder<ObservedProcessor> driven;
    auto& processor = *driven.processor;
    FakeDevice device (16, 16, 256);
    driven.start (device);
    DeviceThread deviceThread (driven.holder->sizeEnforcer, { 256, 1000, 7, 513, 1 });

    for (int toggle = 0; toggle < 24; ++toggle)
    {
        const auto muted = (toggle % 2) == 0;
        ASSERT_TRUE (driven.setMuted (muted));

        // One block may have read the flag just before it changed; the second one after cannot.
        ASSERT_TRUE (processor.waitForBlocks (2));
        EXPECT_EQ (processor.lastInputPeak.load(), muted ? 0.0f : 0.5f) << "toggle " << toggle;
    }

    deviceThread.finish();
    EXPECT_LE (processor.largestBlock.load(), 256);
    EXPECT_EQ (processor.nonFiniteBlocks.load(), 0);
}

TEST (ChainStress, ProcessorDetachedReattachedAndReplacedWhileBlocksFlow)
{
    DrivenHolder<ObservedProcessor> driven;
    auto& holder = *driven.holder;
    FakeDevice device (16, 16, 512);
    driven.start (device);
    DeviceThread deviceThread (holder.sizeEnforcer, { 512, 1024, 100, 3 });

    for (int round = 0; round < 40; ++round)
    {
        holder.stopPlayback();
        ASSERT_TRUE (deviceThread.thread.waitForMore (3));
        EXPECT_EQ (deviceThread.lastOutputMagnitude.load(), 0.0f) << "a detached processor still played";

        if (round % 4 == 3)
        {
            // The reset path: the processor goes and a new one comes while the device runs.
            holder.deletePlugin();
            holder.createPlugin();
        }

        holder.startPlayback();
        ASSERT_TRUE (deviceThread.thread.waitForMore (3));

        // The player prepared whatever processor it was given for the running device.
        EXPECT_EQ (holder.processor->getSampleRate(), 48000.0);
        EXPECT_EQ (holder.processor->getBlockSize(), 512);
        EXPECT_EQ (holder.processor->getTotalNumInputChannels(), 16);
        EXPECT_EQ (holder.processor->getTotalNumOutputChannels(), 16);
    }

    deviceThread.finish();
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

    holder.reset();
}
