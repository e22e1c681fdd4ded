#include "ProcessorTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace tarrowby::test;

namespace
{
const std::string defaultText = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <state>"
                                "<PARAM id=\"balance\" value=\"80.0\"/><PARAM id=\"dim\" value=\"0.0\"/>"
                                "<PARAM id=\"gain\" value=\"0.0\"/><PARAM id=\"mute\" value=\"0.0\"/>"
                                "<uiState width=\"472\" height=\"310\"/></state>";

double b0 (const Processor& processor, int index) { return processor.crossoverFilters[(size_t) index]->getCoefficients().coefficients[0]; }

void expectCoefficients (const Processor& processor, int index, const juce::IIRCoefficients& expected, double relative)
{
    const auto actual = processor.crossoverFilters[(size_t) index]->getCoefficients();

    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR (actual.coefficients[i], expected.coefficients[i], std::abs (expected.coefficients[i]) * relative) << index << ", " << i;
}
} // namespace

TEST (Processor, NewProcessorAndEditorHoldTheSwitchDefaults)
{
    ScopedWrapperType standalone;
    Processor processor;
    Editor editor (processor);

    for (size_t c = 0; c < 16; ++c)
    {
        const bool muted = c >= 12, soloed = c >= 8 && c <= 11, managed = c >= 4 && c <= 11;
        EXPECT_TRUE (processor.channelMute[c] == muted && editor.muteButtons[c]->getToggleState() == muted) << c;
        EXPECT_TRUE (processor.channelSolo[c] == soloed && editor.soloButtons[c]->getToggleState() == soloed) << c;
        EXPECT_TRUE (processor.channelBassManaged[c] == managed && editor.bassButtons[c]->getToggleState() == managed) << c;
        EXPECT_EQ (editor.bassButtons[c]->getParentComponent() == &editor, c != 3) << "channel 4's bass switch is never shown";
    }

    EXPECT_TRUE (processor.solosBypassed && editor.soloBypassButton->getToggleState());
    EXPECT_FALSE (processor.mutesBypassed || processor.bassManagementBypassed);
    EXPECT_FALSE (editor.muteBypassButton->getToggleState() || editor.bassBypassButton->getToggleState());
}

TEST (Processor, LayoutNeedsAnEnabledOutputAndAnInputThatIsDisabledOrMatchesIt)
{
    Processor processor;
    using Set = juce::AudioChannelSet;
    const std::tuple<Set, Set, bool> cases[] = {
        { Set::disabled(), Set::stereo(), true },
        { Set::discreteChannels (16), Set::discreteChannels (16), true },
        { Set::mono(), Set::stereo(), false },
        { Set::discreteChannels (2), Set::stereo(), false },
        { Set::stereo(), Set::disabled(), false },
        { Set::disabled(), Set::disabled(), false },
    };

    for (const auto& [in, out, supported] : cases)
        EXPECT_EQ (processor.isBusesLayoutSupported ({ { in }, { out } }), supported) << in.getDescription();
}

//==============================================================================
TEST (ProcessorState, WritesTheDefaultBytesAndReadsThemBack)
{
    Processor source, target;
    juce::MemoryBlock block (1000, true); // earlier content is replaced
    source.getStateInformation (block);
    const std::string bytes (static_cast<const char*> (block.getData()), block.getSize());
    EXPECT_EQ (bytes, envelope (defaultText));

    setNormalised (target, "gain", 0.5f);
    load (target, bytes);
    EXPECT_EQ (stateOf (target), bytes);
}

TEST (ProcessorState, HostileBytesAreIgnoredAndChangeNothing)
{
    const auto valid = envelope (defaultText);
    std::string deep;

    for (int i = 0; i < 200000; ++i)
        deep += "<a>"; // would exhaust the parser's stack

    for (const auto& bytes : { valid.substr (0, 8), "W" + valid.substr (1), envelope (defaultText, 0), envelope (defaultText, 0x80000000u),
                               envelope (std::string (1, '\0') + defaultText), envelope ("x"), envelope ("<state><PARAM id=\"gain\"/>"),
                               envelope ("<state><PARAM id=\"gain\" value=\"-20\"", 40) + "/></state>", // a zero byte cuts it short
                               envelope (deep) })
    {
        Processor processor;
        setNormalised (processor, "gain", 0.25f);
        const auto before = stateOf (processor);
        load (processor, bytes);
        EXPECT_EQ (stateOf (processor), before) << bytes.substr (0, 80);
    }

    Processor processor;
    const auto before = stateOf (processor);
    processor.setStateInformation (valid.data(), -5);
    processor.setStateInformation (nullptr, 221);
    EXPECT_EQ (stateOf (processor), before);
}

TEST (ProcessorState, ReadsTheTextPresentUpToAZeroByte)
{
    const std::string text = "<state><PARAM id=\"gain\" value=\"-20\"/></state>";
    std::string wide = "<state><PARAM id=\"gain\" value=\"-20\"/>";

    for (int i = 0; i < 900; ++i)
        wide += "<n/>";

    for (const auto& bytes : { envelope (text, (juce::uint32) text.size(), false), envelope (text, 100000, false), // length beyond the bytes
                               envelope (text + std::string (1, '\0') + "<<garbage"), envelope (wide + "</state>") }) // many, shallow
    {
        Processor processor;
        load (processor, bytes);
        EXPECT_FLOAT_EQ (getNormalised (processor, "gain"), 2.0f / 3.0f) << bytes.substr (0, 80);
    }
}

TEST (ProcessorState, AnyRootReplacesTheTreeValuesAreClampedAndMissingOnesKept)
{
    Processor processor, reloaded;
    setNormalised (processor, "balance", 1.0f);
    setNormalised (processor, "dim", 1.0f);
    load (processor, envelope ("<?xml version=\"1.0\"?>\n<other><PARAM id=\"gain\" value=\"5\"/><PARAM id=\"mute\"/><extra note=\"kept\"/></other>"));
    EXPECT_EQ (getNormalised (processor, "mute"), 0.0f); // no value: the default

    load (reloaded, stateOf (processor));
    EXPECT_EQ (stateOf (reloaded), envelope ("<?xml version=\"1.0\" encoding=\"UTF-8\"?> <other><PARAM id=\"gain\" value=\"0.0\"/>"
                                             "<PARAM id=\"mute\"/><extra note=\"kept\"/>"
                                             "<PARAM id=\"balance\" value=\"125.0\"/><PARAM id=\"dim\" value=\"1.0\"/></other>"));
}

//==============================================================================
TEST (ProcessorFilters, WorkedExampleCrossoverRangeAndRefusedRates)
{
    Processor processor;
    EXPECT_EQ (b0 (processor, 0), 0.0); // inactive until prepared
    processor.prepareToPlay (48000.0, 12345);

    for (int c = 0; c < 16; ++c)
        expectCoefficients (processor, c, { 0.996284, -1.992568, 0.996284, 1.0, -1.992513, 0.992623 }, 1.0e-6);

    expectCoefficients (processor, Processor::lowPassFilterIndex, { 2.73142e-5, 5.46284e-5, 2.73142e-5, 1.0, -1.992513, 0.992623 }, 1.0e-5);
    const auto before = processor.crossoverFilters[0]->getCoefficients();

    for (double rate : { 0.0, -48000.0, 100.0, 160.0, 64.0, std::nan (""), HUGE_VAL })
    {
        processor.updateFilterCoeffs (rate);
        expectCoefficients (processor, 0, before, 0.0);
    }

    setNormalised (processor, "balance", 1.0f);
    processor.updateFilterCoeffs (44100.0);
    expectCoefficients (processor, 5, juce::IIRCoefficients::makeHighPass (44100.0, 125.0, std::sqrt (2.0f)), 1.0e-5);
    expectCoefficients (processor, Processor::lowPassFilterIndex, juce::IIRCoefficients::makeLowPass (44100.0, 125.0, std::sqrt (2.0f)), 1.0e-5);
}

//==============================================================================
TEST (ProcessorPoll, EachTickCopiesEverySwitchAndHandlesOneParameterChangeGainFirst)
{
    Processor processor;
    configure (processor);
    EXPECT_EQ (processor.getTimerInterval(), 200);
    processor.stopTimer();

    // Marks the filters, ticks, and tells whether the tick recomputed them.
    auto tickRecomputes = [&] {
        for (auto& filter : processor.crossoverFilters)
            filter->setCoefficients ({ 0.5, 0.0, 0.0, 1.0, 0.0, 0.0 });

        processor.timerCallback();
        return b0 (processor, 0) != 0.5;
    };

    processor.channelMute[0] = true;
    EXPECT_FALSE (tickRecomputes() || tickRecomputes()); // without an editor a tick does nothing
    EXPECT_TRUE (processor.channelMute[0]);

    std::unique_ptr<juce::AudioProcessorEditor> holder (processor.createEditorIfNeeded());
    auto& editor = dynamic_cast<Editor&> (*holder);

    // The poll first remembers gain 0.8 and balance 0.5; a new processor has 1.0 and 0.0.
    EXPECT_FALSE (tickRecomputes());
    EXPECT_TRUE (tickRecomputes());
    EXPECT_FALSE (tickRecomputes());
    setNormalised (processor, "gain", 0.25f);
    setNormalised (processor, "balance", 1.0f);
    EXPECT_FALSE (tickRecomputes()); // the gain change only
    EXPECT_TRUE (tickRecomputes());
    expectCoefficients (processor, 3, juce::IIRCoefficients::makeHighPass (48000.0, 125.0, std::sqrt (2.0f)), 1.0e-5);
    EXPECT_FALSE (tickRecomputes());

    // Hidden or not, every switch is copied as it stands.
    editor.bassButtons[3]->setToggleState (true, juce::dontSendNotification);
    editor.soloButtons[0]->setToggleState (true, juce::dontSendNotification);

    for (auto* bypass : { editor.muteBypassButton.get(), editor.bassBypassButton.get() })
    {
        bypass->setToggleState (true, juce::dontSendNotification);
        processor.timerCallback();
        EXPECT_TRUE (processor.channelBassManaged[3] && processor.channelSolo[0] && ! processor.channelMute[0] && processor.mutesBypassed);
        EXPECT_EQ (processor.bassManagementBypassed.load(), bypass == editor.bassBypassButton.get());
    }

    processor.editorBeingDeleted (holder.get());
}
