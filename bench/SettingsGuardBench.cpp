// What start-up spends on a settings file, per megabyte, for the worst files below the size cap:
// taking it value by value and writing what is taken in its place, and the framework's reader too.

#include "SettingsFile.h"

#include <benchmark/benchmark.h>
#include <juce_data_structures/juce_data_structures.h>

namespace
{
juce::String repeated (const char* text, juce::int64 bytes)
{
    return juce::String::repeatedString (text, (int) (bytes / (juce::int64) std::strlen (text)));
}

juce::String numbered (const char* before, const char* after, juce::int64 bytes)
{
    juce::MemoryOutputStream result;

    for (int i = 0; (juce::int64) result.getDataSize() < bytes; ++i)
        result << before << i << after;

    return result.toUTF8();
}

juce::String value (const juce::String& escapedText)
{
    return "<VALUE name=\"a\" val=\"" + escapedText + "\"/>";
}

juce::String deviceSetup (const juce::String& content)
{
    return "<VALUE name=\"audioSetup\">" + content + "</VALUE>";
}

const char* const kinds[] = { "element-like value", "character references", "many values", "channel mask",
                              "long tag, wrapped attributes", "many attribute names", "deep nesting",
                              "largest state and a comment" };

juce::String makeSettings (juce::int64 kind, juce::int64 bytes)
{
    switch (kind)
    {
        case 0: return value (repeated ("&lt;a>", bytes));
        case 1: return value (repeated ("&#65;", bytes));
        case 2: return numbered ("<VALUE name=\"k", "\" val=\"v\"/>", bytes);
        case 3: return deviceSetup ("<DEVICESETUP audioDeviceInChans=\"" + repeated ("1", bytes) + "\"/>");
        case 4: return deviceSetup ("<" + repeated ("a", 8192) + numbered (" a", "=\"\"", bytes) + "/>");
        case 5: return "<VALUE" + numbered (" a", "=\"\"", bytes) + "/>";
        case 6: return repeated ("<VALUE>", bytes);
        default:
        {
            // Kept: the program's largest state, and the rest of the size in a comment.
            const auto state = "<VALUE name=\"filterState\" val=\"" + juce::MemoryBlock ((size_t) juce::jmin ((juce::int64) 1 << 20, bytes / 2), true).toBase64Encoding() + "\"/>";
            return state + "<!--" + repeated ("x", bytes - (juce::int64) state.length()) + "-->";
        }
    }
}

void readSettingsAtStart (benchmark::State& state)
{
    using Outcome = guards::SettingsFile::Preparation::Outcome;
    const auto text = "<PROPERTIES>" + makeSettings (state.range (0), state.range (1)) + "</PROPERTIES>";
    const auto folder = juce::File::createTempFile ("settings-guard");
    const auto file = folder.getChildFile ("Tarrowby.settings");
    folder.createDirectory();
    auto outcome = Outcome::unchanged;

    for (auto _ : state)
    {
        state.PauseTiming();
        file.replaceWithText (text);
        state.ResumeTiming();

        const auto prepared = guards::SettingsFile::prepare (file);
        outcome = prepared.outcome;

        if (outcome != Outcome::setAside)
            benchmark::DoNotOptimize (juce::PropertiesFile (file, {}).isValidFile());

        state.PauseTiming();
        prepared.keptAside.deleteFile();
        state.ResumeTiming();
    }

    folder.deleteRecursively();
    state.SetBytesProcessed (state.iterations() * (juce::int64) text.getNumBytesAsUTF8());
    const char* const outcomes[] = { "kept", "rewritten", "set aside", "left", "not rewritten" };
    state.SetLabel ((juce::String (kinds[state.range (0)]) + ", " + outcomes[(int) outcome]).toStdString());
}

BENCHMARK (readSettingsAtStart)
    ->ArgsProduct ({ benchmark::CreateDenseRange (0, 7, 1), { 1 << 18, 1 << 19, 1 << 20, 1 << 21, (4 << 20) - 64 } })
    ->Unit (benchmark::kMillisecond)
    ->UseRealTime();
} // namespace

BENCHMARK_MAIN();
