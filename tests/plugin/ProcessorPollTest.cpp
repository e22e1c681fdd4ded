#include "PluginEditor.h"
#include "ProcessorTestHelpers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;

namespace
{
using Editor = Processor::JuceDemoPluginAudioProcessorEditor;

/** True when every filter's b0 is the given value. */
bool filtersHold (const Processor& processor, float b0)
{
    for (auto& filter : processor.crossoverFilters)
        if (filter->getCoefficients().coefficients[0] != b0)
            return false;

    return true;
}

/** A processor at 48 kHz with its editor open. */
struct ProcessorPoll : ::testing::Test
{
    ProcessorPoll()
    {
        configure (processor);
        editorHolder.reset (processor.createEditorIfNeeded());
        editor = dynamic_cast<Editor*> (editorHolder.get());
    }

    // As a host does: the processor forgets its editor before the editor goes.
    ~ProcessorPoll() override   { processor.editorBeingDeleted (editorHolder.get()); }

    Processor processor;
    std::unique_ptr<juce::AudioProcessorEditor> editorHolder;
    Editor* editor = nullptr;
};
} // namespace

TEST (ProcessorPollWithoutEditor, ATickDoesNothing)
{
    Processor processor;
    configure (processor);
    clearSwitches (processor);
    setNormalised (processor, "gain", 0.8f);
    setNormalised (processor, "balance", 0.7f);

    processor.timerCallback();
    processor.timerCallback();

    EXPECT_FALSE (processor.channelMute[15].load() || processor.solosBypassed.load());
    EXPECT_EQ (processor.lastCrossoverValue, 0.5f);
    EXPECT_TRUE (filtersHold (processor, 0.0f));
}

TEST_F (ProcessorPoll, EachTickCopiesEveryEditorSwitch)
{
    ASSERT_NE (editor, nullptr);
    clearSwitches (processor);
    EXPECT_TRUE (pumpMessagesUntil ([this] { return processor.channelMute[15].load(); }, 2000)) << "the timer polls by itself";

    for (size_t c = 0; c < 16; ++c)
    {
        EXPECT_EQ (processor.channelMute[c].load(), c >= 12) << c;
        EXPECT_EQ (processor.channelSolo[c].load(), c >= 8 && c <= 11) << c;
        EXPECT_EQ (processor.channelBassManaged[c].load(), c >= 4 && c <= 11) << c;
    }

    EXPECT_TRUE (processor.solosBypassed.load());
    EXPECT_FALSE (processor.mutesBypassed.load() || processor.bassManagementBypassed.load());

    // Hidden or not, every switch is copied as it stands.
    editor->bassButtons[3]->setToggleState (true, juce::dontSendNotification);
    editor->muteBypassButton->setToggleState (true, juce::dontSendNotification);
    editor->soloButtons[0]->setToggleState (true, juce::dontSendNotification);
    processor.timerCallback();
    EXPECT_TRUE (processor.channelBassManaged[3].load());
    EXPECT_TRUE (processor.mutesBypassed.load());
    EXPECT_TRUE (processor.channelSolo[0].load());
}

TEST_F (ProcessorPoll, OneParameterChangePerTickGainFirst)
{
    ASSERT_NE (editor, nullptr);
    processor.stopTimer();

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
    for (auto& filter : processor.crossoverFilters)
        filter->setCoefficients (juce::IIRCoefficients (0.5, 0.0, 0.0, 1.0, 0.0, 0.0));

    tick (1.0f, 0.0f);
    EXPECT_TRUE (filtersHold (processor, 0.5f));

    // Both change before one tick: gain first, the crossover on the tick after.
    setNormalised (processor, "gain", 0.25f);
    setNormalised (processor, "balance", 1.0f);
    tick (0.25f, 0.0f);
    EXPECT_TRUE (filtersHold (processor, 0.5f));

    tick (0.25f, 1.0f);
    Processor reference;
    setNormalised (reference, "balance", 1.0f);
    reference.updateFilterCoeffs (48000.0);

    for (int index : { 3, Processor::lowPassFilterIndex })
        EXPECT_EQ (processor.crossoverFilters[(size_t) index]->getCoefficients().coefficients[0],
                   reference.crossoverFilters[(size_t) index]->getCoefficients().coefficients[0]);
}
