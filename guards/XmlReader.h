#pragma once

#include <juce_core/juce_core.h>

#include <memory>

namespace guards
{
/** What a document from outside may hold. */
struct XmlRules
{
    size_t maximumBytes;
    int maximumElements;
    int maximumAttributesPerElement;

    /** Distinct element and attribute names, which the framework keeps in its global pool. */
    int maximumNames;

    /** True: text and CDATA are read and dropped. False: only whitespace may stand between elements. */
    bool textDropped;

    /** When not zero, the root's start tag must end within this many bytes (the framework's first look at a file). */
    size_t rootStartTagWithin = 0;
};

/**
    Reads XML that comes from outside with expat, a parser made for untrusted input
    (linear, strict about well-formedness and UTF-8), into elements, and only in the
    shapes that the framework's own reader and writer handle safely and read the same:
    no document type, no processing instruction (the XML declaration aside, which
    must say UTF-8 if it names an encoding), names of ASCII letters, digits and
    "_:.-", numeric character references of at most 12 decimal or 8 hexadecimal
    digits, and no literal tab, line feed or carriage return in an attribute value
    (XML reads them as spaces, the framework as they are). Comments are dropped.

    Returns the root, or nothing when the text breaks a rule or a bound. Any thread.
*/
std::unique_ptr<juce::XmlElement> readXml (const char* text, size_t length, const XmlRules& rules);
} // namespace guards
