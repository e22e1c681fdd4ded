// The settings guard, per megabyte, on the worst settings files below the size cap for each
// kind of work the framework's reader does more than once per byte, and on one the program
// writes itself. Each is set aside, or kept, as it would be at start-up.

#include "UntrustedInput.h"

#include <benchmark/benchmark.h>

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

const char* const kinds[] = { "deep element-like value", "many character references", "many values",
                              "one huge value", "references without an end", "many attribute names",
                              "written by the program" };

juce::String makeSettings (juce::int64 kind, juce::int64 bytes)
{
    switch (kind)
    {
        case 0: return value (repeated ("&lt;a>", bytes));
        case 1: return value (repeated ("&#65;", bytes));
        case 2: return numbered ("<VALUE name=\"k", "\" val=\"v\"/>", bytes);
        case 3: return value (repeated ("x", bytes));
        case 4: return repeated ("&a", bytes);
        case 5: return "<VALUE" + numbered (" a", "=\"\"", bytes) + "/>";
        default: return "<VALUE name=\"lastStateFile\" val=\"/home/me/x&lt;a&lt;?b.state\"/><VALUE name=\"filterState\" val=\"" + repeated ("A", bytes) + "\"/>";
    }
}

void guardSettings (benchmark::State& state)
{
    const auto text = "<PROPERTIES>" + makeSettings (state.range (0), state.range (1)) + "</PROPERTIES>";
    const auto folder = juce::File::createTempFile ("settings-guard");
    const auto file = folder.getChildFile ("Tarrowby.settings");
    const auto aside = file.getSiblingFile (file.getFileName() + ".unreadable");
    folder.createDirectory();
    file.replaceWithText (text);
    auto kept = false;

    for (auto _ : state)
    {
        kept = UntrustedInput::setAsideUnreadableSettingsFile (file) == UntrustedInput::SettingsFileCheck::readable;

        state.PauseTiming();
        aside.moveFileTo (file);
        state.ResumeTiming();
    }

    folder.deleteRecursively();
    state.SetBytesProcessed (state.iterations() * (juce::int64) text.getNumBytesAsUTF8());
    state.SetLabel ((juce::String (kinds[state.range (0)]) + (kept ? ", kept" : ", set aside")).toStdString());
}

BENCHMARK (guardSettings)
    ->ArgsProduct ({ benchmark::CreateDenseRange (0, 6, 1), { 1 << 18, 1 << 19, 1 << 20, 1 << 21, (4 << 20) - 64 } })
    ->Unit (benchmark::kMillisecond)
    ->UseRealTime();
} // namespace

BENCHMARK_MAIN();
