#include "HostTestSupport.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;

namespace
{
/** Remembers the calls it receives, without allocating. */
struct RecordingCallback : juce::AudioIODeviceCallback
{
    struct Call
    {
        int numIns = 0, numOuts = 0, numSamples = 0;
        std::array<const float*, 16> ins {};
        std::array<float*, 16> outs {};
    };

    void audioDeviceIOCallbackWithContext (const float* const* i, int numIns, float* const* o, int numOuts, int numSamples,
                                           const juce::AudioIODeviceCallbackContext&) override
    {
        auto& call = calls[(size_t) numCalls++];
        call = { numIns, numOuts, numSamples };
        std::copy (i, i + juce::jmin (numIns, 16), call.ins.begin());
        std::copy (o, o + juce::jmin (numOuts, 16), call.outs.begin());
    }

    void audioDeviceAboutToStart (juce::AudioIODevice*) override {}
    void audioDeviceStopped() override {}

    std::array<Call, 16> calls {};
    int numCalls = 0;
};
} // namespace

TEST (SizeEnforcer, HandsOnBlocksInPlaceInPiecesOfTheBufferSizeWithTheDevicesChannels)
{
    struct Case
    {
        int bufferSize, blockIns, blockOuts, numSamples;
        std::vector<int> pieces;
    };
    const Case cases[] = {
        { 256, 16, 16, 1000, { 256, 256, 256, 232 } },
        { 256, 4, 2, 300, { 256, 44 } }, // fewer channels than the device reported: silence in, scratch out
        { 256, 0, 0, 100, { 100 } },
        { 0, 16, 16, 64, {} }, // no buffer size noted: nothing is called, the outputs play silence
    };

    for (const auto& c : cases)
    {
        RecordingCallback target;
        juce::StandalonePluginHolder::CallbackMaxSizeEnforcer enforcer (target);
        DeviceBlock block (c.blockIns, c.blockOuts, c.numSamples);
        juce::FloatVectorOperations::fill (block.outputs.getWritePointer (0), 0.7f, c.numSamples);
        block.run (enforcer, c.numSamples); // before any start: silence
        EXPECT_EQ (block.outputs.getSample (0, 0), c.blockOuts == 0 ? 0.7f : 0.0f);

        FakeDevice device (16, 16, c.bufferSize);
        enforcer.audioDeviceAboutToStart (&device);
        block.outputs.clear();
        block.run (enforcer, c.numSamples);
        ASSERT_EQ (target.numCalls, (int) c.pieces.size()) << &c - cases;

        for (size_t i = 0, position = 0; i < c.pieces.size(); position += (size_t) c.pieces[i++])
        {
            const auto& call = target.calls[i];
            ASSERT_EQ (std::tuple (call.numSamples, call.numIns, call.numOuts), std::tuple (c.pieces[i], 16, 16));

            for (size_t k = 0; k < 16; ++k)
            {
                if (k < (size_t) c.blockIns)
                    EXPECT_EQ (call.ins[k], block.inputPointers[k] + position);
                else
                    EXPECT_EQ (juce::FloatVectorOperations::findMaximum (call.ins[k], call.numSamples), 0.0f);

                if (k < (size_t) c.blockOuts)
                    EXPECT_EQ (call.outs[k], block.outputPointers[k] + position);
                else
                    juce::FloatVectorOperations::fill (call.outs[k], 1.0f, call.numSamples);

                for (size_t j = 0; j < k; ++j)
                    EXPECT_NE (call.outs[j], call.outs[k]);
            }
        }
    }
}

TEST (AudioChain, MutedInputReachesTheProcessorAsSilenceWithoutAllocating)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    holder->deviceManager.closeAudioDevice();
    auto& probe = installProbe (*holder);
    DeviceBlock block (16, 16, 300, 0.5f);
    FakeDevice device (16, 16, 128);
    holder->sizeEnforcer.audioDeviceAboutToStart (&device);

    for (const auto muted : { true, false, true })
    {
        holder->shouldMuteInput = muted;
        ASSERT_TRUE (pumpMessagesUntil ([&] { return holder->muteInput.load() == muted; }, 2000));
        probe.inputPeak = 0.0f;
        ScopedAllocationCounter counter;
        block.run (holder->sizeEnforcer, 300);
        EXPECT_EQ (counter.getCount(), 0);
        EXPECT_EQ (probe.largestBlock.load(), 128);
        EXPECT_EQ (probe.inputPeak.load(), muted ? 0.0f : 0.5f);
        EXPECT_EQ (block.outputs.getSample (15, 299), ProbeProcessor::outputLevel (15));
    }

    holder->sizeEnforcer.audioDeviceStopped();
}
