#include "HostTestSupport.h"
#include "PluginProcessor.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;
using juce::StandalonePluginHolder;

namespace
{
/** A probe that reports whether the player still held it when it was deleted. */
struct WatchedProbe : ProbeProcessor
{
    explicit WatchedProbe (StandalonePluginHolder& h, bool& attached) : holder (h), attachedAtDeletion (attached) {}
    ~WatchedProbe() override    { attachedAtDeletion = holder.processorPlayer.getCurrentProcessor() == this; }

    StandalonePluginHolder& holder;
    bool& attachedAtDeletion;
};
} // namespace

TEST (PluginHolder, CreatesTheProcessorAsAStandAloneInstanceAndPlaysIt)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());

    ASSERT_NE (holder->processor, nullptr);
    EXPECT_NE (dynamic_cast<JuceDemoPluginAudioProcessor*> (holder->processor.get()), nullptr);
    EXPECT_EQ (holder->processor->wrapperType, juce::AudioProcessor::wrapperType_Standalone);
    EXPECT_EQ (holder->processorPlayer.getCurrentProcessor(), holder->processor.get());
    EXPECT_TRUE (holder->processorHasPotentialFeedbackLoop);
    EXPECT_TRUE ((bool) holder->shouldMuteInput.getValue());
    EXPECT_TRUE (holder->muteInput.load());

    // The stand-alone mark is for that one processor only.
    JuceDemoPluginAudioProcessor other;
    EXPECT_EQ (other.wrapperType, juce::AudioProcessor::wrapperType_Undefined);
}

TEST (PluginHolder, ResetMakesAFreshProcessorAt44100And512WithOnlyMainBuses)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    auto* deviceBefore = holder->deviceManager.getCurrentAudioDevice();

    holder->processorHasPotentialFeedbackLoop = false;
    holder->stopPlayback();
    holder->deletePlugin();
    EXPECT_EQ (holder->processor, nullptr);

    holder->createPlugin();
    ASSERT_NE (holder->processor, nullptr);
    EXPECT_EQ (holder->processor->getSampleRate(), 44100.0);
    EXPECT_EQ (holder->processor->getBlockSize(), 512);
    EXPECT_TRUE (holder->processorHasPotentialFeedbackLoop);

    for (const auto isInput : { true, false })
        for (int i = 1; i < holder->processor->getBusCount (isInput); ++i)
            EXPECT_FALSE (holder->processor->getBus (isInput, i)->isEnabled());

    holder->startPlayback();
    EXPECT_EQ (holder->processorPlayer.getCurrentProcessor(), holder->processor.get());
    EXPECT_EQ (holder->deviceManager.getCurrentAudioDevice(), deviceBefore);
}

TEST (PluginHolder, ReplacingAPlayingProcessorDetachesItFirst)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());

    bool attachedAtDeletion = true;
    holder->stopPlayback();
    holder->processor = std::make_unique<WatchedProbe> (*holder, attachedAtDeletion);
    holder->startPlayback();

    holder->createPlugin();
    EXPECT_FALSE (attachedAtDeletion);
}

TEST (PluginHolder, FirstStartWithoutSettingsMutesTheInputAndWritesBothKeysAtTheEnd)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());

    EXPECT_TRUE (holder->muteInput.load());
    pumpMessages (20);
    EXPECT_TRUE (holder->muteInput.load());

    bool attachedAtDeletion = true;
    holder->stopPlayback();
    holder->processor = std::make_unique<WatchedProbe> (*holder, attachedAtDeletion);
    holder->startPlayback();

    holder.reset();

    EXPECT_FALSE (attachedAtDeletion);
    EXPECT_EQ (settings.get().getValue ("shouldMuteInput"), "1");
    EXPECT_TRUE (settings.get().containsKey ("audioSetup"));
    EXPECT_FALSE (settings.get().containsKey ("filterState"));
}

TEST (PluginHolder, StoredMuteSettingReachesTheAudioFlagWhenTheChangeIsDelivered)
{
    TempSettings settings;
    settings.get().setValue ("shouldMuteInput", "0");

    auto holder = makeHolder (&settings.get());
    EXPECT_FALSE ((bool) holder->shouldMuteInput.getValue());
    EXPECT_TRUE (holder->muteInput.load());

    EXPECT_TRUE (pumpMessagesUntil ([&] { return ! holder->muteInput.load(); }, 2000));

    holder.reset();
    EXPECT_EQ (settings.get().getValue ("shouldMuteInput"), "0");
}

TEST (PluginHolder, WithoutSettingsNothingIsReadOrWritten)
{
    auto holder = makeHolder (nullptr);

    EXPECT_TRUE ((bool) holder->shouldMuteInput.getValue());
    holder->savePluginState();
    EXPECT_EQ (holder->getLastFile(), juce::File::getSpecialLocation (juce::File::userDocumentsDirectory));

    holder.reset();
}

TEST (PluginHolder, SavesTheProcessorStateInTheFrameworksBase64Form)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    auto& probe = installProbe (*holder);

    probe.stateToWrite.replaceAll ("abc", 3);
    holder->savePluginState();
    EXPECT_EQ (settings.get().getValue ("filterState"), "3.gI1X");

    probe.stateToWrite.reset();
    holder->savePluginState();
    EXPECT_EQ (settings.get().getValue ("filterState"), "0.");

    holder->deletePlugin();
    settings.get().setValue ("filterState", "untouched");
    holder->savePluginState();
    EXPECT_EQ (settings.get().getValue ("filterState"), "untouched");
}

TEST (PluginHolder, RestoresTheProcessorStateFromTheSettings)
{
    // Make a state that differs from the defaults, through the processor's own interface.
    juce::MemoryBlock state;
    float changedValue = 0.0f;
    {
        JuceDemoPluginAudioProcessor source;
        ASSERT_FALSE (source.getParameters().isEmpty());
        auto* parameter = source.getParameters()[0];
        changedValue = parameter->getValue() > 0.5f ? 0.25f : 0.75f;
        parameter->setValueNotifyingHost (changedValue);
        source.getStateInformation (state);
    }

    ASSERT_GT (state.getSize(), 0u) << "the processor writes no state bytes";

    TempSettings settings;
    settings.get().setValue ("filterState", state.toBase64Encoding());

    auto holder = makeHolder (&settings.get());
    EXPECT_NEAR (holder->processor->getParameters()[0]->getValue(), changedValue, 1.0e-6f);
}

TEST (PluginHolder, CorruptFilterStateLeavesTheDefaults)
{
    JuceDemoPluginAudioProcessor reference;
    juce::MemoryBlock defaults;
    reference.getStateInformation (defaults);

    for (const auto* text : { "", "0.", "3.gI1X", "abc", "-5.gI1X", "x3.gI1X", "2000000000.gI1X",
                              "99999999999999999999.A", "4294967295.", "4.gI1X" })
    {
        TempSettings settings;
        settings.get().setValue ("filterState", text);

        auto holder = makeHolder (&settings.get());
        juce::MemoryBlock state;
        holder->processor->getStateInformation (state);
        EXPECT_EQ (state, defaults) << "\"" << text << "\"";
    }
}

//==============================================================================
TEST (StateText, DecodesTheFrameworksOwnForm)
{
    juce::MemoryBlock block;

    ASSERT_TRUE (StandalonePluginHolder::decodeStateText ("3.gI1X", block));
    EXPECT_EQ (block, juce::MemoryBlock ("abc", 3));

    ASSERT_TRUE (StandalonePluginHolder::decodeStateText ("0.", block));
    EXPECT_EQ (block.getSize(), 0u);

    for (size_t size : { 1, 2, 3, 4, 5, 6, 100, 1000 })
    {
        const auto bytes = makeBytes (size);
        juce::MemoryBlock decoded;
        ASSERT_TRUE (StandalonePluginHolder::decodeStateText (bytes.toBase64Encoding(), decoded));
        EXPECT_EQ (decoded, bytes) << size;
    }
}

TEST (StateText, DecodesOddCharactersExactlyAsTheFrameworkDoes)
{
    for (const auto* text : { " 3.gI1X", "3.gI 1X", "3.g,I1X\n", "2.gI1X", "1.g.", "3.gI1X.." })
    {
        juce::MemoryBlock ours, theirs;
        ASSERT_TRUE (StandalonePluginHolder::decodeStateText (text, ours)) << text;
        ASSERT_TRUE (theirs.fromBase64Encoding (text));
        EXPECT_EQ (ours, theirs) << text;
    }
}

TEST (StateText, RejectsCountsThatAreNoNumberOrTooLargeForTheText)
{
    for (const auto* text : { "", "abc", "gI1X", ".gI1X", "-1.gI1X", "+3.gI1X", "x3.gI1X", "3x.gI1X",
                              "4.gI1X", "1.", "2000000000.gI1X", "99999999999999999999.gI1X", "3 .gI1X" })
    {
        juce::MemoryBlock block ("keep", 4);
        EXPECT_FALSE (StandalonePluginHolder::decodeStateText (text, block)) << "\"" << text << "\"";
        EXPECT_EQ (block, juce::MemoryBlock ("keep", 4)) << "\"" << text << "\"";
    }
}
