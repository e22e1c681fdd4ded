#include "ProcessorTestHelpers.h"

#include <gtest/gtest.h>

#include <string>

using namespace tarrowby::test;

namespace
{
const std::string defaultText = "<?xml version=\"1.0\" encoding=\"UTF-8\"?> <state>"
                                "<PARAM id=\"balance\" value=\"80.0\"/><PARAM id=\"dim\" value=\"0.0\"/>"
                                "<PARAM id=\"gain\" value=\"0.0\"/><PARAM id=\"mute\" value=\"0.0\"/>"
                                "<uiState width=\"472\" height=\"310\"/></state>";

/** "VC2!", the given stored length, the text, and optionally the closing zero byte. */
std::string envelope (const std::string& text, juce::uint32 storedLength, bool closingZero = true)
{
    std::string bytes = "VC2!";
    for (int shift = 0; shift < 32; shift += 8)
        bytes.push_back ((char) ((storedLength >> shift) & 0xff));
    bytes += text;
    if (closingZero)
        bytes.push_back ('\0');
    return bytes;
}

std::string envelope (const std::string& text) { return envelope (text, (juce::uint32) text.size()); }

std::string stateOf (Processor& processor)
{
    juce::MemoryBlock block;
    processor.getStateInformation (block);
    return block.isEmpty() ? std::string() : std::string (static_cast<const char*> (block.getData()), block.getSize());
}

void load (Processor& processor, const std::string& bytes)
{
    processor.setStateInformation (bytes.data(), (int) bytes.size());
}

float valueOf (Processor& processor, juce::StringRef id)
{
    auto* param = processor.parameters.getParameter (id);
    return param->convertFrom0to1 (param->getValue());
}
} // namespace

TEST (ProcessorState, NewProcessorWritesThe221DefaultBytes)
{
    Processor processor;
    ASSERT_EQ (defaultText.size(), 212u);
    const auto bytes = stateOf (processor);
    EXPECT_EQ (bytes.size(), 221u);
    EXPECT_EQ (bytes, envelope (defaultText));
}

TEST (ProcessorState, WritingReplacesEarlierBlockContent)
{
    Processor processor;
    juce::MemoryBlock block (1000, true);
    processor.getStateInformation (block);
    EXPECT_EQ (block.getSize(), 221u);
    EXPECT_EQ (std::string (static_cast<const char*> (block.getData()), block.getSize()), envelope (defaultText));
}

TEST (ProcessorState, DefaultBytesRoundTripUnchanged)
{
    Processor source;
    const auto bytes = stateOf (source);

    Processor target;
    setNormalised (target, "gain", 0.5f);
    load (target, bytes);
    EXPECT_EQ (getNormalised (target, "gain"), 1.0f);
    EXPECT_EQ (stateOf (target), bytes);
}

TEST (ProcessorState, InvalidInputIsIgnored)
{
    const auto valid = envelope (defaultText);
    auto withMagic = [] (std::string bytes, char first) { bytes[0] = first; return bytes; };

    const std::string invalid[] = {
        valid.substr (0, 8),                                   // fewer than 9 bytes
        withMagic (valid, 'W'),                                // wrong magic
        envelope (defaultText, 0),                             // stored length 0
        envelope (defaultText, 0x80000000u),                   // 2^31
        envelope (defaultText, 0xffffffffu),                   // reads as -1
        envelope (std::string (1, '\0') + defaultText),        // text starts with a zero byte
        envelope ("x"),                                        // one character, not XML
        envelope ("<?xml version=\"1.0\"?>"),                  // no element
        envelope ("<state><PARAM id=\"gain\" value=\"-20\"/>"), // unclosed
        envelope ("<state><PARAM id=\"gain\" value=\"-20\"", 40) // zero byte cuts the element short
            + "/></state>",
    };

    for (const auto& bytes : invalid)
    {
        Processor processor;
        setNormalised (processor, "gain", 0.25f);
        const auto before = stateOf (processor);

        load (processor, bytes);
        EXPECT_EQ (stateOf (processor), before) << bytes;
        EXPECT_EQ (getNormalised (processor, "gain"), 0.25f);
    }

    Processor processor;
    const auto before = stateOf (processor);
    processor.setStateInformation (valid.data(), -5);
    processor.setStateInformation (nullptr, 221);
    EXPECT_EQ (stateOf (processor), before);
}

TEST (ProcessorState, ReadsOnlyTheBytesPresentUpToAZero)
{
    const std::string text = "<state><PARAM id=\"gain\" value=\"-20\"/></state>";

    // Size exactly L + 8, no closing zero.
    {
        Processor processor;
        load (processor, envelope (text, (juce::uint32) text.size(), false));
        EXPECT_FLOAT_EQ (valueOf (processor, "gain"), -20.0f);
    }

    // Stored length far larger than the bytes present.
    {
        Processor processor;
        load (processor, envelope (text, 100000, false));
        EXPECT_FLOAT_EQ (valueOf (processor, "gain"), -20.0f);
    }

    // A zero byte inside the counted text ends it; what follows is never parsed.
    {
        Processor processor;
        auto withTrailer = text + std::string (1, '\0') + "<<garbage";
        load (processor, envelope (withTrailer));
        EXPECT_FLOAT_EQ (valueOf (processor, "gain"), -20.0f);
    }

    // Bytes that are not valid UTF-8 are passed on to the parser without complaint.
    {
        Processor processor;
        load (processor, envelope ("<state><PARAM id=\"gain\" value=\"-20\"/><x a=\"\xc3z\"/></state>"));
        EXPECT_FLOAT_EQ (valueOf (processor, "gain"), -20.0f);
    }
}

TEST (ProcessorState, AnyRootReplacesTheTree)
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
    EXPECT_EQ (state.getChild (0)["id"].toString(), "gain");

    const char* appended[] = { "balance", "dim", "mute" };
    const double values[] = { 125.0, 1.0, 0.0 };

    for (int i = 0; i < 3; ++i)
    {
        const auto child = state.getChild (i + 1);
        EXPECT_EQ (child.getType().toString(), "PARAM");
        EXPECT_EQ (child["id"].toString(), appended[i]);
        EXPECT_EQ ((double) child["value"], values[i]);
    }

    // The kept values survive a save and a load into a new processor.
    Processor reloaded;
    load (reloaded, stateOf (processor));
    EXPECT_EQ (valueOf (reloaded, "balance"), 125.0f);
    EXPECT_EQ (valueOf (reloaded, "dim"), 1.0f);
}

TEST (ProcessorState, LoadedValuesAreClampedAndOtherNodesKept)
{
    Processor processor;
    const std::string text = "<state><PARAM id=\"gain\" value=\"5\"/><PARAM id=\"balance\" value=\"200\"/>"
                             "<PARAM id=\"dim\"/><PARAM id=\"mute\" value=\"1\"/>"
                             "<uiState width=\"600\" height=\"310\"/><extra note=\"kept\"/></state>";
    setNormalised (processor, "dim", 1.0f);
    load (processor, envelope (text));

    EXPECT_EQ (valueOf (processor, "gain"), 0.0f);
    EXPECT_EQ (valueOf (processor, "balance"), 125.0f);
    EXPECT_EQ (valueOf (processor, "dim"), 0.0f); // no value: back to the default
    EXPECT_EQ (valueOf (processor, "mute"), 1.0f);

    const auto bytes = stateOf (processor);
    EXPECT_NE (bytes.find ("<uiState width=\"600\" height=\"310\"/><extra note=\"kept\"/></state>"), std::string::npos) << bytes;
    EXPECT_NE (bytes.find ("<PARAM id=\"gain\" value=\"0.0\"/>"), std::string::npos) << bytes;
    EXPECT_NE (bytes.find ("<PARAM id=\"balance\" value=\"125.0\"/>"), std::string::npos) << bytes;
    EXPECT_NE (bytes.find ("<PARAM id=\"mute\" value=\"1\"/>"), std::string::npos) << bytes;
}

TEST (ProcessorState, DeeplyNestedTextIsRefusedAndWideTextAccepted)
{
    // Parsing recurses per level: a deep text must be refused before it can exhaust the stack.
    std::string deep;
    for (int i = 0; i < 200000; ++i) deep += "<a>";

    Processor processor;
    const auto before = stateOf (processor);
    load (processor, envelope (deep));
    EXPECT_EQ (stateOf (processor), before);

    std::string wide = "<state><PARAM id=\"gain\" value=\"-20\"/>";
    for (int i = 0; i < 900; ++i) wide += "<n/>";
    load (processor, envelope (wide + "</state>"));
    EXPECT_FLOAT_EQ (valueOf (processor, "gain"), -20.0f);
    EXPECT_EQ (processor.parameters.state.getNumChildren(), 904);
}
