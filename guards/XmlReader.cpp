#include "XmlReader.h"

#include <expat.h>

#include <algorithm>
#include <cstring>

namespace guards
{
namespace
{
bool isAsciiLetter (char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit (char c) noexcept { return c >= '0' && c <= '9'; }

/** A name that the framework's writer takes as it is, and its parser would, whatever the locale. */
bool isPortableName (const char* name) noexcept
{
    if (! (isAsciiLetter (*name) || *name == '_' || *name == ':'))
        return false;

    for (auto* c = name + 1; *c != 0; ++c)
        if (! (isAsciiLetter (*c) || isAsciiDigit (*c) || std::strchr ("_:.-", *c) != nullptr))
            return false;

    return true;
}

bool isXmlWhitespace (const char* text, int length) noexcept
{
    for (int i = 0; i < length; ++i)
        if (std::strchr (" \t\r\n", text[i]) == nullptr)
            return false;

    return true;
}

/** The value of a digit in the base, or -1. */
int digitValue (char c, int base) noexcept
{
    const auto value = isAsciiDigit (c) ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                : (c >= 'A' && c <= 'F')   ? c - 'A' + 10
                                                                           : 99;
    return value < base ? value : -1;
}

bool isXmlCharacter (unsigned long c) noexcept
{
    return c == 0x9 || c == 0xa || c == 0xd || (c >= 0x20 && c <= 0xd7ff) || (c >= 0xe000 && c <= 0xfffd)
           || (c >= 0x10000 && c <= 0x10ffff);
}

/** A document whose first bytes are not ASCII-compatible (UTF-16) has no references to look for. */
bool isAsciiCompatible (const std::string& text) noexcept
{
    return text.size() < 2 || (text[0] != 0 && text[1] != 0 && (unsigned char) text[0] < 0xfe);
}

/** Replaces each character reference to what XML does not allow with spaces, and returns where each was. */
std::vector<size_t> blankBadReferences (std::string& text)
{
    std::vector<size_t> positions;

    if (! isAsciiCompatible (text))
        return positions;

    for (auto start = text.find ("&#"); start != std::string::npos; start = text.find ("&#", start + 1))
    {
        const auto isHex = start + 2 < text.size() && text[start + 2] == 'x';
        auto end = start + (isHex ? 3 : 2);
        unsigned long code = 0;

        for (int digit; end < text.size() && (digit = digitValue (text[end], isHex ? 16 : 10)) >= 0; ++end)
            code = std::min (code * (isHex ? 16 : 10) + (unsigned long) digit, 0x110000ul);

        if (end < text.size() && text[end] == ';' && end > start + (isHex ? 3 : 2) && ! isXmlCharacter (code))
        {
            std::fill (text.begin() + (long) start, text.begin() + (long) end + 1, ' ');
            positions.push_back (start);
        }
    }

    return positions;
}

/** Builds the nodes from expat's events. */
class NodeBuilder
{
public:
    NodeBuilder (const XmlRules& rulesToUse, std::vector<size_t> blankedReferences)
        : rules (rulesToUse), blanked (std::move (blankedReferences)), parser (XML_ParserCreate (nullptr))
    {
        XML_SetUserData (parser, this);
        XML_SetStartDoctypeDeclHandler (parser, [] (void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
            auto& builder = *static_cast<NodeBuilder*> (self);
            builder.refused = true;
            XML_StopParser (builder.parser, XML_FALSE);
        });
        XML_SetElementHandler (
            parser,
            [] (void* self, const XML_Char* name, const XML_Char** attributes) { static_cast<NodeBuilder*> (self)->start (name, attributes); },
            [] (void* self, const XML_Char*) { static_cast<NodeBuilder*> (self)->end(); });
        XML_SetCharacterDataHandler (parser, [] (void* self, const XML_Char* characters, int length) {
            static_cast<NodeBuilder*> (self)->text (! isXmlWhitespace (characters, length));
        });
        XML_SetStartCdataSectionHandler (parser, [] (void* self) { static_cast<NodeBuilder*> (self)->text (true); });
    }

    ~NodeBuilder() { XML_ParserFree (parser); }

    std::optional<XmlNode> read (const char* text, size_t length)
    {
        if (XML_Parse (parser, text, (int) length, XML_TRUE) != XML_STATUS_OK || refused)
            return {};

        return std::move (root);
    }

private:
    /** True when a blanked reference lies within the bytes of expat's current event. */
    bool holdsBlankedReference() const
    {
        const auto start = (size_t) XML_GetCurrentByteIndex (parser);
        const auto found = std::lower_bound (blanked.begin(), blanked.end(), start);
        return found != blanked.end() && *found < start + (size_t) XML_GetCurrentByteCount (parser);
    }

    void text (bool isContent)
    {
        if (open.empty() || skippedDepth > 0)
            return;

        open.back()->hasText |= isContent;
        open.back()->incomplete |= holdsBlankedReference();
    }

    void start (const XML_Char* name, const XML_Char** attributes)
    {
        if (skippedDepth > 0 || (! open.empty() && ((int) open.size() >= rules.maximumDepth || numElements >= rules.maximumElements)))
        {
            if (skippedDepth++ == 0)
                open.back()->incomplete = true;

            return;
        }

        ++numElements;
        auto* node = open.empty() ? &root : &open.back()->children.emplace_back();
        node->tag = name;
        node->incomplete = ! isPortableName (name) || holdsBlankedReference();

        for (int i = 0; attributes[i] != nullptr; i += 2)
        {
            if ((int) node->attributes.size() < rules.maximumAttributesPerElement && isPortableName (attributes[i]))
                node->attributes.emplace_back (attributes[i], attributes[i + 1]);
            else
                node->incomplete = true;
        }

        open.push_back (node);
    }

    void end()
    {
        if (skippedDepth > 0)
            --skippedDepth;
        else
            open.pop_back();
    }

    const XmlRules& rules;
    const std::vector<size_t> blanked;
    const XML_Parser parser;
    XmlNode root;
    /** The elements open; each is the last child of the one before, which nothing moves while it is open. */
    std::vector<XmlNode*> open;
    int numElements = 0;
    int skippedDepth = 0;
    bool refused = false;
};
} // namespace

std::optional<XmlNode> readXml (const char* text, size_t length, const XmlRules& rules)
{
    if (length > rules.maximumBytes)
        return {};

    if (! rules.recoverBadReferences)
        return NodeBuilder (rules, {}).read (text, length);

    std::string copy (text, length);
    auto blanked = blankBadReferences (copy);
    return NodeBuilder (rules, std::move (blanked)).read (copy.data(), copy.size());
}

bool isIncompleteAnywhere (const XmlNode& node)
{
    return node.incomplete || std::any_of (node.children.begin(), node.children.end(), isIncompleteAnywhere);
}

juce::String toJuceString (const std::string& text)
{
    return juce::String::fromUTF8 (text.data(), (int) text.size());
}

std::unique_ptr<juce::XmlElement> toElement (const XmlNode& node)
{
    auto element = std::make_unique<juce::XmlElement> (toJuceString (node.tag));

    for (const auto& [name, value] : node.attributes)
        element->setAttribute (toJuceString (name), toJuceString (value));

    // Prepended from the last, which takes no walk along the list.
    for (auto child = node.children.rbegin(); child != node.children.rend(); ++child)
        element->prependChildElement (toElement (*child).release());

    return element;
}
} // namespace guards
