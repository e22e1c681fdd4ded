#include "HostTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <vector>

using namespace tarrowby::test;
using juce::StandalonePluginHolder;

namespace
{
/** Device memory for one block: every channel filled with one value. */
struct DeviceBlock
{
    DeviceBlock (int numIns, int numOuts, int numSamples, float inputValue = 0.5f)
        : inputs (juce::jmax (1, numIns), numSamples), outputs (juce::jmax (1, numOuts), numSamples),
          inputPointers ((size_t) numIns), outputPointers ((size_t) numOuts)
    {
        for (int c = 0; c < inputs.getNumChannels(); ++c)
            juce::FloatVectorOperations::fill (inputs.getWritePointer (c), inputValue, numSamples);

        outputs.clear();

        for (int k = 0; k < numIns; ++k)
            inputPointers[(size_t) k] = inputs.getReadPointer (k);

        for (int k = 0; k < numOuts; ++k)
            outputPointers[(size_t) k] = outputs.getWritePointer (k);
    }

    juce::AudioBuffer<float> inputs, outputs;

    // Exactly as many pointers as the block carries, so reading past them is caught.
    std::vector<const float*> inputPointers;
    std::vector<float*> outputPointers;
};

void run (juce::AudioIODeviceCallback& callback, DeviceBlock& block, int numSamples)
{
    callback.audioDeviceIOCallbackWithContext (block.inputPointers.data(), (int) block.inputPointers.size(),
                                               block.outputPointers.data(), (int) block.outputPointers.size(),
                                               numSamples, {});
}

/** An enforcer in front of a recording target, started on a device of the given set-up. */
struct StartedEnforcer
{
    StartedEnforcer (int numIns, int numOuts, int bufferSize, bool start = true)
        : device (numIns, numOuts, bufferSize)
    {
        if (start)
            enforcer.audioDeviceAboutToStart (&device);
    }

    RecordingCallback target;
    StandalonePluginHolder::CallbackMaxSizeEnforcer enforcer { target };
    FakeDevice device;
};

/** A holder whose real device is closed, driven by hand through its enforcer. */
struct DrivenHolder
{
    DrivenHolder()
        : holder (makeHolder (&settings.get()))
    {
        holder->deviceManager.closeAudioDevice();
        probe = &installProbe (*holder);
    }

    void start (juce::AudioIODevice& device)   { holder->sizeEnforcer.audioDeviceAboutToStart (&device); }

    void setMuted (bool muted)
    {
        holder->shouldMuteInput = muted;
        ASSERT_TRUE (pumpMessagesUntil ([&] { return holder->muteInput.load() == muted; }, 2000));
    }

    TempSettings settings;
    std::unique_ptr<StandalonePluginHolder> holder;
    ProbeProcessor* probe = nullptr;
};
} // namespace

TEST (SizeEnforcer, SplitsLongBlocksIntoChunksOfTheNotedBufferSizeInPlace)
{
    StartedEnforcer started (16, 16, 256);
    auto& target = started.target;
    auto& enforcer = started.enforcer;
    EXPECT_EQ (target.numStarts, 1);

    DeviceBlock block (16, 16, 1000);
    run (enforcer, block, 1000);

    ASSERT_EQ (target.numCalls, 4);
    const int expectedLengths[] = { 256, 256, 256, 232 };

    for (int i = 0; i < 4; ++i)
    {
        const auto& call = target.calls[(size_t) i];
        EXPECT_EQ (call.numSamples, expectedLengths[i]);
        EXPECT_EQ (call.numIns, 16);
        EXPECT_EQ (call.numOuts, 16);

        for (int k = 0; k < 16; ++k)
        {
            EXPECT_EQ (call.ins[(size_t) k], block.inputPointers[(size_t) k] + 256 * i);
            EXPECT_EQ (call.outs[(size_t) k], block.outputPointers[(size_t) k] + 256 * i);
        }
    }

    enforcer.audioDeviceStopped();
    EXPECT_EQ (target.numStops, 1);
}

TEST (SizeEnforcer, PassesABlockThatFitsAsOneCallAndDropsEmptyOnes)
{
    StartedEnforcer started (16, 16, 512);
    auto& target = started.target;
    auto& enforcer = started.enforcer;

    DeviceBlock block (16, 16, 512);
    run (enforcer, block, 512);

    ASSERT_EQ (target.numCalls, 1);
    EXPECT_EQ (target.calls[0].numSamples, 512);
    EXPECT_EQ (target.calls[0].ins[0], block.inputPointers[0]);
    EXPECT_EQ (target.calls[0].outs[15], block.outputPointers[15]);

    run (enforcer, block, 0);
    run (enforcer, block, -3);
    EXPECT_EQ (target.numCalls, 1);
}

TEST (SizeEnforcer, WithoutAPositiveBufferSizeDropsTheBlockAndPlaysSilence)
{
    for (const auto started : { false, true })
    {
        StartedEnforcer chain (2, 2, 0, started);

        DeviceBlock block (2, 2, 64);
        juce::FloatVectorOperations::fill (block.outputs.getWritePointer (1), 0.7f, 64);

        run (chain.enforcer, block, 64);

        EXPECT_EQ (chain.target.numCalls, 0);
        EXPECT_EQ (block.outputs.getMagnitude (0, 64), 0.0f);
    }
}

TEST (SizeEnforcer, StandsInForChannelsTheBlockDoesNotCarry)
{
    StartedEnforcer started (16, 16, 256);
    auto& target = started.target;
    auto& enforcer = started.enforcer;

    DeviceBlock block (4, 2, 300);
    run (enforcer, block, 300);

    ASSERT_EQ (target.numCalls, 2);

    for (int i = 0; i < 2; ++i)
    {
        const auto& call = target.calls[(size_t) i];
        ASSERT_EQ (call.numIns, 16);
        ASSERT_EQ (call.numOuts, 16);

        for (int k = 0; k < 4; ++k)
            EXPECT_EQ (call.ins[(size_t) k], block.inputPointers[(size_t) k] + 256 * i);

        for (int k = 0; k < 2; ++k)
            EXPECT_EQ (call.outs[(size_t) k], block.outputPointers[(size_t) k] + 256 * i);

        // The missing inputs read silence; the missing outputs are distinct, writable scratch.
        for (int k = 4; k < 16; ++k)
        {
            ASSERT_NE (call.ins[(size_t) k], nullptr);

            for (int s = 0; s < call.numSamples; ++s)
                ASSERT_EQ (call.ins[(size_t) k][s], 0.0f);
        }

        for (int k = 2; k < 16; ++k)
        {
            ASSERT_NE (call.outs[(size_t) k], nullptr);
            juce::FloatVectorOperations::fill (call.outs[(size_t) k], 1.0f, call.numSamples);

            for (int j = k + 1; j < 16; ++j)
                EXPECT_NE (call.outs[(size_t) k], call.outs[(size_t) j]);
        }
    }

    // No channel arrays at all.
    target.numCalls = 0;
    enforcer.audioDeviceIOCallbackWithContext (nullptr, 0, nullptr, 0, 100, {});
    ASSERT_EQ (target.numCalls, 1);
    EXPECT_EQ (target.calls[0].numIns, 16);
    EXPECT_EQ (target.calls[0].ins[0][99], 0.0f);
}

TEST (SizeEnforcer, ReadsNoMoreChannelsThanTheDeviceReportedAtStart)
{
    StartedEnforcer started (2, 3, 128);
    auto& target = started.target;
    auto& enforcer = started.enforcer;

    DeviceBlock block (16, 16, 128);
    run (enforcer, block, 128);

    ASSERT_EQ (target.numCalls, 1);
    EXPECT_EQ (target.calls[0].numIns, 2);
    EXPECT_EQ (target.calls[0].numOuts, 3);
}

//==============================================================================
TEST (AudioChain, MutedInputReachesTheProcessorAsSilenceAndOutputsStillPlay)
{
    DrivenHolder driven;
    FakeDevice device (16, 16, 256);
    driven.start (device);

    ASSERT_EQ (driven.holder->silentInputBuffer.getNumChannels(), 16);
    ASSERT_EQ (driven.holder->silentInputBuffer.getNumSamples(), 256);
    ASSERT_TRUE (driven.holder->muteInput.load());

    DeviceBlock block (16, 16, 1000, 0.5f);
    run (driven.holder->sizeEnforcer, block, 1000);

    EXPECT_EQ (driven.probe->numBlocks.load(), 4);
    EXPECT_EQ (driven.probe->largestBlock.load(), 256);
    EXPECT_EQ (driven.probe->numChannelsSeen.load(), 16);

    for (int c = 0; c < 16; ++c)
    {
        EXPECT_EQ (driven.probe->getInputPeak (c), 0.0f) << c;
        EXPECT_EQ (block.outputs.getSample (c, 999), ProbeProcessor::outputLevel (c)) << c;
    }

    // The device's input memory is untouched.
    EXPECT_EQ (block.inputs.getSample (0, 0), 0.5f);

    driven.setMuted (false);
    run (driven.holder->sizeEnforcer, block, 1000);

    for (int c = 0; c < 16; ++c)
        EXPECT_EQ (driven.probe->getInputPeak (c), 0.5f) << c;

    driven.setMuted (true);
    driven.probe->resetPeaks();
    run (driven.holder->sizeEnforcer, block, 1000);

    for (int c = 0; c < 16; ++c)
        EXPECT_EQ (driven.probe->getInputPeak (c), 0.0f) << c;
}

TEST (AudioChain, NeverAllocatesOnTheAudioThreadMutedOrNot)
{
    DrivenHolder driven;
    FakeDevice device (16, 16, 512);
    driven.start (device);
    DeviceBlock block (16, 16, 2048, 0.25f), partial (3, 1, 2048, 0.25f);

    for (const auto muted : { true, false })
    {
        driven.setMuted (muted);

        ScopedAllocationCounter counter;
        run (driven.holder->sizeEnforcer, block, 2048);
        run (driven.holder->sizeEnforcer, block, 100);
        run (driven.holder->sizeEnforcer, partial, 2048);
        EXPECT_EQ (counter.getCount(), 0) << (muted ? "muted" : "unmuted");
    }

    EXPECT_EQ (driven.probe->largestBlock.load(), 512);
}

TEST (AudioChain, AStopEmptiesTheSilentBufferAndTheNextStartSizesItAgain)
{
    DrivenHolder driven;
    FakeDevice first (16, 16, 256), second (4, 8, 128);

    driven.start (first);
    driven.holder->sizeEnforcer.audioDeviceStopped();
    EXPECT_EQ (driven.holder->silentInputBuffer.getNumChannels(), 0);
    EXPECT_EQ (driven.holder->silentInputBuffer.getNumSamples(), 0);

    driven.start (second);
    EXPECT_EQ (driven.holder->silentInputBuffer.getNumChannels(), 4);
    EXPECT_EQ (driven.holder->silentInputBuffer.getNumSamples(), 128);

    DeviceBlock block (4, 8, 300, 0.5f);
    run (driven.holder->sizeEnforcer, block, 300);

    EXPECT_EQ (driven.probe->largestBlock.load(), 128);
    EXPECT_EQ (driven.probe->getInputPeak (0), 0.0f);
    EXPECT_EQ (block.outputs.getSample (7, 299), ProbeProcessor::outputLevel (7));
}

TEST (AudioChain, ADeviceWithoutInputsStillPlays)
{
    DrivenHolder driven;
    FakeDevice device (0, 16, 256);
    driven.start (device);
    EXPECT_EQ (driven.holder->silentInputBuffer.getNumChannels(), 0);

    DeviceBlock block (0, 16, 256);

    for (const auto muted : { true, false })
    {
        driven.setMuted (muted);
        block.outputs.clear();
        run (driven.holder->sizeEnforcer, block, 256);
        EXPECT_EQ (block.outputs.getSample (15, 255), ProbeProcessor::outputLevel (15));
    }
}

