#include "ProcessorTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace tarrowby::test;

namespace
{
juce::IIRCoefficients coefficientsOf (const Processor& processor, int index)
{
    return processor.crossoverFilters[(size_t) index]->getCoefficients();
}

void expectSameCoefficients (const juce::IIRCoefficients& a, const juce::IIRCoefficients& b)
{
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ (a.coefficients[i], b.coefficients[i]) << "coefficient " << i;
}

void expectNear (const juce::IIRCoefficients& actual, std::initializer_list<double> expected, double relative)
{
    int i = 0;
    for (auto e : expected)
    {
        EXPECT_NEAR (actual.coefficients[i], e, std::abs (e) * relative) << "coefficient " << i;
        ++i;
    }
}
} // namespace

TEST (ProcessorFilters, WorkedExampleAt48kHz)
{
    Processor processor;
    processor.prepareToPlay (48000.0, 12345);

    const auto highPass = coefficientsOf (processor, 0);
    expectNear (highPass, { 0.996284, -1.992568, 0.996284, -1.992513, 0.992623 }, 1.0e-6);
    expectNear (coefficientsOf (processor, Processor::lowPassFilterIndex),
                { 2.73142e-5, 5.46284e-5, 2.73142e-5, -1.992513, 0.992623 }, 1.0e-5);

    for (int c = 1; c < Processor::numChannels; ++c)
        expectSameCoefficients (coefficientsOf (processor, c), highPass);

    // b1 is exactly -2 b0, so a constant input decays to nothing.
    EXPECT_EQ (highPass.coefficients[0] + highPass.coefficients[1] + highPass.coefficients[2], 0.0f);

    const auto lowPass = coefficientsOf (processor, Processor::lowPassFilterIndex);
    const auto* lp = lowPass.coefficients;
    const double dcGain = ((double) lp[0] + lp[1] + lp[2]) / (1.0 + lp[3] + lp[4]);
    EXPECT_NEAR (dcGain, 1.0, 2.0e-3);

    // The block size given to prepareToPlay has no effect.
    Processor other;
    other.prepareToPlay (48000.0, 64);
    expectSameCoefficients (coefficientsOf (other, 0), highPass);
}

TEST (ProcessorFilters, CrossoverSpansEightyTo125Hz)
{
    const double sqrt2f = (double) std::sqrt (2.0f);

    for (auto [normalised, frequency] : { std::pair { 0.0f, 80.0 }, std::pair { 1.0f, 125.0 } })
    {
        Processor processor;
        setNormalised (processor, "balance", normalised);
        processor.updateFilterCoeffs (44100.0);

        for (auto [index, expected] : { std::pair { 5, juce::IIRCoefficients::makeHighPass (44100.0, frequency, sqrt2f) },
                                        std::pair { Processor::lowPassFilterIndex, juce::IIRCoefficients::makeLowPass (44100.0, frequency, sqrt2f) } })
        {
            const auto* e = expected.coefficients;
            expectNear (coefficientsOf (processor, index), { e[0], e[1], e[2], e[3], e[4] }, 1.0e-5);
        }
    }
}

TEST (ProcessorFilters, RecomputingKeepsCoefficientsAndFilterState)
{
    Processor processor;
    processor.updateFilterCoeffs (48000.0);
    const auto before = coefficientsOf (processor, 0);

    auto signal = makeNoise (1, 1024);
    auto expected = signal;
    juce::IIRFilter reference;
    reference.setCoefficients (before);
    reference.processSamples (expected.getWritePointer (0), 512);
    reference.processSamples (expected.getWritePointer (0) + 512, 512);

    auto& filter = *processor.crossoverFilters[0];
    filter.processSamples (signal.getWritePointer (0), 512);
    processor.updateFilterCoeffs (48000.0);
    filter.processSamples (signal.getWritePointer (0) + 512, 512);

    expectSameCoefficients (coefficientsOf (processor, 0), before);
    EXPECT_TRUE (identical (signal, expected));
}

TEST (ProcessorFilters, RatesWithoutAStableFilterChangeNothing)
{
    Processor processor;

    for (double rate : { 0.0, -48000.0, 100.0, std::nan (""), HUGE_VAL })
    {
        processor.updateFilterCoeffs (rate);
        expectSameCoefficients (coefficientsOf (processor, 0), {});
        expectSameCoefficients (coefficientsOf (processor, Processor::lowPassFilterIndex), {});
    }

    float samples[] = { 0.5f, 0.25f };
    processor.crossoverFilters[0]->processSamples (samples, 2);
    EXPECT_EQ (samples[0], 0.5f); // still inactive
}
