#include "PluginEditor.h"
#include "ProcessorTestHelpers.h"
#include "StressSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

using namespace tarrowby::test;

namespace
{
/** Fills every channel with its own mix of noise, DC, an alternating square, sparse impulses and denormals. */
void fillHostile (juce::AudioBuffer<float>& buffer, juce::Random& random, float amplitude)
{
    for (int c = 0; c < buffer.getNumChannels(); ++c)
    {
        auto* samples = buffer.getWritePointer (c);

        for (int i = 0; i < buffer.getNumSamples(); ++i)
        {
            float x = 0.0f;

            switch ((c + i / 97) % 6)
            {
                case 0:  x = 2.0f * random.nextFloat() - 1.0f; break;
                case 1:  x = 1.0f; break;
                case 2:  x = (i & 1) != 0 ? 1.0f : -1.0f; break;
                case 3:  x = (i % 31) == 0 ? 1.0f : 0.0f; break;
                case 4:  x = 1.0e-39f * (float) ((i % 3) - 1); break;
                default: x = 0.0f; break;
            }

            samples[i] = amplitude * x;
        }
    }
}

const double sampleRates[] = { 22050.0, 24000.0, 32000.0, 44100.0, 48000.0, 88200.0, 96000.0, 176400.0, 192000.0 };

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

/** Random switch flags, random levels. */
void randomiseSwitches (Processor& processor, juce::Random& random)
{
    for (int c = 0; c < Processor::numChannels; ++c)
    {
        processor.channelMute[(size_t) c] = random.nextInt (5) == 0;
        processor.channelSolo[(size_t) c] = random.nextInt (4) == 0;
        processor.channelBassManaged[(size_t) c] = random.nextBool();
    }

    processor.mutesBypassed = random.nextInt (4) == 0;
    processor.solosBypassed = random.nextBool();
    processor.bassManagementBypassed = random.nextInt (4) == 0;
}

void randomiseParameters (Processor& processor, juce::Random& random)
{
    // Ends of the ranges as often as anything between.
    auto pick = [&] { return random.nextBool() ? (float) random.nextInt (2) : random.nextFloat(); };

    for (const auto* id : { "gain", "balance", "dim", "mute" })
        setNormalised (processor, id, pick());
}

/** Noise blocks of every given size, sharing one allocation made up front. */
struct Blocks
{
    Blocks (const std::vector<int>& sizes, int numChannels = 16)
        : source (numChannels, juce::jmax (1, *std::max_element (sizes.begin(), sizes.end())))
    {
        for (auto size : sizes)
            views.push_back (std::make_unique<juce::AudioBuffer<float>> (source.getArrayOfWritePointers(), numChannels, size));
    }

    juce::AudioBuffer<float> source;
    std::vector<std::unique_ptr<juce::AudioBuffer<float>>> views;
};

/** A processor prepared at 48 kHz whose blocks run on a thread of their own, through every size. */
struct ProcessorUnderLoad
{
    explicit ProcessorUnderLoad (Processor& p, int preparedSize = 512)
        : processor (p), blocks (blockSizesFor (preparedSize))
    {
        configure (processor, 16, 16, 48000.0, preparedSize);
        processor.prepareToPlay (48000.0, preparedSize);
        midi.ensureSize (64);

        audio = std::make_unique<LoopingThread> ([this]
        {
            auto& block = *blocks.views[next++ % blocks.views.size()];
            fillHostile (block, random, 0.9f);
            processor.processBlock (block, midi);

            if (! allFinite (block, block.getNumSamples()))
                ++nonFiniteBlocks;
        });
    }

    /** Stops the blocks and checks what every stress test demands of them. */
    void finish()
    {
        const auto allocations = audio->stop();
        EXPECT_EQ (allocations, 0) << "the audio thread allocated";
        EXPECT_EQ (nonFiniteBlocks.load(), 0) << "finite input gave non-finite output";
    }

    Processor& processor;
    Blocks blocks;
    juce::MidiBuffer midi;
    juce::Random random { 42 };
    size_t next = 0;
    std::atomic<int> nonFiniteBlocks { 0 };
    std::unique_ptr<LoopingThread> audio;
};

/** As the application runs: the editor shows its meters only in a stand-alone process. */
struct ScopedStandalone
{
    ScopedStandalone()  { juce::PluginHostType::jucePlugInClientCurrentWrapperType = juce::AudioProcessor::wrapperType_Standalone; }
    ~ScopedStandalone() { juce::PluginHostType::jucePlugInClientCurrentWrapperType = previous; }

    juce::AudioProcessor::WrapperType previous = juce::PluginHostType::jucePlugInClientCurrentWrapperType;
};

/** Opens the editor as the host's content does, and closes it the same way. */
struct OpenEditor
{
    explicit OpenEditor (Processor& p) : processor (p), editor (p.createEditorIfNeeded()) {}
    ~OpenEditor()  { processor.editorBeingDeleted (editor.get()); }

    auto* get() const   { return dynamic_cast<Processor::JuceDemoPluginAudioProcessorEditor*> (editor.get()); }

    Processor& processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor;
};

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
} // namespace

//==============================================================================
TEST (ProcessorStress, AnyBlockSizeUpToTwiceThePreparedOneGivesFiniteOutputWithoutAllocating)
{
    juce::Random random (7);

    for (const auto prepared : { 1, 64, 512, 4096, 8192 })
    {
        Processor processor;
        configure (processor, 16, 16, 48000.0, prepared);
        processor.prepareToPlay (48000.0, prepared);

        const auto sizes = blockSizesFor (prepared);
        Blocks blocks (sizes);
        juce::MidiBuffer midi;
        midi.ensureSize (64);

        for (const auto amplitude : { 1.0f, 1.0e3f, 1.0e30f })
        {
            for (int round = 0; round < 4; ++round)
            {
                for (auto& block : blocks.views)
                {
                    randomiseSwitches (processor, random);
                    randomiseParameters (processor, random);
                    fillHostile (*block, random, amplitude);

                    long long allocations = 0;
                    {
                        ScopedAllocationCounter counter;
                        processor.processBlock (*block, midi);
                        allocations = counter.getCount();
                    }

                    ASSERT_EQ (allocations, 0) << block->getNumSamples() << " samples, prepared " << prepared;
                    ASSERT_TRUE (allFinite (*block, block->getNumSamples()))
                        << block->getNumSamples() << " samples, prepared " << prepared << ", amplitude " << amplitude;
                }
            }
        }
    }
}

TEST (ProcessorStress, RepreparingAtEveryRateWithoutAReleaseTakesTheNewRate)
{
    Processor processor;
    configure (processor);
    clearSwitches (processor);
    processor.channelBassManaged[4] = true;
    setNormalised (processor, "balance", 0.3f);

    juce::Random random (3);
    juce::MidiBuffer midi;
    midi.ensureSize (64);
    juce::AudioBuffer<float> block (16, 2 * 4096);

    // Up and down the range, twice, with block sizes that change with every preparation.
    std::vector<double> order (std::begin (sampleRates), std::end (sampleRates));
    order.insert (order.end(), order.rbegin(), order.rend());
    order.insert (order.end(), order.begin(), order.end());

    for (size_t step = 0; step < order.size(); ++step)
    {
        const auto rate = order[step];
        const int prepared = 1 << (5 + (int) (step % 8));   // 32 .. 4096

        processor.setRateAndBufferSizeDetails (rate, prepared);
        processor.prepareToPlay (rate, prepared);

        if (step % 3 == 0)
            processor.prepareToPlay (rate, prepared);   // twice, as some hosts do

        Processor fresh;
        setNormalised (fresh, "balance", 0.3f);
        fresh.prepareToPlay (rate, prepared);

        for (int f = 0; f < Processor::numCrossoverFilters; ++f)
        {
            const auto expected = fresh.crossoverFilters[(size_t) f]->getCoefficients();
            const auto actual = processor.crossoverFilters[(size_t) f]->getCoefficients();
            ASSERT_EQ (std::memcmp (expected.coefficients, actual.coefficients, sizeof (expected.coefficients)), 0)
                << "filter " << f << " at " << rate << " Hz";
        }

        // Half a second of DC through the managed channel: the high-pass removes it at any rate.
        int remaining = (int) rate / 2;

        while (remaining > 0)
        {
            const auto n = juce::jmin (remaining, random.nextInt ({ 1, 2 * prepared + 1 }));
            juce::AudioBuffer<float> view (block.getArrayOfWritePointers(), 16, n);

            for (int c = 0; c < 16; ++c)
                juce::FloatVectorOperations::fill (view.getWritePointer (c), 0.5f, n);

            {
                ScopedAllocationCounter counter;
                processor.processBlock (view, midi);
                ASSERT_EQ (counter.getCount(), 0);
            }

            ASSERT_TRUE (allFinite (view, n)) << rate << " Hz";
            remaining -= n;

            if (remaining == 0)
                EXPECT_LT (std::abs (view.getSample (4, n - 1)), 1.0e-3f) << rate << " Hz";
        }
    }
}

TEST (ProcessorStress, ParametersWrittenFromAnotherThreadWhileBlocksRun)
{
    Processor processor;
    ProcessorUnderLoad load (processor);

    juce::Random writerRandom (11);
    LoopingThread writer ([&] { randomiseParameters (processor, writerRandom); });

    // The message thread meanwhile runs the tree's own timer, and saves the state now and then.
    for (int i = 0; i < 20; ++i)
    {
        ASSERT_TRUE (load.audio->waitForMore (50));
        ASSERT_TRUE (writer.waitForMore (50));

        juce::MemoryBlock state;
        processor.getStateInformation (state);
        EXPECT_GT (state.getSize(), 9u);
    }

    writer.stop();
    load.finish();

    for (auto* parameter : processor.getParameters())
        EXPECT_TRUE (parameter->getValue() >= 0.0f && parameter->getValue() <= 1.0f);
}

TEST (ProcessorStress, EditorOpenedAndClosedWhileBlocksRun)
{
    ScopedStandalone standalone;
    Processor processor;
    ProcessorUnderLoad load (processor);
    juce::Random random (5);

    for (int round = 0; round < 6; ++round)
    {
        {
            OpenEditor editor (processor);
            ASSERT_NE (editor.get(), nullptr);

            // Flip a few switches; the poll copies them while blocks run.
            for (auto* row : { &editor.get()->muteButtons, &editor.get()->soloButtons, &editor.get()->bassButtons })
                for (auto& button : *row)
                    if (button != nullptr && random.nextInt (4) == 0)
                        button->setToggleState (! button->getToggleState(), juce::sendNotificationSync);

            // Long enough for the meters' refresh and the switch poll to run, while blocks keep coming.
            const auto blocksBefore = load.audio->getIterations();
            pumpMessages (220 + 40 * round);
            EXPECT_GT (load.audio->getIterations(), blocksBefore) << "blocks stalled while the editor was open";

            if (auto& mute0 = editor.get()->muteButtons[0])
                EXPECT_EQ (processor.channelMute[0].load(), mute0->getToggleState());
        }

        // And a few that are closed again before any timer has fired.
        for (int i = 0; i < 5; ++i)
        {
            OpenEditor quick (processor);
            pumpMessages (1);
        }

        ASSERT_TRUE (load.audio->waitForMore (20));
    }

    load.finish();
    EXPECT_EQ (processor.getActiveEditor(), nullptr);
}

TEST (ProcessorStress, StateSavedAndLoadedWhileBlocksRun)
{
    Processor processor;
    ProcessorUnderLoad load (processor);

    const juce::MemoryBlock states[] = { stateWith (-20.0f, 100.0f, 600), stateWith (0.0f, 80.0f, 472), stateWith (-60.0f, 125.0f, 300) };
    const float gains[] = { 40.0f / 60.0f, 1.0f, 0.0f };

    auto garbage = states[0];
    garbage[20] = '\0';                     // text cut short: ignored
    auto truncated = states[1];
    truncated.setSize (states[1].getSize() / 2);   // half the text: malformed XML, ignored

    for (int i = 0; i < 60; ++i)
    {
        const auto k = (size_t) i % 3;
        processor.setStateInformation (states[k].getData(), (int) states[k].getSize());
        EXPECT_FLOAT_EQ (getNormalised (processor, "gain"), gains[k]);

        processor.setStateInformation (garbage.getData(), (int) garbage.getSize());
        processor.setStateInformation (truncated.getData(), (int) truncated.getSize());
        EXPECT_FLOAT_EQ (getNormalised (processor, "gain"), gains[k]);

        juce::MemoryBlock saved;
        processor.getStateInformation (saved);
        EXPECT_EQ (saved, states[k]);

        // The tree's timer and the poll get their turn, and blocks keep coming.
        ASSERT_TRUE (load.audio->waitForMore (10));
    }

    load.finish();
}

TEST (ProcessorStress, SwitchFlagsChangedBetweenBlocksTakeEffectOnTheNextBlock)
{
    Processor processor;
    configure (processor);
    processor.prepareToPlay (48000.0, 512);

    juce::Random random (9);
    juce::MidiBuffer midi;

    for (int block = 0; block < 400; ++block)
    {
        randomiseSwitches (processor, random);
        const auto n = random.nextInt ({ 0, 1025 });
        const auto input = makeNoise (16, n, 0.5f, block);
        auto output = input;
        process (processor, output);

        bool anySolo = false;

        for (auto& solo : processor.channelSolo)
            anySolo = anySolo || solo.load();

        for (int c = 0; c < Processor::numChannels; ++c)
        {
            const auto muted = processor.channelMute[(size_t) c].load() && ! processor.mutesBypassed.load();
            const auto soloedOut = anySolo && ! processor.solosBypassed.load() && ! processor.channelSolo[(size_t) c].load();
            const auto managed = processor.channelBassManaged[(size_t) c].load() && ! processor.bassManagementBypassed.load();

            if (muted || soloedOut)
                ASSERT_EQ (output.getMagnitude (c, 0, n), 0.0f) << "channel " << c << ", block " << block;
            else if (! managed && c != Processor::bassTargetChannel)
                for (int i = 0; i < n; ++i)
                    ASSERT_EQ (output.getSample (c, i), input.getSample (c, i)) << "channel " << c << ", block " << block;
        }
    }
}

TEST (ProcessorStress, SwitchFlagsChangedDuringBlocks)
{
    Processor processor;
    ProcessorUnderLoad load (processor);

    juce::Random flipperRandom (13);
    LoopingThread flipper ([&] { randomiseSwitches (processor, flipperRandom); });

    ASSERT_TRUE (load.audio->waitForMore (2000, 20000));
    ASSERT_TRUE (flipper.waitForMore (2000, 20000));

    flipper.stop();
    load.finish();
}

TEST (ProcessorStress, EverythingAtOnce)
{
    ScopedStandalone standalone;
    Processor processor;
    ProcessorUnderLoad load (processor);

    juce::Random writerRandom (17), random (19);
    LoopingThread writer ([&]
    {
        // At an automation rate: every write also reaches the open editor's attachments.
        randomiseParameters (processor, writerRandom);
        std::this_thread::sleep_for (std::chrono::microseconds (200));
    });

    const auto state = stateWith (-12.0f, 110.0f, 500);

    for (int round = 0; round < 4; ++round)
    {
        OpenEditor editor (processor);

        for (int i = 0; i < 10; ++i)
        {
            if (auto* e = editor.get())
                if (auto& button = e->soloBypassButton)
                    button->setToggleState (random.nextBool(), juce::sendNotificationSync);

            processor.setStateInformation (state.getData(), (int) state.getSize());

            juce::MemoryBlock saved;
            processor.getStateInformation (saved);

            pumpMessages (25);
        }

        ASSERT_TRUE (load.audio->waitForMore (10));
        ASSERT_TRUE (writer.waitForMore (10));
    }

    writer.stop();
    load.finish();
}
