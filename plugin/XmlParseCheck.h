#pragma once

#include <juce_core/juce_core.h>

/**
    What the framework's XML parser (juce::XmlDocument, reading a whole document)
    would do with a text, found by following its steps without building anything,
    in time linear in the text's length.

    The parser trusts its input: it loops for ever on a processing instruction
    among an element's content, recurses once per nesting level, steps past the
    end of a text that ends inside a hexadecimal character reference, reads other
    files through a document type declaration, and some of its work grows with
    the square of what it reads (an attribute value rebuilt once per character
    reference, a search for ';' repeated from every '&' of a text, every new
    attribute name put into a sorted pool). A text passes when none of that can
    happen beyond the given bounds.

    Any thread. The text must be a whole UTF-8 sequence, as a juce::String holds.
*/
struct XmlParseCheck
{
    /** Work that grows faster than the text, in bytes copied. */
    using Cost = juce::int64;

    /** A character compared or searched costs as much as this many bytes copied. */
    static constexpr Cost searchedCharacterCost = 64;

    /** Follows the parser through the text, stopping once a bound is passed. */
    static XmlParseCheck of (const juce::String& text, int maximumElements, Cost maximumCost);

    /** True when the parser reads the text to an end within both bounds, never past the
        text, and without a document type declaration. */
    bool passes() const noexcept { return ! stopped; }

    /** The elements the parser creates; its recursion is never deeper. */
    int elements = 0;

    /** The superlinear work; when a bound was passed, only what was counted until then. */
    Cost cost = 0;

    bool stopped = false;
};
