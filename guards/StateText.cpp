#include "StateText.h"
#include "XmlReader.h"

namespace guards::StateText
{
namespace
{
const XmlRules stateRules { (size_t) maximumSize, maximumElements, 64, 256, true };

/** The tree of an element, built as the framework's fromXml does but for one thing: an
    attribute named "base64:..." stays text, so that it is written back as it was read. */
juce::ValueTree toTree (const juce::XmlElement& element)
{
    juce::ValueTree tree (element.getTagName());

    for (int i = 0; i < element.getNumAttributes(); ++i)
        tree.setProperty (element.getAttributeName (i), element.getAttributeValue (i), nullptr);

    for (auto* child : element.getChildIterator())
        tree.appendChild (toTree (*child), nullptr);

    return tree;
}
} // namespace

juce::ValueTree readTree (const char* text, size_t length)
{
    const auto root = readXml (text, length, stateRules);
    return root != nullptr ? toTree (*root) : juce::ValueTree();
}

bool isEncodedState (const juce::String& text)
{
    const auto dot = text.indexOfChar ('.');
    const auto count = text.substring (0, dot);

    if (dot < 1 || dot > 7 || ! count.containsOnly ("0123456789") || (dot > 1 && count[0] == '0'))
        return false;

    const auto numBytes = count.getLargeIntValue();
    const auto characters = text.substring (dot + 1);

    return numBytes <= maximumSize
           && characters.length() == (int) ((numBytes * 8 + 5) / 6)
           && characters.containsOnly (".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+");
}
} // namespace guards::StateText
