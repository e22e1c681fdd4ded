#include "HostTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;
using juce::StandalonePluginHolder;

namespace
{
/** A size enforcer in front of a recording target, started on a device of the given set-up. */
struct Enforcer
{
    Enforcer (int numIns, int numOuts, int bufferSize, bool start = true) : device (numIns, numOuts, bufferSize)
    {
        if (start)
            enforcer.audioDeviceAboutToStart (&device);
    }

    RecordingCallback target;
    StandalonePluginHolder::CallbackMaxSizeEnforcer enforcer { target };
    FakeDevice device;
};

/** A driven holder with a probe, whose peaks start afresh with every change of the input muting. */
struct ProbedHolder : DrivenHolder<>
{
    void setMuted (bool muted)
    {
        ASSERT_TRUE (DrivenHolder::setMuted (muted));
        processor->resetPeaks();
    }

    void expectInputPeaks (float expected)
    {
        for (int c = 0; c < 16; ++c)
            EXPECT_EQ (processor->getInputPeak (c), expected) << c;
    }
};
} // namespace

TEST (SizeEnforcer, SplitsLongBlocksInPlaceIntoPiecesOfTheBufferSize)
{
    Enforcer chain (16, 16, 256);
    EXPECT_EQ (chain.target.numStarts, 1);

    DeviceBlock block (16, 16, 1000);
    block.run (chain.enforcer, 1000);
    ASSERT_EQ (chain.target.numCalls, 4);
    const int lengths[] = { 256, 256, 256, 232 };

    for (size_t i = 0; i < 4; ++i)
    {
        const auto& call = chain.target.calls[i];
        EXPECT_EQ (call.numSamples, lengths[i]);
        EXPECT_EQ (call.numIns, 16);
        EXPECT_EQ (call.numOuts, 16);

        for (size_t k = 0; k < 16; ++k)
        {
            EXPECT_EQ (call.ins[k], block.inputPointers[k] + 256 * i);
            EXPECT_EQ (call.outs[k], block.outputPointers[k] + 256 * i);
        }
    }

    // A block that fits passes as it is, with the device's own pointers; an empty one makes no call.
    chain.target.numCalls = 0;
    block.run (chain.enforcer, 256);
    block.run (chain.enforcer, 0);
    block.run (chain.enforcer, -3);
    ASSERT_EQ (chain.target.numCalls, 1);
    EXPECT_EQ (chain.target.calls[0].numSamples, 256);
    EXPECT_EQ (chain.target.calls[0].ins[0], block.inputPointers[0]);
    EXPECT_EQ (chain.target.calls[0].outs[15], block.outputPointers[15]);

    chain.enforcer.audioDeviceStopped();
    EXPECT_EQ (chain.target.numStops, 1);
}

TEST (SizeEnforcer, WithoutAPositiveBufferSizeDropsTheBlockAndPlaysSilence)
{
    for (const auto started : { false, true })
    {
        Enforcer chain (2, 2, 0, started);
        DeviceBlock block (2, 2, 64);
        juce::FloatVectorOperations::fill (block.outputs.getWritePointer (1), 0.7f, 64);

        block.run (chain.enforcer, 64);
        EXPECT_EQ (chain.target.numCalls, 0);
        EXPECT_EQ (block.outputs.getMagnitude (0, 64), 0.0f);
    }
}

TEST (SizeEnforcer, PassesOnlyTheChannelsTheDeviceReportedAndStandsInForMissingOnes)
{
    Enforcer narrow (2, 3, 128);
    DeviceBlock wide (16, 16, 128);
    wide.run (narrow.enforcer, 128);
    ASSERT_EQ (narrow.target.numCalls, 1);
    EXPECT_EQ (narrow.target.calls[0].numIns, 2);
    EXPECT_EQ (narrow.target.calls[0].numOuts, 3);

    Enforcer chain (16, 16, 256);
    DeviceBlock block (4, 2, 300);
    block.run (chain.enforcer, 300);
    ASSERT_EQ (chain.target.numCalls, 2);

    for (size_t i = 0; i < 2; ++i)
    {
        const auto& call = chain.target.calls[i];
        ASSERT_EQ (call.numIns, 16);
        ASSERT_EQ (call.numOuts, 16);
        EXPECT_EQ (call.ins[3], block.inputPointers[3] + 256 * i);
        EXPECT_EQ (call.outs[1], block.outputPointers[1] + 256 * i);

        // The missing inputs read silence; the missing outputs are distinct, writable scratch.
        for (size_t k = 4; k < 16; ++k)
            for (int s = 0; s < call.numSamples; ++s)
                ASSERT_EQ (call.ins[k][s], 0.0f);

        for (size_t k = 2; k < 16; ++k)
        {
            juce::FloatVectorOperations::fill (call.outs[k], 1.0f, call.numSamples);

            for (size_t j = k + 1; j < 16; ++j)
                EXPECT_NE (call.outs[k], call.outs[j]);
        }
    }

    chain.target.numCalls = 0;
    chain.enforcer.audioDeviceIOCallbackWithContext (nullptr, 0, nullptr, 0, 100, {});
    ASSERT_EQ (chain.target.numCalls, 1);
    EXPECT_EQ (chain.target.calls[0].ins[0][99], 0.0f);
}

//==============================================================================
TEST (AudioChain, MutedInputReachesTheProcessorAsSilenceWhileOutputsPlay)
{
    ProbedHolder driven;
    FakeDevice device (16, 16, 256);
    driven.start (device);
    ASSERT_TRUE (driven.holder->muteInput.load());

    DeviceBlock block (16, 16, 1000, 0.5f);
    driven.run (block, 1000);

    EXPECT_EQ (driven.processor->numBlocks.load(), 4);
    EXPECT_EQ (driven.processor->largestBlock.load(), 256);
    EXPECT_EQ (driven.processor->numChannelsSeen.load(), 16);
    driven.expectInputPeaks (0.0f);
    EXPECT_EQ (block.inputs.getSample (0, 0), 0.5f) << "the device's input memory is untouched";

    for (int c = 0; c < 16; ++c)
        EXPECT_EQ (block.outputs.getSample (c, 999), ProbeProcessor::outputLevel (c)) << c;

    driven.setMuted (false);
    driven.run (block, 1000);
    driven.expectInputPeaks (0.5f);

    driven.setMuted (true);
    driven.run (block, 1000);
    driven.expectInputPeaks (0.0f);

    // A restart on another shape sizes the silence again; a device without inputs still plays.
    driven.holder->sizeEnforcer.audioDeviceStopped();
    EXPECT_EQ (driven.holder->silentInputBuffer.getNumChannels(), 0);

    for (const auto numIns : { 4, 0 })
    {
        FakeDevice other (numIns, 8, 128);
        driven.start (other);
        driven.processor->largestBlock = 0;
        EXPECT_EQ (driven.holder->silentInputBuffer.getNumChannels(), numIns);
        EXPECT_EQ (driven.holder->silentInputBuffer.getNumSamples(), 128);

        DeviceBlock small (numIns, 8, 300, 0.5f);
        driven.run (small, 300);
        EXPECT_EQ (driven.processor->largestBlock.load(), 128);
        EXPECT_EQ (driven.processor->getInputPeak (0), 0.0f);
        EXPECT_EQ (small.outputs.getSample (7, 299), ProbeProcessor::outputLevel (7));
    }
}

TEST (AudioChain, NeverAllocatesOnTheAudioThreadMutedOrNot)
{
    ProbedHolder driven;
    FakeDevice device (16, 16, 512);
    driven.start (device);
    DeviceBlock block (16, 16, 2048, 0.25f), partial (3, 1, 2048, 0.25f);

    for (const auto muted : { true, false })
    {
        driven.setMuted (muted);

        ScopedAllocationCounter counter;
        driven.run (block, 2048);
        driven.run (block, 100);
        driven.run (partial, 2048);
        EXPECT_EQ (counter.getCount(), 0) << (muted ? "muted" : "unmuted");
    }

    EXPECT_EQ (driven.processor->largestBlock.load(), 512);
}
