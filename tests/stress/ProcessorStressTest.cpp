#include "ProcessorTestHelpers.h"
#include "StressSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

using namespace tarrowby::test;

namespace
{
/** 0, 1, primes, and the sizes around, at and twice the prepared one. */
std::vector<int> blockSizesFor (int preparedSize)
{
    std::vector<int> sizes { 0, 1, 2, 3, 5, 7, 13, 31, 61, 127, 257, 509, 1021, 4093 };
    sizes.erase (std::remove_if (sizes.begin(), sizes.end(), [&] (int n) { return n > 2 * preparedSize; }), sizes.end());

    for (auto n : { preparedSize - 1, preparedSize, preparedSize + 1, 2 * preparedSize })
        if (n >= 0)
            sizes.push_back (n);

    return sizes;
}

/** Blocks of every given size over one allocation made up front. */
struct Blocks
{
    explicit Blocks (const std::vector<int>& sizes)
        : source (16, juce::jmax (1, *std::max_element (sizes.begin(), sizes.end())))
    {
        for (auto size : sizes)
            views.push_back (std::make_unique<juce::AudioBuffer<float>> (source.getArrayOfWritePointers(), 16, size));
    }

    juce::AudioBuffer<float> source;
    std::vector<std::unique_ptr<juce::AudioBuffer<float>>> views;
};

/** Fills every channel with its own mix of noise, DC, an alternating square, sparse impulses and denormals. */
void fillHostile (juce::AudioBuffer<float>& buffer, juce::Random& random, float amplitude)
{
    for (int c = 0; c < buffer.getNumChannels(); ++c)
    {
        auto* samples = buffer.getWritePointer (c);

        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            const float kinds[] = { 2.0f * random.nextFloat() - 1.0f, 1.0f, (i & 1) != 0 ? 1.0f : -1.0f,
                                    (i % 31) == 0 ? 1.0f : 0.0f, 1.0e-39f * (float) ((i % 3) - 1), 0.0f };
            samples[i] = amplitude * kinds[(c + i / 97) % 6];
        }
    }
}

void randomiseSwitches (Processor& processor, juce::Random& random)
{
    for (size_t c = 0; c < Processor::numChannels; ++c)
    {
        processor.channelMute[c] = random.nextInt (5) == 0;
        processor.channelSolo[c] = random.nextInt (4) == 0;
        processor.channelBassManaged[c] = random.nextBool();
    }

    processor.mutesBypassed = random.nextInt (4) == 0;
    processor.solosBypassed = random.nextBool();
    processor.bassManagementBypassed = random.nextInt (4) == 0;
}

void randomiseParameters (Processor& processor, juce::Random& random)
{
    // Ends of the ranges as often as anything between.
    for (const auto* id : { "gain", "balance", "dim", "mute" })
        setNormalised (processor, id, random.nextBool() ? (float) random.nextInt (2) : random.nextFloat());
}

juce::MemoryBlock stateWith (float gainDb, float crossoverHz, int width)
{
    Processor source;
    setNormalised (source, "gain", (gainDb + 60.0f) / 60.0f);
    setNormalised (source, "balance", (crossoverHz - 80.0f) / 45.0f);
    source.parameters.state.getChildWithName ("uiState").setProperty ("width", width, nullptr);

    juce::MemoryBlock bytes;
    source.getStateInformation (bytes);
    return bytes;
}

/** Opens the editor as the host's content does, and closes it the same way. */
struct OpenEditor
{
    explicit OpenEditor (Processor& p) : processor (p), editor (p.createEditorIfNeeded()) {}
    ~OpenEditor()  { processor.editorBeingDeleted (editor.get()); }

    auto* get() const   { return dynamic_cast<Processor::JuceDemoPluginAudioProcessorEditor*> (editor.get()); }

    Processor& processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor;
};

/** What happens on other threads and on the message thread while blocks run. */
enum Disturbance { writeParameters = 1, flipSwitches = 2, openEditors = 4, loadStates = 8, everything = 15 };

/**
    Runs hostile blocks of every size on an audio thread of their own while the disturbances
    happen, then checks that the audio thread never allocated and always played finite output,
    and that nothing stalled or deadlocked.
*/
void runWhileBlocksRun (int disturbances)
{
    const auto has = [disturbances] (Disturbance d) { return (disturbances & d) != 0; };
    ScopedWrapperType standalone;   // the editor refreshes its meters only in a stand-alone process
    Processor processor;
    configure (processor, 16, 16, 48000.0, 512);
    processor.prepareToPlay (48000.0, 512);

    Blocks blocks (blockSizesFor (512));
    juce::MidiBuffer midi;
    midi.ensureSize (64);
    juce::Random audioRandom (42), writerRandom (11), flipperRandom (13), random (5);
    std::atomic<int> nonFiniteBlocks { 0 };
    size_t next = 0;

    LoopingThread audio ([&]
    {
        auto& block = *blocks.views[next++ % blocks.views.size()];
        fillHostile (block, audioRandom, 0.9f);
        processor.processBlock (block, midi);

        if (! allFinite (block, block.getNumSamples()))
            ++nonFiniteBlocks;
    });

    std::optional<LoopingThread> writer, flipper;

    if (has (writeParameters))
        writer.emplace ([&]
        {
            randomiseParameters (processor, writerRandom);

            // At an automation rate while every write also reaches an open editor's attachments.
            if (has (openEditors))
                std::this_thread::sleep_for (std::chrono::microseconds (200));
        });

    if (has (flipSwitches))
        flipper.emplace ([&] { randomiseSwitches (processor, flipperRandom); });

    const juce::MemoryBlock states[] = { stateWith (-20.0f, 100.0f, 600), stateWith (0.0f, 80.0f, 472), stateWith (-60.0f, 125.0f, 300) };

    for (int round = 0; round < 6; ++round)
    {
        std::optional<OpenEditor> editor;

        if (has (openEditors))
        {
            auto* e = editor.emplace (processor).get();
            ASSERT_NE (e, nullptr);

            // Flip a few switches; the editor's poll copies them while blocks run.
            for (auto* row : { &e->muteButtons, &e->soloButtons, &e->bassButtons })
                for (auto& button : *row)
                    if (button != nullptr && random.nextInt (4) == 0)
                        button->setToggleState (! button->getToggleState(), juce::sendNotificationSync);

            e->soloBypassButton->setToggleState (random.nextBool(), juce::sendNotificationSync);
        }

        for (int i = 0; i < 10; ++i)
        {
            const auto& state = states[(size_t) (round + i) % 3];

            if (has (loadStates))
                processor.setStateInformation (state.getData(), (int) state.getSize());

            juce::MemoryBlock saved;
            processor.getStateInformation (saved);

            if (has (loadStates) && ! has (writeParameters))
                EXPECT_EQ (saved, state) << "what was loaded is what is saved";

            // The tree's timer and the poll get their turn, and blocks keep coming.
            ASSERT_TRUE (audio.waitForMore (10)) << "blocks stalled";
        }

        if (editor.has_value())
        {
            // Long enough for the meters' refresh and the switch poll to run.
            pumpMessages (220 + 40 * round);

            if (auto& mute0 = editor->get()->muteButtons[0]; mute0 != nullptr && ! flipper.has_value())
                EXPECT_EQ (processor.channelMute[0].load(), mute0->getToggleState());

            editor.reset();

            // And a few that are closed again before any timer has fired.
            for (int i = 0; i < 5; ++i)
            {
                OpenEditor quick (processor);
                pumpMessages (1);
            }
        }

        ASSERT_TRUE (audio.waitForMore (200)) << "blocks stalled";

        for (auto* other : { &writer, &flipper })
            if (other->has_value())
                ASSERT_TRUE ((*other)->waitForMore (50));
    }

    writer.reset();
    flipper.reset();
    EXPECT_EQ (audio.stop(), 0) << "the audio thread allocated";
    EXPECT_EQ (nonFiniteBlocks.load(), 0) << "finite input gave non-finite output";
    EXPECT_EQ (processor.getActiveEditor(), nullptr);

    for (auto* parameter : processor.getParameters())
        EXPECT_TRUE (parameter->getValue() >= 0.0f && parameter->getValue() <= 1.0f);
}
} // namespace

//==============================================================================
TEST (ProcessorStress, BlocksOfAnySizeAtAnyRateGiveFiniteOutputWithoutAllocating)
{
    Processor processor;
    configure (processor);
    juce::Random random (7);
    juce::MidiBuffer midi;
    midi.ensureSize (64);

    // Up and down the rates without a release, prepared for another size each time.
    std::vector<double> rates { 22050.0, 24000.0, 32000.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0 };
    rates.insert (rates.end(), rates.rbegin(), rates.rend());
    const int preparedSizes[] = { 1, 64, 512, 4096, 8192, 32, 1000 };

    for (size_t step = 0; step < rates.size(); ++step)
    {
        const auto rate = rates[step];
        const auto prepared = preparedSizes[step % 7];
        processor.setRateAndBufferSizeDetails (rate, prepared);

        for (size_t i = 0; i <= step % 2; ++i)
            processor.prepareToPlay (rate, prepared);   // now and then twice, as some hosts do

        Processor fresh;
        setNormalised (fresh, "balance", getNormalised (processor, "balance"));
        fresh.prepareToPlay (rate, prepared);

        for (size_t f = 0; f < Processor::numCrossoverFilters; ++f)
            ASSERT_EQ (std::memcmp (fresh.crossoverFilters[f]->getCoefficients().coefficients,
                                    processor.crossoverFilters[f]->getCoefficients().coefficients, 5 * sizeof (float)), 0)
                << "filter " << f << " at " << rate << " Hz";

        Blocks blocks (blockSizesFor (prepared));

        for (const auto amplitude : { 1.0f, 1.0e3f, 1.0e30f })
        {
            for (auto& block : blocks.views)
            {
                randomiseSwitches (processor, random);
                randomiseParameters (processor, random);
                fillHostile (*block, random, amplitude);
                const auto n = block->getNumSamples();

                {
                    ScopedAllocationCounter counter;
                    processor.processBlock (*block, midi);
                    ASSERT_EQ (counter.getCount(), 0) << n << " samples, prepared " << prepared;
                }

                ASSERT_TRUE (allFinite (*block, n)) << n << " samples, prepared " << prepared << ", amplitude " << amplitude;

                // Switches changed between blocks take effect in the next one.
                const auto anySolo = std::any_of (processor.channelSolo.begin(), processor.channelSolo.end(),
                                                  [] (auto& solo) { return solo.load(); });

                for (size_t c = 0; c < Processor::numChannels; ++c)
                    if ((processor.channelMute[c] && ! processor.mutesBypassed)
                        || (anySolo && ! processor.solosBypassed && ! processor.channelSolo[c]))
                        ASSERT_EQ (block->getMagnitude ((int) c, 0, n), 0.0f) << "channel " << c;
            }
        }
    }
}

TEST (ProcessorStress, ParametersWrittenFromAnotherThreadWhileBlocksRun)  { runWhileBlocksRun (writeParameters); }
TEST (ProcessorStress, SwitchFlagsChangedDuringBlocks)                    { runWhileBlocksRun (flipSwitches); }
TEST (ProcessorStress, EditorOpenedAndClosedWhileBlocksRun)               { runWhileBlocksRun (openEditors); }
TEST (ProcessorStress, StateSavedAndLoadedWhileBlocksRun)                 { runWhileBlocksRun (loadStates); }
TEST (ProcessorStress, EverythingAtOnce)                                  { runWhileBlocksRun (everything); }
