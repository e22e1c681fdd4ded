#include "ProcessorTestHelpers.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cmath>
#include <cstring>

using namespace tarrowby::test;

namespace
{
const std::string defaultText = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <state><PARAM id=\"balance\" value=\"80.0\"/><PARAM id=\"dim\" value=\"0.0\"/>"
                                "<PARAM id=\"gain\" value=\"0.0\"/><PARAM id=\"mute\" value=\"0.0\"/><uiState width=\"472\" height=\"310\"/></state>";
/** State bytes: "VC2!", the stored length (little-endian), the text and optionally the closing zero byte. */
std::string envelope (const std::string& text, juce::uint32 storedLength = 0, bool closingZero = true)
{
    const auto length = juce::ByteOrder::swapIfBigEndian (storedLength != 0 ? storedLength : (juce::uint32) text.size());
    return "VC2!" + std::string (reinterpret_cast<const char*> (&length), 4) + text + std::string (closingZero ? 1 : 0, '\0');
}
std::string stateOf (Processor& processor)
{
    juce::MemoryBlock block (1000, true); // earlier content is replaced
    processor.getStateInformation (block);
    return { static_cast<const char*> (block.getData()), block.getSize() };
}
/** Hands the bytes over in a heap block of exactly their size, so that the sanitizer sees any read past them. */
void load (Processor& processor, const std::string& bytes)
{
    const auto exact = std::make_unique<char[]> (bytes.size());
    std::memcpy (exact.get(), bytes.data(), bytes.size());
    processor.setStateInformation (exact.get(), (int) bytes.size());
}
} // namespace

TEST (Processor, SupportsAnEnabledOutputWithAnInputThatIsDisabledOrMatchesIt)
{
    using Set = juce::AudioChannelSet;
    for (const auto& [in, out, supported] : { std::tuple { Set::disabled(), Set::stereo(), true }, std::tuple { Set::discreteChannels (16), Set::discreteChannels (16), true }, std::tuple { Set::discreteChannels (2), Set::stereo(), false }, std::tuple { Set::disabled(), Set::disabled(), false } })
        EXPECT_EQ (Processor().isBusesLayoutSupported ({ { in }, { out } }), supported) << in.getDescription();
}

TEST (ProcessorState, DefaultBytesRoundTripValuesAreClampedAndMissingOnesKept)
{
    Processor processor;
    EXPECT_EQ (stateOf (processor), envelope (defaultText));
    setNormalised (processor, "balance", 1.0f);
    setNormalised (processor, "dim", 1.0f);
    load (processor, envelope ("<?xml version=\"1.0\"?>\n<other><PARAM id=\"gain\" value=\"5\"/><PARAM id=\"mute\"/><extra note=\"kept\"/></other>"));
    const auto expected = envelope ("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <other><PARAM id=\"gain\" value=\"0.0\"/><PARAM id=\"mute\"/><extra note=\"kept\"/>"
                                    "<PARAM id=\"balance\" value=\"125.0\"/><PARAM id=\"dim\" value=\"1.0\"/></other>");
    EXPECT_EQ (stateOf (processor), expected);
    load (processor, envelope (defaultText));
    EXPECT_EQ (stateOf (processor), envelope (defaultText));
    // An attribute named "base64:..." is text, written back as read: decoded, a stray bit would go, or it would replace "x".
    for (const auto* attributes : { "base64:x=\"1.gD\"", "x=\"a\" base64:x=\"3.gI1X\"" })
    {
        const auto text = juce::String (defaultText).replace ("height=\"310\"", "height=\"310\" " + juce::String (attributes)).toStdString();
        load (processor, envelope (text));
        EXPECT_EQ (stateOf (processor), envelope (text)) << attributes;
    }
}

TEST (ProcessorState, HostileBytesChangeNothingAndTextEndsAtAZeroByte)
{
    const std::string text = "<state><PARAM id=\"gain\" value=\"-20\"/></state>";
    const auto balanceThen = [&] (const std::string& value) { return "<state><PARAM id=\"balance\" value=\"" + value + "\"/>" + text.substr (7); };
    const std::pair<std::string, bool> cases[] = {
        { "W" + envelope (defaultText).substr (1), false },
        { envelope ("x"), false },
        { envelope ("<state><PARAM id=\"gain\"/>"), false },
        { envelope (text, (juce::uint32) text.size(), false), true },
        { envelope (text, 100000, false), true }, // a length beyond the bytes
        { envelope (text, 0x80000000u), false }, // a length of 2^31 or more counts as negative
        { envelope (text + std::string (1, '\0') + "<<garbage"), true },
        { envelope (balanceThen ("nan")), true }, // a balance that is not a number is kept, the gain taken
        { envelope (balanceThen ("NaN")), true },
        { envelope (balanceThen ("-nan")), true },
    };
    for (const auto& [bytes, read] : cases)
    {
        Processor processor;
        setNormalised (processor, "gain", 0.25f);
        setNormalised (processor, "balance", 0.5f);
        load (processor, bytes);
        EXPECT_FLOAT_EQ (getNormalised (processor, "gain"), read ? 2.0f / 3.0f : 0.25f) << bytes.substr (0, 80);
        EXPECT_FLOAT_EQ (getNormalised (processor, "balance"), 0.5f) << bytes.substr (0, 80);
    }
    Processor processor;
    processor.setStateInformation (envelope (text).data(), -5);
    processor.setStateInformation (nullptr, 221);
    EXPECT_EQ (stateOf (processor), envelope (defaultText));
}

TEST (ProcessorState, TakesOnlyWhatItReadsAgainOnceWrittenWithAnyValuesAndThenWritesItAgainAsItWas)
{
    using Reading = Processor::StateReading;
    const auto repeated = [] (const char* text, int times) { return juce::String::repeatedString (text, times).toStdString(); };
    // Elements of so many attributes each, named apart.
    const auto names = [] (int count, int perElement = 1) {
        std::string nodes;
        for (int i = 0; i < count; ++i)
            nodes += (i % perElement == 0 ? std::string (i > 0 ? "/><n" : "<n") : std::string()) + " a" + std::to_string (i) + "=\"\"";
        return nodes + "/>";
    };
    const auto examine = [] (const std::string& bytes) { return Processor().takeState (bytes.data(), (int) bytes.size()); };
    const auto wide = [] (size_t length) { return "<state v=\"" + std::string (length, 'x') + "\"/>"; };
    // The widest state taken: its parameters could all come to be written at their longest.
    size_t low = 1000, high = 1 << 20;
    while (low + 1 < high)
        (examine (envelope (wide ((low + high) / 2))) == Reading::taken ? low : high) = (low + high) / 2;
    const std::pair<std::string, Reading> cases[] = {
        { defaultText, Reading::taken },
        { wide (low), Reading::taken },
        { wide (low + 1), Reading::tooLarge },
        { "<state>" + repeated ("<n/>", 995) + "</state>", Reading::taken }, // 1000 elements with the parameters'
        { "<state>" + repeated ("<n/>", 996) + "</state>", Reading::tooLarge },
        { "<state>" + names (64, 64) + names (300) + "</state>", Reading::taken },
        { "<state>" + names (16379, 1000) + "</state>", Reading::taken }, // 16384 names with those the parameters add
        { "<state>" + names (16380, 1000) + "</state>", Reading::tooLarge },
        { "<state>" + names (6143, 6143) + "</state>", Reading::taken }, // the squares of the elements' attributes
        { "<state>" + names (6144, 6144) + "</state>", Reading::tooLarge }, // with the parameters' nodes
        { "<state>" + names (8800, 4400) + "</state>", Reading::ignored },
        { "<state><PARAM id=\"gain\" value=\"-20" + std::string (40, '0') + "\"/><PARAM id=\"dim\"/><PARAM id=\"dim\" value=\"1\"/></state>", Reading::taken },
    };
    const float values[] = { 0.0f, 1.0f, 1.0e-7f, 0.93833333f, 0.123456789f, 0.99999994f }; // extremes, and long texts
    for (const auto& [text, expected] : cases)
    {
        Processor processor;
        setNormalised (processor, "gain", 0.25f);
        const auto before = stateOf (processor);
        EXPECT_EQ (examine (envelope (text)), expected) << text.substr (0, 40);
        load (processor, envelope (text));
        EXPECT_EQ (stateOf (processor) == before, expected != Reading::taken) << text.substr (0, 40);
        // Whatever values it comes to hold, it takes what it writes and writes it again as it was.
        for (const auto value : values)
        {
            for (const auto* id : { "balance", "dim", "gain", "mute" })
                setNormalised (processor, id, value);
            const auto written = stateOf (processor);
            Processor reader;
            EXPECT_EQ (examine (written), Reading::taken) << text.substr (0, 40) << " " << value;
            load (reader, written);
            EXPECT_EQ (stateOf (reader), written);
        }
    }
}

TEST (ProcessorFilters, InactiveUntilPreparedAndKeptForARefusedRate)
{
    Processor processor;
    EXPECT_EQ (processor.crossoverFilters[0]->getCoefficients().coefficients[0], 0.0);
    processor.prepareToPlay (48000.0, 12345);
    const auto before = processor.crossoverFilters[0]->getCoefficients();
    for (double rate : { 0.0, 160.0, std::nan (""), HUGE_VAL })
    {
        processor.updateFilterCoeffs (rate);
        EXPECT_TRUE (std::equal (before.coefficients, before.coefficients + 5, processor.crossoverFilters[0]->getCoefficients().coefficients)) << rate;
    }
}

TEST (ProcessorPoll, ItsOwnTimerCopiesEverySwitchFromTheOpenEditorAndEachTickHandlesOneParameterChangeGainFirst)
{
    Processor processor;
    configure (processor);
    std::unique_ptr<juce::AudioProcessorEditor> holder (processor.createEditorIfNeeded());
    auto& editor = dynamic_cast<Editor&> (*holder);
    // Each switch with its flag and their default; channel 4's bass switch is never shown.
    std::vector<std::tuple<juce::ToggleButton*, std::atomic<bool>*, bool>> switches { { editor.muteBypassButton.get(), &processor.mutesBypassed, false }, { editor.soloBypassButton.get(), &processor.solosBypassed, true }, { editor.bassBypassButton.get(), &processor.bassManagementBypassed, false } };
    for (size_t c = 0; c < 16; ++c)
    {
        switches.insert (switches.end(), { { editor.muteButtons[c].get(), &processor.channelMute[c], c >= 12 }, { editor.soloButtons[c].get(), &processor.channelSolo[c], c >= 8 && c <= 11 }, { editor.bassButtons[c].get(), &processor.channelBassManaged[c], c >= 4 && c <= 11 } });
        EXPECT_EQ (editor.bassButtons[c]->getParentComponent() == &editor, c != 3) << c;
    }
    const auto flipped = [] (const auto& s) { return std::get<1> (s)->load() != std::get<2> (s); };
    for (size_t i = 0; i < switches.size(); ++i)
        EXPECT_TRUE (std::get<0> (switches[i])->getToggleState() == std::get<2> (switches[i]) && ! flipped (switches[i])) << "switch " << i;
    // Ticked by hand (no message is dispatched meanwhile): marks the filters and tells whether the tick recomputed them.
    auto tickRecomputes = [&] {
        for (auto& filter : processor.crossoverFilters)
            filter->setCoefficients ({ 0.5, 0.0, 0.0, 1.0, 0.0, 0.0 });
        processor.timerCallback();
        return processor.crossoverFilters[0]->getCoefficients().coefficients[0] != 0.5;
    };
    // The poll first remembers gain 0.8 and balance 0.5 (a new processor has 1.0 and 0.0); of two changes, gain first.
    EXPECT_EQ ((std::vector<bool> { tickRecomputes(), tickRecomputes(), tickRecomputes() }), (std::vector<bool> { false, true, false }));
    setNormalised (processor, "gain", 0.25f);
    setNormalised (processor, "balance", 1.0f);
    EXPECT_EQ ((std::vector<bool> { tickRecomputes(), tickRecomputes(), tickRecomputes() }), (std::vector<bool> { false, true, false }));
    // Every switch flipped; the processor's own timer copies them all.
    for (auto& [button, flag, on] : switches)
        button->setToggleState (! on, juce::dontSendNotification);
    pumpMessagesUntil ([&] { return std::all_of (switches.begin(), switches.end(), flipped); }, 2000);
    for (size_t i = 0; i < switches.size(); ++i)
        EXPECT_TRUE (flipped (switches[i])) << "switch " << i << " not copied";
    processor.editorBeingDeleted (holder.get()), holder.reset();
    processor.timerCallback(); // without an editor a tick does nothing
    EXPECT_TRUE (processor.channelMute[0]);
}
