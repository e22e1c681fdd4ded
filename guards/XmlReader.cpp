#include "XmlReader.h"

#include <expat.h>

#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

namespace guards
{
namespace
{
bool isAsciiLetter (char c) noexcept { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isAsciiDigit (char c) noexcept { return c >= '0' && c <= '9'; }

/** A name the framework's parser reads to its end whatever the locale. */
bool isPortableName (const char* name) noexcept
{
    if (! (isAsciiLetter (*name) || *name == '_' || *name == ':'))
        return false;

    for (auto* c = name + 1; *c != 0; ++c)
        if (! (isAsciiLetter (*c) || isAsciiDigit (*c) || std::strchr ("_:.-", *c) != nullptr))
            return false;

    return true;
}

/** Over the bytes of a well-formed start tag: true when the framework reads each attribute
    value as XML does (see readXml). */
bool hasPortableValues (const char* tag, size_t length) noexcept
{
    char quote = 0;

    for (size_t i = 0; i < length; ++i)
    {
        const auto c = tag[i];

        if (quote == 0)
        {
            if (c == '"' || c == '\'')
                quote = c;
        }
        else if (c == quote)
        {
            quote = 0;
        }
        else if (c == '\t' || c == '\n' || c == '\r')
        {
            return false;
        }
        else if (c == '&' && tag[i + 1] == '#')
        {
            const auto isHex = tag[i + 2] == 'x';
            const auto digits = i + (isHex ? 3 : 2);
            auto end = digits;

            while (tag[end] != ';')
                ++end;

            if (end - digits > (isHex ? 8u : 12u))
                return false;

            i = end;
        }
    }

    return true;
}

bool isXmlWhitespace (const char* text, int length) noexcept
{
    for (int i = 0; i < length; ++i)
        if (std::strchr (" \t\r\n", text[i]) == nullptr)
            return false;

    return true;
}

/** Builds the elements from expat's events, stopping it at the first rule broken. */
class ElementBuilder
{
public:
    ElementBuilder (const char* textToRead, const XmlRules& rulesToUse)
        : text (textToRead), rules (rulesToUse), parser (XML_ParserCreate ("UTF-8"))
    {
        XML_SetUserData (parser, this);
        XML_SetXmlDeclHandler (parser, [] (void* self, const XML_Char*, const XML_Char* encoding, int) {
            if (encoding != nullptr && juce::String (encoding).compareIgnoreCase ("UTF-8") != 0)
                static_cast<ElementBuilder*> (self)->refuse();
        });
        XML_SetStartDoctypeDeclHandler (parser, [] (void* self, const XML_Char*, const XML_Char*, const XML_Char*, int) {
            static_cast<ElementBuilder*> (self)->refuse();
        });
        XML_SetProcessingInstructionHandler (parser, [] (void* self, const XML_Char*, const XML_Char*) {
            static_cast<ElementBuilder*> (self)->refuse();
        });
        XML_SetElementHandler (
            parser,
            [] (void* self, const XML_Char* name, const XML_Char** attributes) { static_cast<ElementBuilder*> (self)->start (name, attributes); },
            [] (void* self, const XML_Char*) { static_cast<ElementBuilder*> (self)->end(); });
        XML_SetCharacterDataHandler (parser, [] (void* self, const XML_Char* characters, int length) {
            auto& builder = *static_cast<ElementBuilder*> (self);

            if (! builder.rules.textDropped && ! isXmlWhitespace (characters, length))
                builder.refuse();
        });
        XML_SetStartCdataSectionHandler (parser, [] (void* self) {
            auto& builder = *static_cast<ElementBuilder*> (self);

            if (! builder.rules.textDropped)
                builder.refuse();
        });
    }

    ~ElementBuilder() { XML_ParserFree (parser); }

    std::unique_ptr<juce::XmlElement> read (size_t length)
    {
        if (XML_Parse (parser, text, (int) length, XML_TRUE) != XML_STATUS_OK)
            return {};

        return std::move (root);
    }

private:
    /** Expat may still report the end of an element after this. */
    void refuse()
    {
        refused = true;
        XML_StopParser (parser, XML_FALSE);
    }

    void end()
    {
        if (! refused)
            open.pop_back();
    }

    bool isNewNameWithinBound (const char* name)
    {
        names.insert (name);
        return (int) names.size() <= rules.maximumNames && isPortableName (name);
    }

    void start (const XML_Char* name, const XML_Char** attributes)
    {
        if (refused)
            return;

        const auto tagStart = (size_t) XML_GetCurrentByteIndex (parser);
        const auto tagLength = (size_t) XML_GetCurrentByteCount (parser);
        int numAttributes = 0;

        while (attributes[2 * numAttributes] != nullptr)
            ++numAttributes;

        if (++numElements > rules.maximumElements
            || numAttributes > rules.maximumAttributesPerElement
            || (root == nullptr && rules.rootStartTagWithin > 0 && tagStart + tagLength > rules.rootStartTagWithin)
            || ! isNewNameWithinBound (name)
            || ! hasPortableValues (text + tagStart, tagLength))
            return refuse();

        auto element = std::make_unique<juce::XmlElement> (juce::String::fromUTF8 (name));

        for (int i = 0; i < numAttributes; ++i)
        {
            if (! isNewNameWithinBound (attributes[2 * i]))
                return refuse();

            element->setAttribute (juce::String::fromUTF8 (attributes[2 * i]), juce::String::fromUTF8 (attributes[2 * i + 1]));
        }

        auto* added = element.get();

        if (open.empty())
            root = std::move (element);
        else
            open.back()->addChildElement (element.release());

        open.push_back (added);
    }

    const char* const text;
    const XmlRules& rules;
    const XML_Parser parser;
    std::unique_ptr<juce::XmlElement> root;
    std::vector<juce::XmlElement*> open;
    std::unordered_set<std::string> names;
    int numElements = 0;
    bool refused = false;
};
} // namespace

std::unique_ptr<juce::XmlElement> readXml (const char* text, size_t length, const XmlRules& rules)
{
    if (length > rules.maximumBytes)
        return {};

    return ElementBuilder (text, rules).read (length);
}
} // namespace guards
