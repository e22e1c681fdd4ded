// What a state of up to 1 MB costs, for the widest states the bounds allow: judged and taken (the
// processor's tree replaced), as a load does, then written again, as a save does.

#include "PluginProcessor.h"
#include "StateText.h"

#include <benchmark/benchmark.h>

namespace
{
const char* const kinds[] = { "one element, most attributes", "most distinct names", "most elements, most attributes",
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
        case 0: content = element (0, maximumAttributesPerElement, 100); break;
        case 1:
            for (int first = 0; first < maximumNames - 8; first += maximumAttributesPerElement)
                content += element (first, std::min (maximumAttributesPerElement, maximumNames - 8 - first));
            break;
        case 2:
            for (int i = 0; content.size() < (size_t) maximumSize - 2000 && i < maximumElements - 10; ++i)
                content += element (0, 300);
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
    JuceDemoPluginAudioProcessor processor;
    auto taken = false;

    for (auto _ : state)
    {
        taken = processor.takeState (bytes.getData(), (int) bytes.getSize()) == JuceDemoPluginAudioProcessor::StateReading::taken;
        juce::MemoryBlock written;
        processor.getStateInformation (written);
        benchmark::DoNotOptimize (written.getData());
    }

    state.SetBytesProcessed (state.iterations() * (juce::int64) bytes.getSize());
    state.SetLabel (std::string (kinds[state.range (0)]) + ", " + std::to_string (bytes.getSize() / 1024) + " kB" + (taken ? ", taken" : ", refused"));
}

BENCHMARK (takeState)->DenseRange (0, 3, 1)->Unit (benchmark::kMillisecond)->UseRealTime();
} // namespace

BENCHMARK_MAIN();
