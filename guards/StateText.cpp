#include "StateText.h"
#include "XmlReader.h"

#include <string_view>
#include <unordered_set>

namespace guards::StateText
{
namespace
{
const XmlRules stateRules { (size_t) maximumSize, maximumElements, maximumElements, maximumAttributesPerElement };

/** False when the node or one below it is incomplete, or the names or the attributes pass their bounds. */
bool isWithinBounds (const XmlNode& node, std::unordered_set<std::string_view>& names, juce::int64& attributeWork)
{
    if (node.incomplete)
        return false;

    names.insert (node.tag);

    for (const auto& [name, value] : node.attributes)
        names.insert (name);

    attributeWork += (juce::int64) node.attributes.size() * (juce::int64) node.attributes.size();

    if ((int) names.size() > maximumNames || attributeWork > maximumAttributeWork)
        return false;

    for (const auto& child : node.children)
        if (! isWithinBounds (child, names, attributeWork))
            return false;

    return true;
}

/** The tree of a node, built as the framework's fromXml does but for one thing: an attribute
    named "base64:..." stays text, so that it is written back as it was read. */
juce::ValueTree toTree (const XmlNode& node)
{
    juce::ValueTree tree (toJuceString (node.tag));

    for (const auto& [name, value] : node.attributes)
        tree.setProperty (toJuceString (name), toJuceString (value), nullptr);

    for (const auto& child : node.children)
        tree.appendChild (toTree (child), nullptr);

    return tree;
}

/** The text's root, when it keeps to the bounds. */
std::optional<XmlNode> readRoot (const char* text, size_t length)
{
    auto root = readXml (text, length, stateRules);
    std::unordered_set<std::string_view> names;
    juce::int64 attributeWork = 0;
    return root.has_value() && isWithinBounds (*root, names, attributeWork) ? std::move (root) : std::nullopt;
}
} // namespace

juce::ValueTree readTree (const char* text, size_t length)
{
    const auto root = readRoot (text, length);
    return root.has_value() ? toTree (*root) : juce::ValueTree();
}

bool canReadTree (const char* text, size_t length)
{
    return readRoot (text, length).has_value();
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
