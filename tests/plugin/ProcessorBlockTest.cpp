#include "ProcessorTestHelpers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <thread>
#include <vector>

using namespace tarrowby::test;

namespace
{
/** A configured, prepared 16-channel processor with every switch off and unity level. */
struct ProcessorBlock : ::testing::Test
{
    ProcessorBlock()
    {
        configure (processor);
        processor.prepareToPlay (48000.0, 512);
        clearSwitches (processor);
    }

    juce::AudioBuffer<float> processed (juce::AudioBuffer<float> buffer)
    {
        process (processor, buffer);
        return buffer;
    }

    void manageBass (int first = 4, int last = 11)
    {
        for (int c = first; c <= last; ++c)
            processor.channelBassManaged[(size_t) c] = true;
    }

    Processor processor;
};

juce::AudioBuffer<float> makeSine (int numSamples, float amplitude, double frequency = 80.0)
{
    juce::AudioBuffer<float> buffer (16, numSamples);

    for (int c = 0; c < 16; ++c)
        for (int i = 0; i < numSamples; ++i)
            buffer.setSample (c, i, amplitude * (float) std::sin (juce::MathConstants<double>::twoPi * frequency * i / 48000.0));

    return buffer;
}

bool isSilent (const juce::AudioBuffer<float>& buffer, int channel)
{
    return buffer.findMinMax (channel, 0, buffer.getNumSamples()) == juce::Range<float>();
}
} // namespace

TEST_F (ProcessorBlock, EmptyBlockOnlyClearsTheLampsAndMidiIsLeftAlone)
{
    processor.bassSignalPresent = processor.channelPairsDiffer = true;
    processor.peakLevels[0] = 0.5f;

    juce::AudioBuffer<float> empty (16, 0);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, 0.5f), 3);
    const auto midiBefore = midi;
    processor.processBlock (empty, midi);

    EXPECT_FALSE (processor.bassSignalPresent.load() || processor.channelPairsDiffer.load());
    EXPECT_EQ (processor.peakLevels[0].load(), 0.5f);
    EXPECT_EQ (midi.data, midiBefore.data);

    auto block = makeNoise (16, 64);
    processor.processBlock (block, midi);
    EXPECT_EQ (midi.data, midiBefore.data);
}

TEST_F (ProcessorBlock, MasterLevelWithDimAndCut)
{
    struct Case { float gain, dim, mute; double factor; };
    const Case cases[] = { { 1.0f, 0.0f, 0.0f, 1.0 },
                           { 2.0f / 3.0f, 0.0f, 0.0f, 0.1 },   // -20 dB
                           { 2.0f / 3.0f, 1.0f, 0.0f, 0.01 },  // Dim: a further -20 dB
                           { 1.0f, 0.0f, 1.0f, 1.0e-6 },       // Cut: -120 dB, an attenuation, not silence
                           { 0.0f, 0.3f, 0.5f, 1.0e-10 } };    // any non-zero value counts as on

    const auto input = makeNoise (16, 256);

    for (const auto& k : cases)
    {
        setNormalised (processor, "gain", k.gain);
        setNormalised (processor, "dim", k.dim);
        setNormalised (processor, "mute", k.mute);
        const auto output = processed (input);

        for (int c = 0; c < 16; ++c)
            for (int i = 0; i < 256; ++i)
            {
                const auto expected = input.getSample (c, i) * k.factor;
                ASSERT_LE (std::abs (output.getSample (c, i) - expected), std::abs (expected) * 2.0e-5) << k.factor;
            }

        EXPECT_FALSE (isSilent (output, 0));
    }
}

TEST_F (ProcessorBlock, MutesAndSolos)
{
    for (int c = 12; c < 16; ++c)
        processor.channelMute[(size_t) c] = true;

    for (int c = 8; c < 12; ++c)
        processor.channelSolo[(size_t) c] = true;

    processor.channelMute[9] = true;
    processor.solosBypassed = true;

    struct Step { bool solosBypassed, mutesBypassed; std::function<bool (int)> silent; };
    const Step steps[] = { { true, false, [] (int c) { return c >= 12 || c == 9; } },
                           { false, false, [] (int c) { return c != 8 && c != 10 && c != 11; } },
                           { false, true, [] (int c) { return c < 8 || c > 11; } } };

    const auto input = makeNoise (16, 128);

    for (const auto& step : steps)
    {
        processor.solosBypassed = step.solosBypassed;
        processor.mutesBypassed = step.mutesBypassed;
        const auto output = processed (input);

        for (int c = 0; c < 16; ++c)
            EXPECT_EQ (isSilent (output, c), step.silent (c)) << c;
    }

    // A soloed set that leaves out channel 4 silences its bass sum too.
    processor.channelBassManaged[5] = true;
    EXPECT_TRUE (isSilent (processed (input), 3));
}

TEST_F (ProcessorBlock, BassManagementFeedsChannel4TheLowPassedAverage)
{
    manageBass();
    juce::IIRFilter highPass[16], lowPass;

    for (int c = 0; c < 16; ++c)
        highPass[c].setCoefficients (processor.crossoverFilters[(size_t) c]->getCoefficients());

    lowPass.setCoefficients (processor.crossoverFilters[16]->getCoefficients());

    // Channel 5 sits out the middle block: its filter must resume where it left off.
    for (int block = 0; block < 3; ++block)
    {
        processor.channelBassManaged[4] = block != 1;
        const auto input = makeNoise (16, 300, 0.5f, 10 + block);
        auto expected = input;
        std::vector<float> sum (300, 0.0f);
        int count = 0;

        for (int c = 4; c <= 11; ++c)
        {
            if (c == 4 && block == 1)
                continue;

            highPass[c].processSamples (expected.getWritePointer (c), 300);

            for (int i = 0; i < 300; ++i)
                sum[(size_t) i] += expected.getSample (c, i);

            ++count;
        }

        lowPass.processSamples (sum.data(), 300);

        for (int i = 0; i < 300; ++i)
            expected.getWritePointer (3)[i] += sum[(size_t) i] / (float) count;

        EXPECT_TRUE (identical (processed (input), expected)) << "block " << block;
    }
}

TEST_F (ProcessorBlock, BassLampFollowsTheAveragedSumAndRingsOutWhenBypassed)
{
    manageBass();

    // A quiet sum is still added to channel 4, but does not light the lamp.
    const auto quiet = makeSine (4800, 0.005f);
    const auto quietOut = processed (quiet);
    EXPECT_FALSE (processor.bassSignalPresent.load());
    float added = 0.0f;

    for (int i = 0; i < 4800; ++i)
        added = std::max (added, std::abs (quietOut.getSample (3, i) - quiet.getSample (3, i)));

    EXPECT_GT (added, 0.0f);

    processed (makeSine (4800, 0.5f));
    EXPECT_TRUE (processor.bassSignalPresent.load());

    // Bypassed: nothing reaches channel 4, and the lamp stays lit only while the low-pass rings out.
    processor.bassManagementBypassed = true;
    const auto silence = makeSine (512, 0.0f);
    EXPECT_TRUE (isSilent (processed (silence), 3));
    EXPECT_TRUE (processor.bassSignalPresent.load());

    for (int blocks = 0; processor.bassSignalPresent.load() && blocks < 200; ++blocks)
        EXPECT_TRUE (isSilent (processed (silence), 3));

    EXPECT_FALSE (processor.bassSignalPresent.load());
}

TEST_F (ProcessorBlock, PairLampComparesChannels9To12WithTheirNeighbours)
{
    const auto sine = makeSine (64, 0.5f, 1000.0);

    auto differs = [&] (int channel, int sample, float difference)
    {
        auto buffer = sine;
        buffer.setSample (channel, sample, buffer.getSample (channel, sample) + difference);
        processed (buffer);
        return processor.channelPairsDiffer.load();
    };

    EXPECT_FALSE (differs (0, 0, 0.0f));
    EXPECT_TRUE (differs (9, 17, 0.00011f));
    EXPECT_TRUE (differs (11, 17, -0.00011f));
    EXPECT_TRUE (differs (8, 17, 0.00011f));
    EXPECT_TRUE (differs (10, 17, 0.5f));
    EXPECT_FALSE (differs (7, 17, 0.5f));

    // The float 0.0001 lies just below the double threshold; a NaN difference never counts.
    auto edge = makeSine (64, 0.0f);
    edge.setSample (9, 3, 0.0001f);
    edge.setSample (10, 5, std::numeric_limits<float>::quiet_NaN());
    processed (edge);
    EXPECT_FALSE (processor.channelPairsDiffer.load());

    edge.setSample (11, 40, std::nextafter (0.0001f, 1.0f));
    processed (edge);
    EXPECT_TRUE (processor.channelPairsDiffer.load());

    // Outputs without an input are cleared before the comparison.
    configure (processor, 0, 16);
    const auto output = processed (makeNoise (16, 128));
    EXPECT_FALSE (processor.channelPairsDiffer.load());

    for (int c = 0; c < 16; ++c)
        EXPECT_TRUE (isSilent (output, c)) << c;
}

TEST_F (ProcessorBlock, PeaksComeFromTheFinishedOutputAndOnlyGrow)
{
    setNormalised (processor, "gain", 2.0f / 3.0f);
    processor.channelMute[2] = true;
    processor.peakLevels[5] = 10.0f;

    auto input = makeNoise (16, 512);
    input.setSample (0, 100, std::numeric_limits<float>::quiet_NaN());
    const auto output = processed (input);

    for (int c = 0; c < 16; ++c)
    {
        float expected = 0.0f;

        for (int i = 0; i < 512; ++i)
            expected = std::max (expected, std::abs (output.getSample (c, i)));

        EXPECT_EQ (processor.peakLevels[(size_t) c].load(), c == 5 ? 10.0f : expected) << c;
    }

    EXPECT_EQ (processor.peakLevels[2].load(), 0.0f);
    EXPECT_GT (processor.peakLevels[0].load(), 0.0f);
    EXPECT_LT (processor.peakLevels[0].load(), 0.051f);
}

//==============================================================================
namespace
{
/** Every step active: bass management (channel 4 included), dim, mutes and solos. */
void switchEverythingOn (Processor& processor)
{
    for (size_t c = 0; c < 16; ++c)
    {
        processor.channelBassManaged[c] = c >= 3 && c <= 11;
        processor.channelMute[c] = c >= 14;
        processor.channelSolo[c] = c != 7;
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

    auto source = makeNoise (16, 9999);
    std::vector<std::unique_ptr<juce::AudioBuffer<float>>> blocks;

    for (int round = 0; round < 8; ++round)
        for (auto size : { 0, 1, 3, 17, 63, 64, 511, 512, 513, 1023, 4095, 4097, 9999 })
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

    for (bool managesChannel4 : { false, true })
    {
        Processor small, large;
        configure (small);
        configure (large);
        small.prepareToPlay (48000.0, 64);
        large.prepareToPlay (48000.0, length);
        small.channelBassManaged[3] = large.channelBassManaged[3] = managesChannel4;

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

            for (size_t c = 0; c < 16; ++c)
                EXPECT_EQ (small.peakLevels[c].load(), large.peakLevels[c].load());
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
            const auto numBusChannels = narrowProcessor ? numBufferChannels : 16;
            configure (processor, numBusChannels, numBusChannels);
            processor.prepareToPlay (48000.0, 256);
            switchEverythingOn (processor);
            processor.peakLevels[0] = 0.25f;

            auto buffer = makeNoise (numBufferChannels, 256);
            process (processor, buffer);

            // Peaks are measured only with all 16 channels there.
            EXPECT_EQ (processor.peakLevels[0].load(), 0.25f);

            if (numBufferChannels <= Processor::bassTargetChannel)
                EXPECT_FALSE (processor.bassSignalPresent.load());
        }
    }

    // Fewer than 16 outputs: a 16-channel buffer leaves the peaks alone too.
    Processor stereo;
    configure (stereo, 2, 2);
    auto wide = makeNoise (16, 64);
    process (stereo, wide);
    EXPECT_EQ (stereo.peakLevels[0].load(), 0.0f);

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
