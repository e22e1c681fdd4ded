// Inputs found by fuzzing the state bytes and the settings file, each of which
// once crashed, hung, corrupted a saved state or raised a framework assertion.
#include "HostTestSupport.h"
#include "ProcessorTestHelpers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>

using namespace tarrowby::test;

namespace
{
juce::MemoryBlock envelope (const std::string& text)
{
    juce::MemoryOutputStream out;
    out.write ("VC2!", 4);
    out.writeInt ((int) text.size());
    out.write (text.data(), text.size());
    out.writeByte (0);
    return out.getMemoryBlock();
}

juce::MemoryBlock stateOf (Processor& processor)
{
    juce::MemoryBlock bytes;
    processor.getStateInformation (bytes);
    return bytes;
}

/** The XML text of state bytes. */
juce::String textOf (const juce::MemoryBlock& bytes)
{
    return juce::String::fromUTF8 (static_cast<const char*> (bytes.getData()) + 8, (int) bytes.getSize() - 9);
}

void load (Processor& processor, const juce::MemoryBlock& bytes)
{
    processor.setStateInformation (bytes.getData(), (int) bytes.getSize());
}

/** Runs the call here, with a watchdog that fails the test and ends the program if it has not returned in time. */
template <typename Call>
void runWithin (int timeoutMs, Call&& call)
{
    std::promise<void> returned;
    auto watchdog = std::async (std::launch::async, [&, future = returned.get_future()]
    {
        if (future.wait_for (std::chrono::milliseconds (timeoutMs)) != std::future_status::ready)
        {
            std::fprintf (stderr, "A call did not return within %d ms: it hangs. Ending the test program.\n", timeoutMs);
            std::fflush (stderr);
            std::abort();
        }
    });

    call();
    returned.set_value();
    watchdog.get();
}

/** Loads the bytes into a processor whose gain is at -30 dB and checks that nothing changed. */
void expectIgnored (const juce::MemoryBlock& bytes)
{
    Processor processor;
    setNormalised (processor, "gain", 0.5f);
    const auto before = stateOf (processor);

    load (processor, bytes);

    EXPECT_EQ (stateOf (processor), before);
    EXPECT_EQ (getNormalised (processor, "gain"), 0.5f);
}
} // namespace

TEST (HostileState, TextBetweenElementsIsDroppedAndTheRestLoaded)
{
    Processor processor;
    load (processor, envelope ("<state>loose <PARAM id=\"gain\" value=\"-20\">inner</PARAM> text</state>"));

    EXPECT_FLOAT_EQ (getNormalised (processor, "gain"), 40.0f / 60.0f);
    EXPECT_EQ (textOf (stateOf (processor)).indexOf ("text"), -1);
}

TEST (HostileState, TextThatIsNotUtf8IsIgnoredWithoutReadingPastIt)
{
    // The parser counts a broken sequence's bytes one way and steps over them another, and
    // so ran past the end of the text: at the very end, or after skipping a closing quote.
    for (const std::string text : { "<state><PARAM id=\"gain\" value=\"-2\xd3", "<state/>\xe2\x82",
                                    "<state><PARAM id=\"gain\" value=\"-20\"/><x a=\"\xc3z\"/></state>",
                                    "<state>\xf0</state>",
                                    // An overlong form of "A" in a name: read, but written back as something unreadable.
                                    "<state><PAR\xc1\x81 id=\"dim\"/></state>" })
        expectIgnored (envelope (text));
}

TEST (HostileState, RepeatedAttributesAreIgnoredSoWhatIsSavedIsWhatWasLoaded)
{
    // With two values for one parameter, the tree used one and wrote back the other.
    expectIgnored (envelope ("<state><PARAM id=\"balance\" value=\"103.5\" value=\"-20\"/></state>"));
    expectIgnored (envelope ("<state><PARAM id=\"gain\" value=\"-20\" base64:value=\"4.AAAAAA\"/></state>"));

    // One value each: what the processor saves reads back into the same processor.
    Processor processor;
    load (processor, envelope ("<state><PARAM id=\"balance\" value=\"103.5\"/><x v=\"1\" w=\"1\"/></state>"));
    Processor reloaded;
    const auto saved = stateOf (processor);
    load (reloaded, saved);
    EXPECT_EQ (getNormalised (reloaded, "balance"), getNormalised (processor, "balance"));
    EXPECT_EQ (stateOf (reloaded), saved);
}

TEST (HostileState, BinaryAttributesWithImpossibleSizesAreIgnored)
{
    // The framework sizes the memory from the count before the ".": negative, huge, or more than the text holds.
    for (const std::string value : { "-5.AAA", "2000000000.A", "99999999999999999999.AAAA", "+3.AAAA", "9.AAAA" })
        expectIgnored (envelope ("<state><x base64:y=\"" + value + "\"/><PARAM id=\"gain\" value=\"0\"/></state>"));

    Processor processor;
    load (processor, envelope ("<state><x base64:y=\"3.gI1X\"/></state>"));
    EXPECT_NE (textOf (stateOf (processor)).indexOf ("base64:y=\"3.gI1X\""), -1);
}

TEST (HostileState, AProcessingInstructionAmongTheContentIsIgnoredInsteadOfHanging)
{
    runWithin (10000, [] { expectIgnored (envelope ("<state><?pi?>x<PARAM id=\"gain\" value=\"0\"/></state>")); });

    // One before the root element, like the declaration, is fine.
    Processor processor;
    load (processor, envelope ("<?xml version=\"1.0\"?> <?other?> <state><PARAM id=\"gain\" value=\"-20\"/></state>"));
    EXPECT_FLOAT_EQ (getNormalised (processor, "gain"), 40.0f / 60.0f);
}

TEST (HostileState, AValueThatIsNotANumberKeepsTheParameterAsItWas)
{
    for (const auto* text : { "nan", "NaN", "-nan" })
    {
        Processor processor;
        setNormalised (processor, "gain", 0.5f);
        load (processor, envelope (std::string ("<state><PARAM id=\"gain\" value=\"") + text + "\"/><PARAM id=\"dim\" value=\"1\"/></state>"));

        EXPECT_EQ (getNormalised (processor, "gain"), 0.5f) << text;
        EXPECT_EQ (getNormalised (processor, "dim"), 1.0f) << text;

        for (auto* parameter : processor.getParameters())
            EXPECT_TRUE (std::isfinite (parameter->getValue())) << text;
    }
}

//==============================================================================
TEST (HostileSettings, AnAudioSetupTheParserCantTakeSafelyCountsAsAbsent)
{
    std::string deep;

    for (int i = 0; i < 200000; ++i)
        deep += "<a>";

    for (const auto& setup : { std::string ("<DEVICESETUP deviceType=\"none\"><?pi?>x</DEVICESETUP>"), deep })
    {
        TempSettings settings;
        settings.get().setValue ("audioSetup", juce::String (setup));
        settings.get().setValue ("shouldMuteInput", "0");

        runWithin (20000, [&] { makeHolder (&settings.get()).reset(); });

        EXPECT_EQ (settings.get().getValue ("shouldMuteInput"), "0");
    }
}
