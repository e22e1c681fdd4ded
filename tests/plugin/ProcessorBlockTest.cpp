#include "ProcessorTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
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

    juce::AudioBuffer<float> processed (const juce::AudioBuffer<float>& input)
    {
        auto output = input;
        process (processor, output);
        return output;
    }

    Processor processor;
};

juce::AudioBuffer<float> makeSine (int numChannels, int numSamples, float amplitude, double frequency = 80.0, int startSample = 0)
{
    juce::AudioBuffer<float> buffer (numChannels, numSamples);

    for (int c = 0; c < numChannels; ++c)
        for (int i = 0; i < numSamples; ++i)
            buffer.setSample (c, i, amplitude * (float) std::sin (juce::MathConstants<double>::twoPi * frequency * (startSample + i) / 48000.0));

    return buffer;
}

bool isSilent (const juce::AudioBuffer<float>& buffer, int channel)
{
    return buffer.findMinMax (channel, 0, buffer.getNumSamples()) == juce::Range<float>();
}

bool sameChannel (const juce::AudioBuffer<float>& a, const juce::AudioBuffer<float>& b, int channel)
{
    for (int i = 0; i < a.getNumSamples(); ++i)
        if (a.getSample (channel, i) != b.getSample (channel, i))
            return false;
    return true;
}
} // namespace

TEST_F (ProcessorBlock, EmptyBlockTouchesOnlyTheLamps)
{
    processor.bassSignalPresent = true;
    processor.channelPairsDiffer = true;
    processor.peakLevels[0] = 0.5f;

    juce::AudioBuffer<float> empty (16, 0);
    juce::MidiBuffer midi;
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, 0.5f), 3);
    const auto midiBefore = midi;
    processor.processBlock (empty, midi);

    EXPECT_FALSE (processor.bassSignalPresent.load());
    EXPECT_FALSE (processor.channelPairsDiffer.load());
    EXPECT_EQ (processor.peakLevels[0].load(), 0.5f);
    EXPECT_EQ (processor.peakLevels[1].load(), 0.0f);
    ASSERT_EQ (midi.getNumEvents(), 1);
    EXPECT_EQ (midi.data, midiBefore.data);
}

TEST_F (ProcessorBlock, MasterLevelWithDimAndCut)
{
    struct Case { float gain, dim, mute; double factor; };
    const Case cases[] = { { 1.0f, 0.0f, 0.0f, 1.0 },
                           { 2.0f / 3.0f, 0.0f, 0.0f, 0.1 },
                           { 2.0f / 3.0f, 1.0f, 0.0f, 0.01 },
                           { 1.0f, 0.0f, 1.0f, 1.0e-6 },
                           { 0.0f, 0.3f, 0.5f, 1.0e-10 } }; // any non-zero value counts as on

    const auto input = makeNoise (16, 256);

    for (const auto& k : cases)
    {
        setNormalised (processor, "gain", k.gain);
        setNormalised (processor, "dim", k.dim);
        setNormalised (processor, "mute", k.mute);

        const float g = getNormalised (processor, "gain");
        float db = g * 60.0f + -60.0f;
        if (k.dim != 0.0f) db = db + -20.0f;
        if (k.mute != 0.0f) db = db + -120.0f;
        const auto lin = (float) std::pow (10.0, (double) db / 20.0);
        EXPECT_NEAR (lin, k.factor, k.factor * 1.0e-5);

        const auto output = processed (input);

        for (int c = 0; c < 16; ++c)
            for (int i = 0; i < 256; ++i)
                ASSERT_EQ (output.getSample (c, i), k.factor == 1.0 ? input.getSample (c, i) : input.getSample (c, i) * lin);

        EXPECT_FALSE (isSilent (output, 0)); // Cut attenuates, it does not clear
    }
}

TEST_F (ProcessorBlock, OutputsWithoutInputAreClearedBeforeTheComparison)
{
    configure (processor, 0, 16);
    auto input = makeNoise (16, 128);
    const auto output = processed (input);

    for (int c = 0; c < 16; ++c)
        EXPECT_TRUE (isSilent (output, c)) << c;

    EXPECT_FALSE (processor.channelPairsDiffer.load());
}

TEST_F (ProcessorBlock, ChannelPairComparison)
{
    auto blockWith = [] (int channel, float difference)
    {
        auto buffer = makeSine (16, 64, 0.5f, 1000.0);
        buffer.setSample (channel, 17, buffer.getSample (channel, 17) + difference);
        return buffer;
    };

    auto differs = [&] (const juce::AudioBuffer<float>& input)
    {
        processed (input);
        return processor.channelPairsDiffer.load();
    };

    EXPECT_FALSE (differs (makeSine (16, 64, 0.5f, 1000.0)));
    EXPECT_TRUE (differs (blockWith (9, 0.00011f)));
    EXPECT_TRUE (differs (blockWith (11, -0.00011f)));
    EXPECT_TRUE (differs (blockWith (8, 0.00011f)));
    EXPECT_TRUE (differs (blockWith (10, 0.5f)));
    EXPECT_FALSE (differs (blockWith (7, 0.5f)));

    // The float 0.0001 lies just below the double threshold; a NaN difference never counts.
    auto edge = makeSine (16, 64, 0.0f);
    edge.setSample (9, 3, 0.0001f);
    edge.setSample (10, 5, std::numeric_limits<float>::quiet_NaN());
    EXPECT_FALSE (differs (edge));

    edge.setSample (11, 40, std::nextafter (0.0001f, 1.0f));
    EXPECT_TRUE (differs (edge));
}

TEST_F (ProcessorBlock, BassManagementMatchesTheFilterChain)
{
    for (int c = 4; c <= 11; ++c)
        processor.channelBassManaged[(size_t) c] = true;

    juce::IIRFilter highPass[16], lowPass;
    for (int c = 0; c < 16; ++c)
        highPass[c].setCoefficients (processor.crossoverFilters[(size_t) c]->getCoefficients());
    lowPass.setCoefficients (processor.crossoverFilters[16]->getCoefficients());

    // Channel 4 sits out the middle block: its filter must resume where it left off.
    for (int block = 0; block < 3; ++block)
    {
        const bool channel4Managed = block != 1;
        processor.channelBassManaged[4] = channel4Managed;

        const auto input = makeNoise (16, 300, 0.5f, 10 + block);
        auto expected = input;
        std::vector<float> sum (300, 0.0f);
        int count = 0;

        for (int c = 4; c <= 11; ++c)
        {
            if (c == 4 && ! channel4Managed)
                continue;

            highPass[c].processSamples (expected.getWritePointer (c), 300);
            for (int i = 0; i < 300; ++i)
                sum[(size_t) i] = sum[(size_t) i] + expected.getSample (c, i);
            ++count;
        }

        lowPass.processSamples (sum.data(), 300);

        for (int i = 0; i < 300; ++i)
            expected.getWritePointer (3)[i] = expected.getSample (3, i) + sum[(size_t) i] / (float) count;

        EXPECT_TRUE (identical (processed (input), expected)) << "block " << block;
    }
}

TEST_F (ProcessorBlock, BassLampFollowsTheAveragedSum)
{
    for (int c = 4; c <= 11; ++c)
        processor.channelBassManaged[(size_t) c] = true;

    auto loud = makeSine (16, 4800, 0.5f);
    processed (loud);
    EXPECT_TRUE (processor.bassSignalPresent.load());

    // A quiet sum is still added to channel 3, but does not light the lamp.
    Processor quietProcessor;
    configure (quietProcessor);
    quietProcessor.prepareToPlay (48000.0, 512);
    clearSwitches (quietProcessor);
    for (int c = 4; c <= 11; ++c)
        quietProcessor.channelBassManaged[(size_t) c] = true;

    const auto quiet = makeSine (16, 4800, 0.005f);
    auto quietOut = quiet;
    process (quietProcessor, quietOut);
    EXPECT_FALSE (quietProcessor.bassSignalPresent.load());
    EXPECT_FALSE (sameChannel (quiet, quietOut, 3));

    // Bypassed: nothing reaches channel 3, and the lamp stays lit only while the low-pass rings out.
    processor.bassManagementBypassed = true;
    const auto silence = makeSine (16, 512, 0.0f);
    EXPECT_TRUE (isSilent (processed (silence), 3));
    EXPECT_TRUE (processor.bassSignalPresent.load());

    int blocks = 0;
    while (processor.bassSignalPresent.load() && blocks < 200)
    {
        EXPECT_TRUE (isSilent (processed (silence), 3));
        ++blocks;
    }

    EXPECT_FALSE (processor.bassSignalPresent.load());
}

TEST_F (ProcessorBlock, MutesAndSolos)
{
    for (int c = 12; c < 16; ++c)
        processor.channelMute[(size_t) c] = true;
    for (int c = 8; c < 12; ++c)
        processor.channelSolo[(size_t) c] = true;
    processor.channelMute[9] = true;
    processor.solosBypassed = true;

    const auto input = makeNoise (16, 128);

    auto output = processed (input);
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ (isSilent (output, c), c >= 12 || c == 9) << c;

    processor.solosBypassed = false;
    output = processed (input);
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ (isSilent (output, c), c != 8 && c != 10 && c != 11) << c;

    processor.mutesBypassed = true;
    output = processed (input);
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ (isSilent (output, c), c < 8 || c > 11) << c;

    // A soloed set that excludes channel 3 silences its bass sum too.
    processor.channelBassManaged[5] = true;
    EXPECT_TRUE (isSilent (processed (input), 3));
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
            if (std::abs (output.getSample (c, i)) > expected)
                expected = std::abs (output.getSample (c, i));

        EXPECT_EQ (processor.peakLevels[(size_t) c].load(), c == 5 ? 10.0f : expected) << c;
    }

    EXPECT_EQ (processor.peakLevels[2].load(), 0.0f);
    EXPECT_GT (processor.peakLevels[0].load(), 0.0f);
    EXPECT_LT (processor.peakLevels[0].load(), 0.051f);
}

TEST_F (ProcessorBlock, FewerThanSixteenOutputsLeavePeaksAlone)
{
    configure (processor, 2, 2);
    auto input = makeNoise (16, 64);
    processed (input);

    for (int c = 0; c < 16; ++c)
        EXPECT_EQ (processor.peakLevels[(size_t) c].load(), 0.0f);
}
