#include "ProcessorTestHelpers.h"
#include "PluginEditor.h"
#include "SwitchDefaults.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;

TEST (ProcessorConstruction, ParametersInOrderWithEffectiveDefaults)
{
    Processor processor;
    const auto& params = processor.getParameters();
    ASSERT_EQ (params.size(), 4);

    struct Expected { const char* id; const char* name; float start, end, normalised; };
    const Expected expected[] = { { "gain", "Gain", -60.0f, 0.0f, 1.0f },
                                  { "balance", "Balance", 80.0f, 125.0f, 0.0f },
                                  { "dim", "Dim", 0.0f, 1.0f, 0.0f },
                                  { "mute", "Mute", 0.0f, 1.0f, 0.0f } };

    for (int i = 0; i < 4; ++i)
    {
        auto* param = dynamic_cast<juce::AudioParameterFloat*> (params[i]);
        ASSERT_NE (param, nullptr);
        const auto& e = expected[i];
        EXPECT_EQ (param->paramID, e.id);
        EXPECT_EQ (param->getName (100), e.name);
        EXPECT_EQ (param->getLabel(), "");
        EXPECT_EQ (param->range.start, e.start);
        EXPECT_EQ (param->range.end, e.end);
        EXPECT_EQ (param->range.interval, 0.0f);
        EXPECT_EQ (param->range.skew, 1.0f);
        const juce::AudioProcessorParameter& base = *param;
        EXPECT_EQ (base.getValue(), e.normalised) << e.id;
        EXPECT_EQ (base.getDefaultValue(), e.normalised) << e.id;
        EXPECT_EQ (processor.parameters.getParameter (e.id), param);
    }
}

TEST (ProcessorConstruction, TreeHoldsSortedParamsThenUiState)
{
    Processor processor;
    const auto& state = processor.parameters.state;
    EXPECT_EQ (state.getType().toString(), "state");
    ASSERT_EQ (state.getNumChildren(), 5);

    const char* ids[] = { "balance", "dim", "gain", "mute" };
    const double values[] = { 80.0, 0.0, 0.0, 0.0 };

    for (int i = 0; i < 4; ++i)
    {
        const auto child = state.getChild (i);
        EXPECT_EQ (child.getType().toString(), "PARAM");
        EXPECT_EQ (child["id"].toString(), ids[i]);
        EXPECT_EQ ((double) child["value"], values[i]) << ids[i];
    }

    const auto uiState = state.getChild (4);
    EXPECT_EQ (uiState.getType().toString(), "uiState");
    EXPECT_TRUE (uiState["width"].isInt());
    EXPECT_EQ ((int) uiState["width"], 472);
    EXPECT_EQ ((int) uiState["height"], 310);
}

TEST (ProcessorConstruction, StartsWithEditorSwitchDefaultsAndNoPeaks)
{
    Processor processor;

    for (int c = 0; c < Processor::numChannels; ++c)
    {
        EXPECT_EQ (processor.peakLevels[(size_t) c].load(), 0.0f);
        EXPECT_EQ (processor.channelMute[(size_t) c].load(), c >= 12);
        EXPECT_EQ (processor.channelSolo[(size_t) c].load(), c >= 8 && c <= 11);
        EXPECT_EQ (processor.channelBassManaged[(size_t) c].load(), c >= 4 && c <= 11);
    }

    EXPECT_FALSE (processor.mutesBypassed.load());
    EXPECT_TRUE (processor.solosBypassed.load());
    EXPECT_FALSE (processor.bassManagementBypassed.load());
    EXPECT_FALSE (processor.bassSignalPresent.load());
    EXPECT_FALSE (processor.channelPairsDiffer.load());
    EXPECT_EQ (processor.lastGainValue, 0.8f);
    EXPECT_EQ (processor.lastCrossoverValue, 0.5f);
}

TEST (ProcessorConstruction, SimpleProperties)
{
    Processor processor;
    EXPECT_EQ (processor.getName(), "Tarrowby");
    EXPECT_FALSE (processor.supportsDoublePrecisionProcessing());
    EXPECT_EQ (processor.getTailLengthSeconds(), 0.0);
    EXPECT_TRUE (processor.acceptsMidi());
    EXPECT_FALSE (processor.producesMidi());
    EXPECT_TRUE (processor.hasEditor());
    EXPECT_EQ (processor.getNumPrograms(), 0);
    EXPECT_EQ (processor.getCurrentProgram(), 0);

    for (int index : { -1, 0, 1, 99 })
        EXPECT_EQ (processor.getProgramName (index), "");

    EXPECT_TRUE (processor.isTimerRunning());
    EXPECT_EQ (processor.getTimerInterval(), 200);

    ASSERT_EQ (processor.getBusCount (true), 1);
    ASSERT_EQ (processor.getBusCount (false), 1);
    EXPECT_EQ (processor.getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (processor.getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (processor.getBus (true, 0)->getDefaultLayout(), juce::AudioChannelSet::stereo());
    EXPECT_EQ (processor.getBus (false, 0)->getDefaultLayout(), juce::AudioChannelSet::stereo());
}

TEST (ProcessorConstruction, LayoutRule)
{
    Processor processor;
    using Set = juce::AudioChannelSet;

    auto supports = [&] (std::initializer_list<Set> ins, std::initializer_list<Set> outs)
    {
        juce::AudioProcessor::BusesLayout layout;
        for (auto& s : ins) layout.inputBuses.add (s);
        for (auto& s : outs) layout.outputBuses.add (s);
        return processor.isBusesLayoutSupported (layout);
    };

    EXPECT_TRUE (supports ({ Set::disabled() }, { Set::stereo() }));
    EXPECT_TRUE (supports ({}, { Set::stereo() }));
    EXPECT_TRUE (supports ({ Set::stereo() }, { Set::stereo() }));
    EXPECT_TRUE (supports ({ Set::discreteChannels (16) }, { Set::discreteChannels (16) }));
    EXPECT_FALSE (supports ({ Set::mono() }, { Set::stereo() }));
    EXPECT_FALSE (supports ({ Set::discreteChannels (2) }, { Set::stereo() }));
    EXPECT_FALSE (supports ({ Set::stereo() }, { Set::disabled() }));
    EXPECT_FALSE (supports ({ Set::disabled() }, { Set::disabled() }));
    EXPECT_FALSE (supports ({ Set::stereo() }, {}));
    EXPECT_FALSE (supports ({}, {}));
}

TEST (ProcessorConstruction, FiltersStayInactiveUntilPrepared)
{
    // Also covers a reset to defaults: every new processor starts with inactive filters.
    for (int round = 0; round < 2; ++round)
    {
        Processor processor;

        for (auto& filter : processor.crossoverFilters)
        {
            ASSERT_NE (filter, nullptr);
            const auto coefficients = filter->getCoefficients();

            for (auto value : coefficients.coefficients)
                EXPECT_EQ (value, 0.0f);

            float samples[] = { 0.5f, -0.25f, 1.0f, 0.0f };
            filter->processSamples (samples, 4);
            EXPECT_EQ (samples[0], 0.5f);
            EXPECT_EQ (samples[2], 1.0f);
        }
    }
}

TEST (ProcessorConstruction, CreatesItsOwnEditor)
{
    Processor processor;
    std::unique_ptr<juce::AudioProcessorEditor> editor (processor.createEditor());
    EXPECT_NE (dynamic_cast<Processor::JuceDemoPluginAudioProcessorEditor*> (editor.get()), nullptr);
    EXPECT_EQ (editor->getAudioProcessor(), &processor);
}
