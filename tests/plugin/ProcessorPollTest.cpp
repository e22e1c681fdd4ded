#include "ProcessorTestHelpers.h"
#include "PluginEditor.h"
#include "SwitchDefaults.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;

namespace
{
using Editor = Processor::JuceDemoPluginAudioProcessorEditor;

const juce::IIRCoefficients marker (0.5, 0.0, 0.0, 1.0, 0.0, 0.0);

bool filtersHold (const Processor& processor, float b0)
{
    for (auto& filter : processor.crossoverFilters)
        if (filter->getCoefficients().coefficients[0] != b0)
            return false;
    return true;
}

void markFilters (Processor& processor)
{
    for (auto& filter : processor.crossoverFilters)
        filter->setCoefficients (marker);
}

/** A processor at 48 kHz with its editor open. */
struct ProcessorPollWithEditor : ::testing::Test
{
    ProcessorPollWithEditor()
    {
        configure (processor);
        editorHolder.reset (processor.createEditorIfNeeded());
        editor = dynamic_cast<Editor*> (editorHolder.get());

        // Stand in for switches an editor may not have built.
        auto ensure = [] (std::unique_ptr<juce::ToggleButton>& button, bool isOn)
        {
            if (button == nullptr)
            {
                button = std::make_unique<juce::ToggleButton>();
                button->setToggleState (isOn, juce::dontSendNotification);
            }
        };

        for (int c = 0; c < Processor::numChannels; ++c)
        {
            ensure (editor->muteButtons[(size_t) c], SwitchDefaults::isMuted (c));
            ensure (editor->soloButtons[(size_t) c], SwitchDefaults::isSoloed (c));
            ensure (editor->bassButtons[(size_t) c], SwitchDefaults::isBassManaged (c));
        }

        ensure (editor->muteBypassButton, SwitchDefaults::mutesBypassed);
        ensure (editor->soloBypassButton, SwitchDefaults::solosBypassed);
        ensure (editor->bassBypassButton, SwitchDefaults::bassManagementBypassed);
    }

    ~ProcessorPollWithEditor() override
    {
        // As a host does: the processor forgets its editor before the editor goes.
        processor.editorBeingDeleted (editorHolder.get());
    }

    Processor processor;
    std::unique_ptr<juce::AudioProcessorEditor> editorHolder;
    Editor* editor = nullptr;
};
} // namespace

TEST (ProcessorPoll, WithoutAnEditorATickDoesNothing)
{
    Processor processor;
    configure (processor);
    clearSwitches (processor);
    setNormalised (processor, "gain", 0.8f);
    setNormalised (processor, "balance", 0.7f);

    processor.timerCallback();
    processor.timerCallback();

    EXPECT_FALSE (processor.channelMute[15].load());
    EXPECT_FALSE (processor.solosBypassed.load());
    EXPECT_EQ (processor.lastCrossoverValue, 0.5f);
    EXPECT_TRUE (filtersHold (processor, 0.0f));
}

TEST_F (ProcessorPollWithEditor, OneTickCopiesTheEditorDefaults)
{
    ASSERT_NE (editor, nullptr);
    clearSwitches (processor);
    processor.timerCallback();

    for (int c = 0; c < Processor::numChannels; ++c)
    {
        EXPECT_EQ (processor.channelMute[(size_t) c].load(), c >= 12 && c <= 15) << c;
        EXPECT_EQ (processor.channelSolo[(size_t) c].load(), c >= 8 && c <= 11) << c;
        EXPECT_EQ (processor.channelBassManaged[(size_t) c].load(), c >= 4 && c <= 11) << c;
    }

    EXPECT_TRUE (processor.solosBypassed.load());
    EXPECT_FALSE (processor.mutesBypassed.load());
    EXPECT_FALSE (processor.bassManagementBypassed.load());

    // Every switch, hidden or not, is copied as it stands.
    editor->bassButtons[3]->setToggleState (true, juce::dontSendNotification);
    editor->muteBypassButton->setToggleState (true, juce::dontSendNotification);
    editor->soloButtons[0]->setToggleState (true, juce::dontSendNotification);
    processor.timerCallback();
    EXPECT_TRUE (processor.channelBassManaged[3].load());
    EXPECT_TRUE (processor.mutesBypassed.load());
    EXPECT_TRUE (processor.channelSolo[0].load());
    EXPECT_TRUE (processor.channelMute[12].load()); // the row still follows its buttons
}

TEST_F (ProcessorPollWithEditor, GainChangeDefersTheCrossover)
{
    ASSERT_NE (editor, nullptr);

    auto tick = [this] (float expectedGain, float expectedCrossover)
    {
        processor.timerCallback();
        EXPECT_EQ (processor.lastGainValue, expectedGain);
        EXPECT_EQ (processor.lastCrossoverValue, expectedCrossover);
    };

    // A new processor's gain (1.0) differs from the remembered 0.8: the first tick only records it.
    tick (1.0f, 0.5f);
    EXPECT_TRUE (filtersHold (processor, 0.0f));

    // Next tick: "balance" (0.0) differs from 0.5, so the filters are computed at the current rate.
    tick (1.0f, 0.0f);
    EXPECT_NEAR (processor.crossoverFilters[0]->getCoefficients().coefficients[0], 0.996284f, 1.0e-6f);

    // Nothing changed: the filters are left alone.
    markFilters (processor);
    tick (1.0f, 0.0f);
    EXPECT_TRUE (filtersHold (processor, 0.5f));

    // Both change before one tick: gain first, crossover on the tick after.
    setNormalised (processor, "gain", 0.25f);
    setNormalised (processor, "balance", 1.0f);
    tick (0.25f, 0.0f);
    EXPECT_TRUE (filtersHold (processor, 0.5f));

    tick (0.25f, 1.0f);
    EXPECT_FALSE (filtersHold (processor, 0.5f));

    Processor reference;
    setNormalised (reference, "balance", 1.0f);
    reference.updateFilterCoeffs (48000.0);

    for (int index : { 3, Processor::lowPassFilterIndex })
        EXPECT_EQ (processor.crossoverFilters[(size_t) index]->getCoefficients().coefficients[0],
                   reference.crossoverFilters[(size_t) index]->getCoefficients().coefficients[0]);
}

TEST_F (ProcessorPollWithEditor, TheTimerPollsByItself)
{
    ASSERT_NE (editor, nullptr);
    clearSwitches (processor);
    EXPECT_TRUE (pumpMessagesUntil ([this] { return processor.channelMute[15].load(); }, 2000));
}
