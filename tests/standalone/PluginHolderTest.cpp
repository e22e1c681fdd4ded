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
    WatchedProbe (StandalonePluginHolder& h, bool& attached) : holder (h), attachedAtDeletion (attached) {}
    ~WatchedProbe() override    { attachedAtDeletion = holder.processorPlayer.getCurrentProcessor() == this; }

    StandalonePluginHolder& holder;
    bool& attachedAtDeletion;
};

void installWatchedProbe (StandalonePluginHolder& holder, bool& attachedAtDeletion)
{
    attachedAtDeletion = true;
    holder.stopPlayback();
    holder.processor = std::make_unique<WatchedProbe> (holder, attachedAtDeletion);
    holder.startPlayback();
}

juce::MemoryBlock stateOf (juce::AudioProcessor& processor)
{
    juce::MemoryBlock state;
    processor.getStateInformation (state);
    return state;
}
} // namespace

TEST (PluginHolder, CreatesAStandAloneProcessorAt44100And512AndPlaysIt)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    auto* deviceBefore = holder->deviceManager.getCurrentAudioDevice();

    for (int round = 0; round < 2; ++round) // at start-up, then as a reset makes it
    {
        ASSERT_NE (dynamic_cast<JuceDemoPluginAudioProcessor*> (holder->processor.get()), nullptr);
        EXPECT_EQ (holder->processor->wrapperType, juce::AudioProcessor::wrapperType_Standalone);
        EXPECT_EQ (holder->processor->getSampleRate(), 44100.0);
        EXPECT_EQ (holder->processor->getBlockSize(), 512);
        EXPECT_EQ (holder->processorPlayer.getCurrentProcessor(), holder->processor.get());
        EXPECT_TRUE (holder->processorHasPotentialFeedbackLoop);

        for (const auto isInput : { true, false })
            for (int i = 1; i < holder->processor->getBusCount (isInput); ++i)
                EXPECT_FALSE (holder->processor->getBus (isInput, i)->isEnabled());

        holder->processorHasPotentialFeedbackLoop = false;
        holder->stopPlayback();
        holder->deletePlugin();
        EXPECT_EQ (holder->processor, nullptr);
        holder->createPlugin();
        holder->startPlayback();
    }

    EXPECT_EQ (holder->deviceManager.getCurrentAudioDevice(), deviceBefore);
    EXPECT_EQ (JuceDemoPluginAudioProcessor().wrapperType, juce::AudioProcessor::wrapperType_Undefined) << "the mark is for the holder's processor only";

    // A processor being replaced is detached from the player first.
    bool attachedAtDeletion = true;
    installWatchedProbe (*holder, attachedAtDeletion);
    holder->createPlugin();
    EXPECT_FALSE (attachedAtDeletion);
}

TEST (PluginHolder, MutesTheInputFromTheSettingsAndWritesBothKeysAfterDetaching)
{
    TempSettings settings;
    auto holder = makeHolder (&settings.get());
    EXPECT_TRUE ((bool) holder->shouldMuteInput.getValue());
    EXPECT_TRUE (holder->muteInput.load());

    bool attachedAtDeletion = true;
    installWatchedProbe (*holder, attachedAtDeletion);
    holder.reset();

    EXPECT_FALSE (attachedAtDeletion);
    EXPECT_EQ (settings.get().getValue ("shouldMuteInput"), "1");
    EXPECT_TRUE (settings.get().containsKey ("audioSetup"));
    EXPECT_FALSE (settings.get().containsKey ("filterState"));

    // A stored "0" reaches the audio flag once the change is delivered, and is written back.
    settings.get().setValue ("shouldMuteInput", "0");
    holder = makeHolder (&settings.get());
    EXPECT_FALSE ((bool) holder->shouldMuteInput.getValue());
    EXPECT_TRUE (pumpMessagesUntil ([&] { return ! holder->muteInput.load(); }, 2000));
    holder.reset();
    EXPECT_EQ (settings.get().getValue ("shouldMuteInput"), "0");

    // Without settings nothing is read or written.
    holder = makeHolder (nullptr);
    EXPECT_TRUE ((bool) holder->shouldMuteInput.getValue());
    holder->savePluginState();
    EXPECT_EQ (holder->getLastFile(), juce::File::getSpecialLocation (juce::File::userDocumentsDirectory));
}

TEST (PluginHolder, KeepsTheProcessorStateAsBase64Text)
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

    // The next start restores a saved state; text that does not decode leaves the defaults.
    JuceDemoPluginAudioProcessor source;
    const auto defaults = stateOf (source);
    source.getParameters()[0]->setValueNotifyingHost (0.25f);
    settings.get().setValue ("filterState", stateOf (source).toBase64Encoding());
    holder = makeHolder (&settings.get());
    EXPECT_EQ (holder->processor->getParameters()[0]->getValue(), 0.25f);

    for (const auto* text : { "", "0.", "3.gI1X", "abc", "-5.gI1X", "2000000000.gI1X", "99999999999999999999.A", "4294967295." })
    {
        settings.get().setValue ("filterState", text);
        holder = makeHolder (&settings.get());
        EXPECT_EQ (stateOf (*holder->processor), defaults) << "\"" << text << "\"";
    }
}

TEST (StateText, DecodesTheFrameworksFormAndRejectsCountsThatAreNoNumberOrTooLarge)
{
    juce::MemoryBlock block;
    ASSERT_TRUE (StandalonePluginHolder::decodeStateText ("3.gI1X", block));
    EXPECT_EQ (block, juce::MemoryBlock ("abc", 3));

    for (size_t size : { 0, 1, 2, 3, 4, 5, 6, 100, 1000 })
    {
        const auto bytes = makeBytes (size);
        ASSERT_TRUE (StandalonePluginHolder::decodeStateText (bytes.toBase64Encoding(), block));
        EXPECT_EQ (block, bytes) << size;
    }

    // Odd characters decode exactly as the framework decodes them.
    for (const auto* text : { " 3.gI1X", "3.gI 1X", "3.g,I1X\n", "2.gI1X", "1.g.", "3.gI1X.." })
    {
        juce::MemoryBlock ours, theirs;
        ASSERT_TRUE (StandalonePluginHolder::decodeStateText (text, ours)) << text;
        ASSERT_TRUE (theirs.fromBase64Encoding (text));
        EXPECT_EQ (ours, theirs) << text;
    }

    for (const auto* text : { "", "abc", "gI1X", ".gI1X", "-1.gI1X", "+3.gI1X", "x3.gI1X", "3x.gI1X",
                              "4.gI1X", "1.", "2000000000.gI1X", "99999999999999999999.gI1X", "3 .gI1X" })
    {
        block = juce::MemoryBlock ("keep", 4);
        EXPECT_FALSE (StandalonePluginHolder::decodeStateText (text, block)) << "\"" << text << "\"";
        EXPECT_EQ (block, juce::MemoryBlock ("keep", 4)) << "\"" << text << "\"";
    }
}
