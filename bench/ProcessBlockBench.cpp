// processBlock on 16 channels at 48 kHz with the editor's default switches
// (8 bass-managed channels), beside its floor: the same 9 filter passes
// (8 high-pass, 1 low-pass) run bare over the same buffers.

#include "PluginProcessor.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <vector>

namespace
{
constexpr double sampleRate = 48000.0;
constexpr int numChannels = 16;

juce::AudioBuffer<float> makeNoise (int numSamples)
{
    juce::AudioBuffer<float> buffer (numChannels, numSamples);
    juce::Random random (42);

    for (int c = 0; c < numChannels; ++c)
        for (int i = 0; i < numSamples; ++i)
            buffer.setSample (c, i, 0.5f * (2.0f * random.nextFloat() - 1.0f));

    return buffer;
}

/** Runs the body once per iteration and reports the time per block as a
    percentage of the block's real-time duration ("pct_of_block"). */
template <typename Body>
void runBlocks (benchmark::State& state, int blockSize, Body&& body)
{
    const juce::ScopedNoDenormals noDenormals; // as the host's player runs the processor
    const auto start = std::chrono::steady_clock::now();

    for (auto _ : state)
    {
        body();
        benchmark::ClobberMemory();
    }

    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    const auto blockSeconds = blockSize / sampleRate;
    state.counters["pct_of_block"] = 100.0 * elapsed.count() / ((double) state.iterations() * blockSeconds);
}

void processBlock (benchmark::State& state)
{
    const auto blockSize = (int) state.range (0);

    JuceDemoPluginAudioProcessor processor;
    juce::AudioProcessor::BusesLayout layout;
    layout.inputBuses.add (juce::AudioChannelSet::discreteChannels (numChannels));
    layout.outputBuses.add (juce::AudioChannelSet::discreteChannels (numChannels));
    processor.setBusesLayout (layout);
    processor.setRateAndBufferSizeDetails (sampleRate, blockSize);
    processor.prepareToPlay (sampleRate, blockSize);

    auto buffer = makeNoise (blockSize);
    juce::MidiBuffer midi;

    runBlocks (state, blockSize, [&] { processor.processBlock (buffer, midi); });
}

void filterFloor (benchmark::State& state)
{
    const auto blockSize = (int) state.range (0);

    JuceDemoPluginAudioProcessor processor;
    processor.updateFilterCoeffs (sampleRate);
    juce::IIRFilter highPass[8], lowPass;

    for (auto& filter : highPass)
        filter.setCoefficients (processor.crossoverFilters[4]->getCoefficients());

    lowPass.setCoefficients (processor.crossoverFilters[16]->getCoefficients());

    auto buffer = makeNoise (blockSize);
    std::vector<float> sum ((size_t) blockSize, 0.0f);

    runBlocks (state, blockSize, [&] {
        for (int f = 0; f < 8; ++f)
            highPass[f].processSamples (buffer.getWritePointer (4 + f), blockSize);

        lowPass.processSamples (sum.data(), blockSize);
    });
}
} // namespace

BENCHMARK (processBlock)->Arg (64)->Arg (512)->Arg (4096);
BENCHMARK (filterFloor)->Arg (64)->Arg (512)->Arg (4096);

int main (int argc, char** argv)
{
    // The processor's timers need the message manager.
    const juce::ScopedJuceInitialiser_GUI juce;

    benchmark::Initialize (&argc, argv);

    if (benchmark::ReportUnrecognizedArguments (argc, argv))
        return 1;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
