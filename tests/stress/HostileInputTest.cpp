// Inputs found by fuzzing the state bytes and the settings file, each of which
// once crashed, hung, corrupted a saved state or raised a framework assertion.
#include "HostTestSupport.h"
#include "ProcessorTestHelpers.h"
#include "StressSupport.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;

TEST (HostileState, TextTheParserCantTakeSafelyOrTheTreeCantKeepChangesNothing)
{
    const std::string ignored[] = {
        // Not UTF-8: the parser counts a broken sequence's bytes one way and steps over them another,
        // and so ran past the end of the text, at the very end or after skipping a closing quote.
        "<state><PARAM id=\"gain\" value=\"-2\xd3",
        "<state/>\xe2\x82",
        "<state><PARAM id=\"gain\" value=\"-20\"/><x a=\"\xc3z\"/></state>",
        "<state>\xf0</state>",
        // An overlong form of "A" in a name: read, but written back as something unreadable.
        "<state><PAR\xc1\x81 id=\"dim\"/></state>",
        // Two values for one parameter: the tree used one and wrote back the other.
        "<state><PARAM id=\"balance\" value=\"103.5\" value=\"-20\"/></state>",
        "<state><PARAM id=\"gain\" value=\"-20\" base64:value=\"4.AAAAAA\"/></state>",
        // Binary text sizes its memory from the count before the ".": negative, huge, or more than the text holds.
        "<state><x base64:y=\"-5.AAA\"/><PARAM id=\"gain\" value=\"0\"/></state>",
        "<state><x base64:y=\"2000000000.A\"/><PARAM id=\"gain\" value=\"0\"/></state>",
        "<state><x base64:y=\"99999999999999999999.AAAA\"/><PARAM id=\"gain\" value=\"0\"/></state>",
        "<state><x base64:y=\"+3.AAAA\"/><PARAM id=\"gain\" value=\"0\"/></state>",
        "<state><x base64:y=\"9.AAAA\"/><PARAM id=\"gain\" value=\"0\"/></state>",
        // A processing instruction among the content: the parser never returned.
        "<state><?pi?>x<PARAM id=\"gain\" value=\"0\"/></state>",
    };

    Watchdog watchdog (20000, "loading state text did not return");

    for (const auto& text : ignored)
    {
        Processor processor;
        setNormalised (processor, "gain", 0.5f);
        const auto before = stateOf (processor);
        load (processor, envelope (text));
        EXPECT_EQ (stateOf (processor), before) << text;
    }
}

TEST (HostileState, WhatATreeCanKeepIsLoadedAndSavedAsLoaded)
{
    struct Case { std::string text; float gain, dim; std::string savedHas, savedLacks; };
    const Case cases[] = {
        // Text between elements is dropped, and the rest loaded.
        { "<state>loose <PARAM id=\"gain\" value=\"-20\">inner</PARAM> text</state>", 40.0f / 60.0f, 0.0f, "<state>", "text" },
        // A value that is not a number keeps the parameter as it was.
        { "<state><PARAM id=\"gain\" value=\"nan\"/><PARAM id=\"dim\" value=\"1\"/></state>", 0.5f, 1.0f, "<state>", "nan" },
        { "<state><PARAM id=\"gain\" value=\"NaN\"/><PARAM id=\"dim\" value=\"1\"/></state>", 0.5f, 1.0f, "<state>", "NaN" },
        { "<state><PARAM id=\"gain\" value=\"-nan\"/><PARAM id=\"dim\" value=\"1\"/></state>", 0.5f, 1.0f, "<state>", "nan" },
        // A processing instruction before the root element, like the declaration.
        { "<?xml version=\"1.0\"?> <?other?> <state><PARAM id=\"gain\" value=\"-20\"/></state>", 40.0f / 60.0f, 0.0f, "<state>", "other" },
        // Attributes with equal values, and binary text that its count fits.
        { "<state><PARAM id=\"balance\" value=\"103.5\"/><x v=\"1\" w=\"1\"/></state>", 0.5f, 0.0f, "<x v=\"1\" w=\"1\"/>", "" },
        { "<state><x base64:y=\"3.gI1X\"/></state>", 0.5f, 0.0f, "base64:y=\"3.gI1X\"", "" },
    };

    for (const auto& c : cases)
    {
        Processor processor;
        setNormalised (processor, "gain", 0.5f);
        load (processor, envelope (c.text));

        EXPECT_FLOAT_EQ (getNormalised (processor, "gain"), c.gain) << c.text;
        EXPECT_EQ (getNormalised (processor, "dim"), c.dim) << c.text;

        const auto saved = stateOf (processor);
        EXPECT_NE (saved.find (c.savedHas), std::string::npos) << saved;
        EXPECT_TRUE (c.savedLacks.empty() || saved.find (c.savedLacks) == std::string::npos) << saved;

        Processor reloaded;
        load (reloaded, saved);
        EXPECT_EQ (stateOf (reloaded), saved);
    }
}

TEST (HostileSettings, AnAudioSetupTheParserCantTakeSafelyCountsAsAbsent)
{
    for (const auto& setup : { juce::String ("<DEVICESETUP deviceType=\"none\"><?pi?>x</DEVICESETUP>"),
                               juce::String::repeatedString ("<a>", 200000) })
    {
        TempSettings settings;
        settings.get().setValue ("audioSetup", setup);
        settings.get().setValue ("shouldMuteInput", "0");

        {
            Watchdog watchdog (20000, "a holder reading its set-up text did not return");
            makeHolder (&settings.get()).reset();
        }

        EXPECT_EQ (settings.get().getValue ("shouldMuteInput"), "0");
    }
}
