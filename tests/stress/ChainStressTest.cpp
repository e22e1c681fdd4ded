#include "HostTestSupport.h"
#include "JackServer.h"
#include "PluginEditor.h"
#include "StressSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace tarrowby::test;
using juce::StandalonePluginHolder;

namespace
{
/** Device memory for the largest block: inputs at one level, outputs free, and exactly as many pointers as the block carries. */
struct DeviceMemory
{
    DeviceMemory (int numIns, int numOuts, int maxSamples, float inputLevel = 0.5f)
        : inputs (juce::jmax (1, numIns), maxSamples), outputs (juce::jmax (1, numOuts), maxSamples),
          inputPointers ((size_t) numIns), outputPointers ((size_t) numOuts)
    {
        for (int c = 0; c < inputs.getNumChannels(); ++c)
            juce::FloatVectorOperations::fill (inputs.getWritePointer (c), inputLevel, maxSamples);

        outputs.clear();

        for (int k = 0; k < numIns; ++k)
            inputPointers[(size_t) k] = inputs.getReadPointer (k);

        for (int k = 0; k < numOuts; ++k)
            outputPointers[(size_t) k] = outputs.getWritePointer (k);
    }

    /** One device block through the callback; false if it played anything non-finite. */
    bool run (juce::AudioIODeviceCallback& callback, int numSamples)
    {
        callback.audioDeviceIOCallbackWithContext (inputPointers.data(), (int) inputPointers.size(),
                                                   outputPointers.data(), (int) outputPointers.size(),
                                                   numSamples, {});
        return numSamples <= 0 || allFinite (outputs, numSamples);
    }

    /** The largest magnitude played on any output over the first numSamples. */
    float outputMagnitude (int numSamples) const  { return numSamples > 0 ? outputs.getMagnitude (0, numSamples) : 0.0f; }

    juce::AudioBuffer<float> inputs, outputs;
    std::vector<const float*> inputPointers;
    std::vector<float*> outputPointers;
};

/** The holder as the window builds it, with its own device closed and an observed processor, driven by hand. */
struct DrivenHolder
{
    DrivenHolder()
        : holder (makeHolder (&settings.get()))
    {
        holder->deviceManager.closeAudioDevice();
        observe();
    }

    /** Puts a fresh observed processor in place, the way a reset does. */
    ObservedProcessor& observe()
    {
        holder->stopPlayback();
        holder->deletePlugin();
        auto fresh = std::make_unique<ObservedProcessor>();
        processor = fresh.get();
        fresh->disableNonMainBuses();
        fresh->setRateAndBufferSizeDetails (44100.0, 512);
        holder->processor = std::move (fresh);
        holder->startPlayback();
        return *processor;
    }

    void start (juce::AudioIODevice& device)   { holder->sizeEnforcer.audioDeviceAboutToStart (&device); }
    void stop()                                 { holder->sizeEnforcer.audioDeviceStopped(); }

    void setMuted (bool muted)
    {
        holder->shouldMuteInput = muted;
        ASSERT_TRUE (pumpMessagesUntil ([&] { return holder->muteInput.load() == muted; }, 2000));
    }

    TempSettings settings;
    std::unique_ptr<StandalonePluginHolder> holder;
    ObservedProcessor* processor = nullptr;
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

/** Device blocks that keep coming on a thread of their own, each checked for finite output. */
struct DeviceThread
{
    DeviceThread (juce::AudioIODeviceCallback& callback, int numIns, int numOuts, std::vector<int> sizesToPlay)
        : sizes (std::move (sizesToPlay)),
          memory (numIns, numOuts, *std::max_element (sizes.begin(), sizes.end())),
          thread ([this, &callback]
          {
              const auto n = sizes[next++ % sizes.size()];

              if (! memory.run (callback, n))
                  ++nonFiniteBlocks;

              lastOutputMagnitude = memory.outputMagnitude (n);
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
    DeviceMemory memory;
    std::atomic<int> nonFiniteBlocks { 0 };
    std::atomic<float> lastOutputMagnitude { 0.0f };
    LoopingThread thread;
};
} // namespace

//==============================================================================
TEST (ChainStress, OddDeviceBlockSizesReachTheProcessorInPiecesNoLongerThanTheBuffer)
{
    DrivenHolder driven;

    for (const auto bufferSize : { 1, 7, 61, 256, 441, 512, 1021 })
    {
        auto& processor = driven.observe();
        FakeDevice device (16, 16, bufferSize);
        driven.start (device);

        const auto sizes = deviceBlockSizesFor (bufferSize);
        DeviceMemory memory (16, 16, *std::max_element (sizes.begin(), sizes.end()));
        long long expectedSamples = 0;

        for (const auto muted : { true, false })
        {
            driven.setMuted (muted);

            for (int round = 0; round < 3; ++round)
            {
                for (auto n : sizes)
                {
                    ScopedAllocationCounter counter;
                    ASSERT_TRUE (memory.run (driven.holder->sizeEnforcer, n)) << n << " samples, buffer " << bufferSize;
                    ASSERT_EQ (counter.getCount(), 0) << n << " samples, buffer " << bufferSize;
                    expectedSamples += n;
                }
            }
        }

        driven.stop();

        EXPECT_LE (processor.largestBlock.load(), bufferSize);
        EXPECT_EQ (processor.totalSamples.load(), expectedSamples) << "buffer " << bufferSize;
        EXPECT_EQ (processor.nonFiniteBlocks.load(), 0);
    }
}

TEST (ChainStress, ANotedBufferSizeOfZeroPlaysSilenceUntilARealStart)
{
    DrivenHolder driven;
    auto& processor = *driven.processor;
    DeviceMemory memory (16, 16, 4096);

    auto playLoudOutputsThrough = [&] (int n)
    {
        juce::FloatVectorOperations::fill (memory.outputs.getWritePointer (3), 0.75f, n);
        ScopedAllocationCounter counter;
        EXPECT_TRUE (memory.run (driven.holder->sizeEnforcer, n));
        EXPECT_EQ (counter.getCount(), 0);
    };

    FakeDevice zero (16, 16, 0), working (16, 16, 128);

    for (int cycle = 0; cycle < 3; ++cycle)
    {
        driven.start (zero);

        for (auto n : { 0, 1, 64, 128, 4096 })
        {
            playLoudOutputsThrough (n);
            EXPECT_EQ (memory.outputMagnitude (n), 0.0f) << n;
        }

        EXPECT_EQ (processor.blocks.load(), 0) << "a block reached a processor that was never prepared for one";
        driven.stop();

        driven.start (working);
        playLoudOutputsThrough (1000);
        EXPECT_EQ (processor.blocks.load(), 8);
        EXPECT_EQ (processor.largestBlock.load(), 128);
        driven.stop();

        processor.blocks = 0;
    }
}

TEST (ChainStress, InputMutingToggledFromTheMessageThreadWhileBlocksFlow)
{
    DrivenHolder driven;
    auto& processor = *driven.processor;
    FakeDevice device (16, 16, 256);
    driven.start (device);

    DeviceThread deviceThread (driven.holder->sizeEnforcer, 16, 16, { 256, 1000, 7, 513, 1 });

    auto blocksSeen = [&] (long long count)
    {
        const auto target = processor.blocks.load() + count;
        return pumpMessagesUntil ([&] { return processor.blocks.load() >= target; }, 5000);
    };

    for (int toggle = 0; toggle < 24; ++toggle)
    {
        const auto muted = (toggle % 2) == 0;
        driven.setMuted (muted);

        // One block may have read the flag just before it changed; the second one after cannot.
        ASSERT_TRUE (blocksSeen (2));
        processor.restartMeasuring();
        ASSERT_TRUE (pumpMessagesUntil ([&] { return processor.blocksSinceRestart.load() >= 3; }, 5000));

        EXPECT_EQ (processor.inputPeak.load(), muted ? 0.0f : 0.5f) << "toggle " << toggle;
    }

    deviceThread.finish();
    EXPECT_LE (processor.largestBlock.load(), 256);
    EXPECT_EQ (processor.nonFiniteBlocks.load(), 0);
    EXPECT_EQ (processor.allocations.load(), 0);
}

TEST (ChainStress, ProcessorDetachedReattachedAndReplacedWhileBlocksFlow)
{
    DrivenHolder driven;
    FakeDevice device (16, 16, 512);
    driven.start (device);

    DeviceThread deviceThread (driven.holder->sizeEnforcer, 16, 16, { 512, 1024, 100, 3 });
    auto& holder = *driven.holder;

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

TEST (ChainStress, DeviceRestartsWithNewShapesBetweenBlocks)
{
    DrivenHolder driven;
    auto& processor = *driven.processor;
    juce::Random random (23);

    const int bufferSizes[] = { 1, 17, 64, 500, 512, 2048 };
    const double rates[] = { 22050.0, 44100.0, 48000.0, 96000.0, 192000.0 };
    const int outputCounts[] = { 1, 2, 3, 8, 16 };

    for (int restart = 0; restart < 60; ++restart)
    {
        const auto numOuts = outputCounts[random.nextInt (5)];
        const int inputChoices[] = { 0, 1, numOuts };
        const auto numIns = inputChoices[random.nextInt (3)];
        const auto bufferSize = bufferSizes[random.nextInt (6)];
        FakeDevice device (numIns, numOuts, bufferSize, rates[random.nextInt (5)]);

        driven.start (device);
        driven.holder->muteInput = random.nextBool();
        processor.largestBlock = 0;

        // Blocks as they come, some carrying fewer channels than the device reported.
        for (int b = 0; b < 8; ++b)
        {
            const auto n = random.nextInt ({ 0, 3 * bufferSize + 2 });
            DeviceMemory memory (random.nextInt ({ 0, numIns + 1 }), random.nextInt ({ 0, numOuts + 1 }), juce::jmax (1, n));

            ScopedAllocationCounter counter;
            ASSERT_TRUE (memory.run (driven.holder->sizeEnforcer, n));
            ASSERT_EQ (counter.getCount(), 0);
        }

        EXPECT_LE (processor.largestBlock.load(), bufferSize);
        driven.stop();
    }

    EXPECT_EQ (processor.nonFiniteBlocks.load(), 0);
}

//==============================================================================
TEST (ChainStress, RealDeviceKeepsRunningThroughMutingDetachingRestartsEditorsAndStates)
{
    JackServer server (256);
    ASSERT_TRUE (server.isRunning()) << "jackd did not start:\n" << server.getLog();

    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    auto* device = holder->deviceManager.getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);
    ASSERT_EQ (device->getCurrentBufferSizeSamples(), 256);

    auto observe = [&]
    {
        holder->stopPlayback();
        holder->deletePlugin();
        juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Standalone);
        auto fresh = std::make_unique<ObservedProcessor>();
        juce::AudioProcessor::setTypeOfNextNewPlugin (juce::AudioProcessor::wrapperType_Undefined);
        auto& ref = *fresh;
        holder->processor = std::move (fresh);
        holder->startPlayback();
        return &ref;
    };

    auto* processor = observe();

    auto flowing = [&]
    {
        const auto target = processor->blocks.load() + 3;
        return pumpMessagesUntil ([&] { return processor->blocks.load() >= target; }, 5000);
    };

    ASSERT_TRUE (flowing());
    juce::MemoryBlock state;
    processor->getStateInformation (state);

    for (int round = 0; round < 6; ++round)
    {
        holder->shouldMuteInput = (round % 2) == 0;
        ASSERT_TRUE (flowing()) << "after muting, round " << round;

        holder->stopPlayback();
        pumpMessages (5);
        holder->startPlayback();
        ASSERT_TRUE (flowing()) << "after re-attaching, round " << round;

        {
            std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditorIfNeeded());
            processor->setStateInformation (state.getData(), (int) state.getSize());
            processor->getStateInformation (state);
            ASSERT_TRUE (flowing()) << "with the editor open, round " << round;
            processor->editorBeingDeleted (editor.get());
        }

        if (round % 2 == 1)
        {
            holder->deviceManager.closeAudioDevice();
            holder->deviceManager.restartLastAudioDevice();
            ASSERT_NE (holder->deviceManager.getCurrentAudioDevice(), nullptr);
            ASSERT_TRUE (flowing()) << "after a device restart, round " << round;
        }

        if (round == 3)
        {
            processor = observe();
            ASSERT_TRUE (flowing()) << "after a reset";
        }

        EXPECT_LE (processor->largestBlock.load(), 256);
        EXPECT_EQ (processor->nonFiniteBlocks.load(), 0);
        EXPECT_EQ (processor->allocations.load(), 0);
    }

    holder.reset();
}
