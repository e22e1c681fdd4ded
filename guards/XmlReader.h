#pragma once

#include <juce_core/juce_core.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace guards
{
/** An element read from outside, in plain strings: nothing of it reaches the framework until judged. */
struct XmlNode
{
    std::string tag;
    std::vector<std::pair<std::string, std::string>> attributes;
    std::vector<XmlNode> children;

    /** Character data other than whitespace, or a CDATA section, stood directly inside it. */
    bool hasText = false;

    /** Something of it was not kept: a name of other than ASCII letters, digits and "_:.-", attributes
        or child elements beyond a bound, or a character reference to what XML does not allow. */
    bool incomplete = false;
};

/** What a document from outside may hold. */
struct XmlRules
{
    size_t maximumBytes;
    int maximumElements;
    int maximumDepth;
    int maximumAttributesPerElement;

    /** False: a character reference to what XML does not allow (the framework writes control characters
        so) refuses the document. True: it is read as spaces, and the element holding it marked incomplete. */
    bool recoverBadReferences = false;
};

/**
    Reads XML that comes from outside with expat, a parser made for untrusted input
    (linear, strict about well-formedness and encodings), into nodes. Refuses a document
    type and anything beyond maximumBytes; comments and processing instructions are
    dropped. Elements beyond maximumElements or maximumDepth are skipped, and attributes
    beyond maximumAttributesPerElement dropped, each marking the element that held them
    incomplete.

    Returns the root, or nothing when the text is refused. Any thread.
*/
std::optional<XmlNode> readXml (const char* text, size_t length, const XmlRules& rules);

/** True when the node or any node below it is incomplete. */
bool isIncompleteAnywhere (const XmlNode& node);

/** The UTF-8 text of a node as the framework's string. */
juce::String toJuceString (const std::string& text);

/** The node as the framework's element, text dropped. Its names must be portable (see XmlNode::incomplete). */
std::unique_ptr<juce::XmlElement> toElement (const XmlNode& node);
} // namespace guards
