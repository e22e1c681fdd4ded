// What a load of a state of up to 1 MB costs, for the widest states the bounds allow: judged, and
// taken (a new processor's tree replaced).

#include "PluginProcessor.h"
#include "StateText.h"

#include <benchmark/benchmark.h>

namespace
{
const char* const kinds[] = { "one element, most attributes", "most distinct names", "most elements of many attributes",
                              "most elements nested" };

/** An element of so many attributes, named from the first number on, each value so long. */
std::string element (int firstName, int numAttributes, size_t valueLength = 0)
{
    std::string text = "<n";

    for (int i = 0; i < numAttributes; ++i)
        text += " a" + std::to_string (firstName + i) + "=\"" + std::string (valueLength, 'v') + "\"";

    return text + "/>";
}

std::string makeStateText (juce::int64 kind)
{
    using namespace guards::StateText;
    std::string content;

    switch (kind)
    {
        case 0: content = element (0, maximumAttributesPerElement - 1, 100); break;
        case 1:
            // Elements of 2048 attributes, named apart: their squares add up to less than the bound.
            for (int first = 0; first < maximumNames - 8; first += 2048)
                content += element (first, std::min (2048, maximumNames - 8 - first));
            break;
        case 2:
            for (int i = 0; i < maximumElements - 10; ++i)
                content += element (0, 140);
            break;
        default:
            for (int i = 0; i < maximumElements - 10; ++i)
                content = "<n a=\"" + std::to_string (i) + "\">" + content + "</n>";
            break;
    }

    return "<state>" + content + "</state>";
}

void takeState (benchmark::State& state)
{
    const auto text = makeStateText (state.range (0));
    juce::MemoryBlock bytes;
    juce::MemoryOutputStream out (bytes, false);
    out.write ("VC2!", 4);
    out.writeInt ((int) text.size());
    out.write (text.data(), text.size());
    out.writeByte (0);
    out.flush();
    auto taken = false;

    for (auto _ : state)
    {
        state.PauseTiming();
        auto processor = std::make_unique<JuceDemoPluginAudioProcessor>();
        state.ResumeTiming();

        taken = processor->takeState (bytes.getData(), (int) bytes.getSize()) == JuceDemoPluginAudioProcessor::StateReading::taken;

        state.PauseTiming();
        processor = nullptr;
        state.ResumeTiming();
    }

    state.SetBytesProcessed (state.iterations() * (juce::int64) bytes.getSize());
    state.SetLabel (std::string (kinds[state.range (0)]) + ", " + std::to_string (bytes.getSize() / 1024) + " kB" + (taken ? ", taken" : ", refused"));
}

BENCHMARK (takeState)->DenseRange (0, 3, 1)->Unit (benchmark::kMillisecond)->UseRealTime();
} // namespace

BENCHMARK_MAIN();
