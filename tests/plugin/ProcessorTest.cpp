#include "ProcessorTestHelpers.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

using namespace tarrowby::test;

namespace
{
const std::string defaultText = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <state>"
                                "<PARAM id=\"balance\" value=\"80.0\"/><PARAM id=\"dim\" value=\"0.0\"/>"
                                "<PARAM id=\"gain\" value=\"0.0\"/><PARAM id=\"mute\" value=\"0.0\"/>"
                                "<uiState width=\"472\" height=\"310\"/></state>";

float valueOf (Processor& processor, juce::StringRef id)
{
    auto* param = processor.parameters.getParameter (id);
    return param->convertFrom0to1 (param->getValue());
}

void expectCoefficients (const Processor& processor, int index, const juce::IIRCoefficients& expected, double relative)
{
    const auto actual = processor.crossoverFilters[(size_t) index]->getCoefficients();

    for (int i = 0; i < 5; ++i)
        EXPECT_NEAR (actual.coefficients[i], expected.coefficients[i], std::abs (expected.coefficients[i]) * relative)
            << "filter " << index << ", coefficient " << i;
}
} // namespace

TEST (Processor, NewProcessorHasItsParametersTreeSwitchesAndBuses)
{
    Processor processor;
    const auto& params = processor.getParameters();
    ASSERT_EQ (params.size(), 4);

    struct Expected { const char* id; const char* name; float start, end, normalised; };
    const Expected expected[] = { { "gain", "Gain", -60.0f, 0.0f, 1.0f }, { "balance", "Balance", 80.0f, 125.0f, 0.0f },
                                  { "dim", "Dim", 0.0f, 1.0f, 0.0f }, { "mute", "Mute", 0.0f, 1.0f, 0.0f } };

    for (int i = 0; i < 4; ++i)
    {
        auto* param = dynamic_cast<juce::AudioParameterFloat*> (params[i]);
        ASSERT_NE (param, nullptr);
        const auto& e = expected[i];
        EXPECT_EQ (param->paramID, e.id);
        EXPECT_EQ (param->getName (100), e.name);
        EXPECT_EQ (param->range.start, e.start);
        EXPECT_EQ (param->range.end, e.end);
        EXPECT_EQ (param->range.interval, 0.0f);
        EXPECT_EQ (param->range.skew, 1.0f);
        EXPECT_EQ (static_cast<juce::AudioProcessorParameter*> (param)->getValue(), e.normalised) << e.id;
        EXPECT_EQ (static_cast<juce::AudioProcessorParameter*> (param)->getDefaultValue(), e.normalised) << e.id;
    }

    // The tree: the parameters sorted by id, then the editor size.
    const auto& state = processor.parameters.state;
    EXPECT_EQ (state.getType().toString(), "state");
    ASSERT_EQ (state.getNumChildren(), 5);
    const char* ids[] = { "balance", "dim", "gain", "mute" };

    for (int i = 0; i < 4; ++i)
    {
        EXPECT_EQ (state.getChild (i).getType().toString(), "PARAM");
        EXPECT_EQ (state.getChild (i)["id"].toString(), ids[i]);
        EXPECT_EQ ((double) state.getChild (i)["value"], i == 0 ? 80.0 : 0.0);
    }

    const auto uiState = state.getChild (4);
    EXPECT_EQ (uiState.getType().toString(), "uiState");
    EXPECT_TRUE (uiState["width"].isInt());
    EXPECT_EQ ((int) uiState["width"], 472);
    EXPECT_EQ ((int) uiState["height"], 310);

    // Until the poll first reads an editor, the flags hold the editor's default switches.
    for (size_t c = 0; c < 16; ++c)
    {
        EXPECT_EQ (processor.peakLevels[c].load(), 0.0f);
        EXPECT_EQ (processor.channelMute[c].load(), c >= 12) << c;
        EXPECT_EQ (processor.channelSolo[c].load(), c >= 8 && c <= 11) << c;
        EXPECT_EQ (processor.channelBassManaged[c].load(), c >= 4 && c <= 11) << c;
    }

    EXPECT_FALSE (processor.mutesBypassed.load());
    EXPECT_TRUE (processor.solosBypassed.load());
    EXPECT_FALSE (processor.bassManagementBypassed.load());
    EXPECT_FALSE (processor.bassSignalPresent.load() || processor.channelPairsDiffer.load());

    EXPECT_EQ (processor.getName(), "Tarrowby");
    EXPECT_TRUE (processor.acceptsMidi());
    EXPECT_FALSE (processor.producesMidi());
    EXPECT_EQ (processor.getTimerInterval(), 200);
    ASSERT_EQ (processor.getBusCount (true), 1);
    ASSERT_EQ (processor.getBusCount (false), 1);
    EXPECT_EQ (processor.getBus (true, 0)->getName(), "Input");
    EXPECT_EQ (processor.getBus (false, 0)->getName(), "Output");
    EXPECT_EQ (processor.getBus (true, 0)->getDefaultLayout(), juce::AudioChannelSet::stereo());

    // The filters stay inactive until prepared.
    for (auto& filter : processor.crossoverFilters)
        EXPECT_EQ (filter->getCoefficients().coefficients[0], 0.0f);
}

TEST (Processor, LayoutNeedsAnEnabledOutputAndAnInputThatIsDisabledOrMatchesIt)
{
    Processor processor;
    using Set = juce::AudioChannelSet;
    struct Case { juce::Array<Set> ins, outs; bool supported; };

    const Case cases[] = { { { Set::disabled() }, { Set::stereo() }, true },
                           { {}, { Set::stereo() }, true },
                           { { Set::stereo() }, { Set::stereo() }, true },
                           { { Set::discreteChannels (16) }, { Set::discreteChannels (16) }, true },
                           { { Set::mono() }, { Set::stereo() }, false },
                           { { Set::discreteChannels (2) }, { Set::stereo() }, false },
                           { { Set::stereo() }, { Set::disabled() }, false },
                           { { Set::disabled() }, { Set::disabled() }, false },
                           { { Set::stereo() }, {}, false },
                           { {}, {}, false } };

    for (const auto& c : cases)
    {
        juce::AudioProcessor::BusesLayout layout;
        layout.inputBuses.addArray (c.ins);
        layout.outputBuses.addArray (c.outs);
        EXPECT_EQ (processor.isBusesLayoutSupported (layout), c.supported) << &c - cases;
    }
}

//==============================================================================
TEST (ProcessorState, WritesThe221DefaultBytesAndReadsThemBack)
{
    Processor source;
    ASSERT_EQ (defaultText.size(), 212u);

    juce::MemoryBlock block (1000, true); // earlier content is replaced
    source.getStateInformation (block);
    const std::string bytes (static_cast<const char*> (block.getData()), block.getSize());
    EXPECT_EQ (bytes.size(), 221u);
    EXPECT_EQ (bytes, envelope (defaultText));

    Processor target;
    setNormalised (target, "gain", 0.5f);
    load (target, bytes);
    EXPECT_EQ (getNormalised (target, "gain"), 1.0f);
    EXPECT_EQ (stateOf (target), bytes);
}

TEST (ProcessorState, InvalidBytesAreIgnoredAndChangeNothing)
{
    const auto valid = envelope (defaultText);
    std::string deep;

    for (int i = 0; i < 200000; ++i)
        deep += "<a>"; // would exhaust the parser's stack

    const std::string invalid[] = {
        valid.substr (0, 8),                                    // fewer than 9 bytes
        "W" + valid.substr (1),                                 // wrong magic
        envelope (defaultText, 0),                              // stored length 0
        envelope (defaultText, 0x80000000u),                    // 2^31
        envelope (defaultText, 0xffffffffu),                    // reads as -1
        envelope (std::string (1, '\0') + defaultText),         // text starts with a zero byte
        envelope ("x"),                                         // not XML
        envelope ("<?xml version=\"1.0\"?>"),                   // no element
        envelope ("<state><PARAM id=\"gain\" value=\"-20\"/>"), // unclosed
        envelope ("<state><PARAM id=\"gain\" value=\"-20\"", 40) + "/></state>", // a zero byte cuts the element short
        envelope (deep),
    };

    for (const auto& bytes : invalid)
    {
        Processor processor;
        setNormalised (processor, "gain", 0.25f);
        const auto before = stateOf (processor);

        load (processor, bytes);
        EXPECT_EQ (stateOf (processor), before) << bytes.substr (0, 80);
        EXPECT_EQ (getNormalised (processor, "gain"), 0.25f);
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

    const std::string readable[] = {
        envelope (text, (juce::uint32) text.size(), false), // no closing zero
        envelope (text, 100000, false),                     // stored length beyond the bytes present
        envelope (text + std::string (1, '\0') + "<<garbage"),
        envelope (wide + "</state>"),                       // many elements, but shallow
    };

    for (const auto& bytes : readable)
    {
        Processor processor;
        load (processor, bytes);
        EXPECT_FLOAT_EQ (valueOf (processor, "gain"), -20.0f) << bytes.substr (0, 80);
    }
}

TEST (ProcessorState, AnyRootReplacesTheTreeAndMissingParametersKeepTheirValues)
{
    Processor processor;
    setNormalised (processor, "balance", 1.0f);
    setNormalised (processor, "dim", 1.0f);
    load (processor, envelope ("<?xml version=\"1.0\"?>\n<other><PARAM id=\"gain\" value=\"-20\"/></other>"));

    EXPECT_FLOAT_EQ (valueOf (processor, "gain"), -20.0f);
    EXPECT_EQ (valueOf (processor, "balance"), 125.0f);
    EXPECT_EQ (valueOf (processor, "dim"), 1.0f);
    EXPECT_EQ (valueOf (processor, "mute"), 0.0f);

    const auto& state = processor.parameters.state;
    EXPECT_EQ (state.getType().toString(), "other");
    EXPECT_FALSE (state.getChildWithName ("uiState").isValid());
    ASSERT_EQ (state.getNumChildren(), 4);
    const char* order[] = { "gain", "balance", "dim", "mute" };

    for (int i = 0; i < 4; ++i)
        EXPECT_EQ (state.getChild (i)["id"].toString(), order[i]);

    // The kept values survive a save and a load into a new processor.
    Processor reloaded;
    load (reloaded, stateOf (processor));
    EXPECT_EQ (valueOf (reloaded, "balance"), 125.0f);
    EXPECT_EQ (valueOf (reloaded, "dim"), 1.0f);
}

TEST (ProcessorState, LoadedValuesAreClampedAndOtherNodesKept)
{
    Processor processor;
    setNormalised (processor, "dim", 1.0f);
    load (processor, envelope ("<state><PARAM id=\"gain\" value=\"5\"/><PARAM id=\"balance\" value=\"200\"/>"
                               "<PARAM id=\"dim\"/><PARAM id=\"mute\" value=\"1\"/>"
                               "<uiState width=\"600\" height=\"310\"/><extra note=\"kept\"/></state>"));

    EXPECT_EQ (valueOf (processor, "gain"), 0.0f);
    EXPECT_EQ (valueOf (processor, "balance"), 125.0f);
    EXPECT_EQ (valueOf (processor, "dim"), 0.0f); // no value: the default
    EXPECT_EQ (valueOf (processor, "mute"), 1.0f);

    const auto bytes = stateOf (processor);

    for (const auto* part : { "<uiState width=\"600\" height=\"310\"/><extra note=\"kept\"/></state>",
                              "<PARAM id=\"gain\" value=\"0.0\"/>", "<PARAM id=\"balance\" value=\"125.0\"/>" })
        EXPECT_NE (bytes.find (part), std::string::npos) << part << " in " << bytes;
}

//==============================================================================
TEST (ProcessorFilters, WorkedExampleAt48kHz)
{
    for (const auto blockSize : { 12345, 64 }) // the block size has no effect
    {
        Processor processor;
        processor.prepareToPlay (48000.0, blockSize);

        for (int c = 0; c < 16; ++c)
            expectCoefficients (processor, c, juce::IIRCoefficients (0.996284, -1.992568, 0.996284, 1.0, -1.992513, 0.992623), 1.0e-6);

        expectCoefficients (processor, Processor::lowPassFilterIndex,
                            juce::IIRCoefficients (2.73142e-5, 5.46284e-5, 2.73142e-5, 1.0, -1.992513, 0.992623), 1.0e-5);
    }
}

TEST (ProcessorFilters, CrossoverSpansEightyTo125Hz)
{
    const auto q = (double) std::sqrt (2.0f);

    for (auto [normalised, frequency] : { std::pair { 0.0f, 80.0 }, std::pair { 1.0f, 125.0 } })
    {
        Processor processor;
        setNormalised (processor, "balance", normalised);
        processor.updateFilterCoeffs (44100.0);
        expectCoefficients (processor, 5, juce::IIRCoefficients::makeHighPass (44100.0, frequency, q), 1.0e-5);
        expectCoefficients (processor, Processor::lowPassFilterIndex, juce::IIRCoefficients::makeLowPass (44100.0, frequency, q), 1.0e-5);
    }
}

TEST (ProcessorFilters, RecomputingKeepsTheFilterStateAndBadRatesChangeNothing)
{
    Processor processor;
    processor.updateFilterCoeffs (48000.0);
    const auto before = processor.crossoverFilters[0]->getCoefficients();

    auto signal = makeNoise (1, 1024);
    auto expected = signal;
    juce::IIRFilter reference;
    reference.setCoefficients (before);
    reference.processSamples (expected.getWritePointer (0), 1024);

    auto& filter = *processor.crossoverFilters[0];
    filter.processSamples (signal.getWritePointer (0), 512);
    processor.updateFilterCoeffs (48000.0);
    filter.processSamples (signal.getWritePointer (0) + 512, 512);
    EXPECT_TRUE (identical (signal, expected));

    for (double rate : { 0.0, -48000.0, 100.0, 160.0, 64.0, std::nan (""), HUGE_VAL })
    {
        processor.updateFilterCoeffs (rate);
        expectCoefficients (processor, 0, before, 0.0);
    }
}
