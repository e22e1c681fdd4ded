#include "ProcessorTestHelpers.h"
#include <gtest/gtest.h>
#include <cmath>
#include <limits>
#include <set>

using namespace tarrowby::test;

namespace
{
const auto notANumber = std::numeric_limits<float>::quiet_NaN();
/** A prepared 16-channel processor at unity level, solos applied, every switch off but the given channels' bass management. */
std::unique_ptr<Processor> makeProcessor (const std::set<size_t>& managed = {})
{
    auto processor = std::make_unique<Processor>();
    configure (*processor);
    processor->prepareToPlay (48000.0, 512);
    processor->solosBypassed = false;
    for (size_t c = 0; c < 16; ++c)
    {
        processor->channelMute[c] = processor->channelSolo[c] = false;
        processor->channelBassManaged[c] = managed.count (c) > 0;
    }
    return processor;
}
/** A sine of the given frequency on every channel, or deterministic noise in [-amplitude, amplitude) when the frequency is 0. */
juce::AudioBuffer<float> makeSignal (int numChannels, int numSamples, float amplitude, double frequency = 0.0)
{
    juce::AudioBuffer<float> buffer (numChannels, numSamples);
    juce::Random random (1);
    for (int c = 0; c < numChannels; ++c)
        for (int i = 0; i < numSamples; ++i)
            buffer.setSample (c, i, amplitude * (frequency > 0.0 ? (float) std::sin (juce::MathConstants<double>::twoPi * frequency * i / 48000.0) : 2.0f * random.nextFloat() - 1.0f));
    return buffer;
}
bool isSilent (const juce::AudioBuffer<float>& buffer, int channel) { return buffer.findMinMax (channel, 0, buffer.getNumSamples()) == juce::Range<float>(); }
struct ProcessorBlock : ::testing::Test
{
    std::unique_ptr<Processor> holder = makeProcessor();
    Processor& processor = *holder;
};
} // namespace

TEST_F (ProcessorBlock, MasterLevelDimAndCutAddUpAndAnyNonZeroValueCountsAsOn)
{
    // -60 dB, Dim at 0.3 and Cut at 0.5: -200 dB, an attenuation rather than silence.
    setNormalised (processor, "gain", 0.0f);
    setNormalised (processor, "dim", 0.3f);
    setNormalised (processor, "mute", 0.5f);
    const auto input = makeSignal (16, 256, 0.5f);
    const auto output = processed (processor, input);
    for (int c = 0; c < 16; ++c)
        for (int i = 0; i < 256; ++i)
            ASSERT_LE (std::abs (output.getSample (c, i) - input.getSample (c, i) * 1.0e-10), std::abs (input.getSample (c, i) * 1.0e-10) * 2.0e-5) << c << ", " << i;
}

TEST_F (ProcessorBlock, MutesAndSolos)
{
    for (size_t c = 8; c < 16; ++c)
        (c < 12 ? processor.channelSolo : processor.channelMute)[c] = true;
    processor.channelMute[9] = true;
    const auto input = makeSignal (16, 128, 0.5f);
    // Solos bypassed, mutes bypassed, the silent channels.
    const std::tuple<bool, bool, std::function<bool (int)>> steps[] = {
        { true, false, [] (int c) { return c >= 12 || c == 9; } },
        { false, false, [] (int c) { return c != 8 && c != 10 && c != 11; } },
        { false, true, [] (int c) { return c < 8 || c > 11; } },
    };
    for (const auto& [solosBypassed, mutesBypassed, silent] : steps)
    {
        processor.solosBypassed = solosBypassed;
        processor.mutesBypassed = mutesBypassed;
        const auto output = processed (processor, input);
        for (int c = 0; c < 16; ++c)
            EXPECT_EQ (isSilent (output, c), silent (c)) << c;
    }
}

TEST_F (ProcessorBlock, BassLampSeesTheAveragedSumAboveTheThresholdAndRingsOutWhenBypassed)
{
    // Channel 4, silent itself, carries the averaged sum that the lamp looks at.
    for (size_t c = 4; c < 12; ++c)
        processor.channelBassManaged[c] = true;
    auto sine = makeSignal (16, 4800, 0.5f, 80.0);
    sine.clear (3, 0, 4800);
    const auto sumPeak = processed (processor, sine).getMagnitude (3, 0, 4800);
    for (const auto [scale, lit] : { std::pair { 0.99f, false }, std::pair { 1.01f, true } })
    {
        auto fresh = makeProcessor ({ 4, 5, 6, 7, 8, 9, 10, 11 });
        processed (*fresh, makeSignal (16, 4800, 0.5f * scale * 0.01f / sumPeak, 80.0));
        EXPECT_EQ (fresh->bassSignalPresent.load(), lit) << scale;
    }
    // Bypassed: nothing reaches channel 4, and the lamp stays lit only while the low-pass rings out.
    processor.bassManagementBypassed = true;
    const auto silence = makeSignal (16, 512, 0.0f);
    EXPECT_TRUE (isSilent (processed (processor, silence), 3));
    EXPECT_TRUE (processor.bassSignalPresent.load());
    for (int blocks = 0; processor.bassSignalPresent.load() && blocks < 200; ++blocks)
        EXPECT_TRUE (isSilent (processed (processor, silence), 3));
    EXPECT_FALSE (processor.bassSignalPresent.load());
}

TEST (ProcessorBass, TheCrossoverIsSetForTheRateItIsPreparedAt)
{
    // 80 Hz at 30.72 kHz is 125 Hz at 48 kHz: the same filters, so the same samples out, the bass sum included.
    const auto input = makeSignal (16, 4800, 0.5f);
    juce::AudioBuffer<float> outputs[2];
    for (int i = 0; i < 2; ++i)
    {
        auto processor = makeProcessor ({ 4, 9, 11 });
        setNormalised (*processor, "balance", (float) i);
        processor->prepareToPlay (i == 0 ? 30720.0 : 48000.0, 512);
        outputs[i] = processed (*processor, input);
    }
    for (int c = 0; c < 16; ++c)
        for (int i = 0; i < 4800; ++i)
            ASSERT_NEAR (outputs[0].getSample (c, i), outputs[1].getSample (c, i), 1.0e-5f) << c << ", " << i;
}

TEST (ProcessorBass, Channel4AddsTheLowPassedAverageOfTheManagedChannelsDifferentAsTheyAre)
{
    // Noise, different on every channel. The filters are linear: the same output as from channel 4 managed alone carrying their mean.
    const auto input = makeSignal (16, 4800, 0.5f);
    auto meanInput = input;
    meanInput.clear (4, 0, 4800);
    for (const int c : { 4, 9, 11 })
        meanInput.addFrom (4, 0, input, c, 0, 4800, 1.0f / 3.0f);
    auto processor = makeProcessor ({ 4, 9, 11 });
    auto reference = makeProcessor ({ 4 });
    auto difference = processed (*processor, input);
    difference.addFrom (3, 0, processed (*reference, meanInput), 3, 0, 4800, -1.0f);
    EXPECT_LT (difference.getMagnitude (3, 0, 4800), 1.0e-4f); // the filters' rounding: 3e-5, on a bass part of 0.026
}

TEST_F (ProcessorBlock, PairLampComparesChannels10And12And9And11AsTheBlockArrives)
{
    // Channel, sample, difference added, lamp lit.
    const std::tuple<int, int, float, bool> cases[] = {
        { 0, 0, 0.0f, false },
        { 9, 17, 0.00011f, true },
        { 11, 17, -0.00011f, true },
        { 8, 17, 0.00011f, true },
        { 10, 17, 0.5f, true },
        { 7, 17, 0.5f, false },
        { 9, 3, 0.0001f, false }, // on silence: the float 0.0001 lies just below the double threshold
        { 9, 3, std::nextafter (0.0001f, 1.0f), true },
        { 10, 5, notANumber, false },
    };
    for (const auto& [channel, sample, difference, differs] : cases)
    {
        auto buffer = makeSignal (16, 64, sample == 3 ? 0.0f : 0.5f, 1000.0);
        buffer.setSample (channel, sample, buffer.getSample (channel, sample) + difference);
        processed (processor, buffer);
        EXPECT_EQ (processor.channelPairsDiffer.load(), differs) << channel << ", " << difference;
    }
    // Outputs without an input are cleared before the comparison; a buffer narrower than the bus is read no further (ASan watches).
    configure (processor, 0, 16);
    const auto cleared = processed (processor, makeSignal (12, 128, 0.5f));
    EXPECT_FALSE (processor.channelPairsDiffer.load());
    for (int c = 0; c < 12; ++c)
        EXPECT_TRUE (isSilent (cleared, c)) << c;
    // An offset far below the crossover, which the bass management's high-pass takes out.
    configure (processor);
    for (size_t c = 8; c < 12; ++c)
        processor.channelBassManaged[c] = true;
    for (int channel : { 9, 8 })
    {
        for (int block = 0; block < 20; ++block)
        {
            auto buffer = makeSignal (16, 512, 0.0f);
            juce::FloatVectorOperations::fill (buffer.getWritePointer (channel), 0.01f, 512);
            processed (processor, buffer);
        }
        EXPECT_TRUE (processor.channelPairsDiffer.load()) << channel;
    }
}

TEST_F (ProcessorBlock, PeaksComeFromTheFinishedOutputAndOnlyGrow)
{
    setNormalised (processor, "gain", 2.0f / 3.0f);
    processor.channelMute[2] = true;
    processor.peakLevels[5] = 10.0f;
    auto input = makeSignal (16, 509, 0.5f);
    input.setSample (0, 100, notANumber);
    input.setSample (1, 508, notANumber); // past the last group of four
    auto output = processed (processor, input);
    output.setSample (0, 100, 0.0f);
    output.setSample (1, 508, 0.0f);
    for (int c = 0; c < 16; ++c)
        EXPECT_EQ (processor.peakLevels[(size_t) c].load(), c == 5 ? 10.0f : output.getMagnitude (c, 0, 509)) << c;
}
