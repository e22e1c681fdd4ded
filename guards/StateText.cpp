#include "StateText.h"
#include "XmlReader.h"

#include <string_view>
#include <unordered_set>

namespace guards::StateText
{
namespace
{
const XmlRules stateRules { (size_t) maximumSize, maximumElements, maximumElements, maximumAttributesPerElement };

/** False when the node or one below it is incomplete, or the names pass the bound. */
bool collectNames (const XmlNode& node, std::unordered_set<std::string_view>& names)
{
    if (node.incomplete)
        return false;

    names.insert (node.tag);

    for (const auto& [name, value] : node.attributes)
        names.insert (name);

    if ((int) names.size() > maximumNames)
        return false;

    for (const auto& child : node.children)
        if (! collectNames (child, names))
            return false;

    return true;
}

/** The tree of a node, built as the framework's fromXml does but for one thing: an attribute
    named "base64:..." stays text, so that it is written back as it was read. */
juce::ValueTree toTree (const XmlNode& node)
{
    juce::ValueTree tree (juce::String::fromUTF8 (node.tag.data(), (int) node.tag.size()));

    for (const auto& [name, value] : node.attributes)
        tree.setProperty (juce::String::fromUTF8 (name.data(), (int) name.size()),
                          juce::String::fromUTF8 (value.data(), (int) value.size()),
                          nullptr);

    for (const auto& child : node.children)
        tree.appendChild (toTree (child), nullptr);

    return tree;
}
} // namespace

juce::ValueTree readTree (const char* text, size_t length)
{
    const auto root = readXml (text, length, stateRules);
    std::unordered_set<std::string_view> names;

    if (! root.has_value() || ! collectNames (*root, names))
        return {};

    return toTree (*root);
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
