#pragma once

#include <juce_data_structures/juce_data_structures.h>

/**
    The processor's state from outside (a state file, the "filterState" setting):
    its XML text read into a tree, and the settings' base64 form of its bytes. Any
    thread.
*/
namespace guards::StateText
{
/** The most state bytes that are read or kept: a state file, or the bytes behind "filterState". */
constexpr juce::int64 maximumSize = 1024 * 1024;

/** The most elements a state's text may hold, the root included. */
constexpr int maximumElements = 1000;

/** The most attributes an element of a state may hold. */
constexpr int maximumAttributesPerElement = 6144;

/** The framework looks through an element's attributes one by one to set each, so what an element costs
    grows with the square of its attributes: the most that the squares of all elements may add up to. */
constexpr juce::int64 maximumAttributeWork = (juce::int64) maximumAttributesPerElement * maximumAttributesPerElement;

/** The most distinct element and attribute names a state may hold: the framework keeps each in its pool. */
constexpr int maximumNames = 16384;

/**
    Reads a state's XML text (see guards::readXml) into a tree: the tag becomes the
    type, the attributes text properties in their order, the child elements child
    trees; text is dropped. Beside the rules of readXml: at most maximumSize bytes,
    maximumElements elements, maximumAttributesPerElement attributes an element (and
    maximumAttributeWork in all), maximumNames distinct names, and no element
    incomplete. An invalid tree when it breaks one.
*/
juce::ValueTree readTree (const char* text, size_t length);

/** True when readTree makes a valid tree of the text; builds none. */
bool canReadTree (const char* text, size_t length);

/**
    True when the text is the framework's base64 form of at most maximumSize bytes
    (MemoryBlock::toBase64Encoding) exactly as it writes it: the decimal byte count,
    a ".", and as many characters of its alphabet as the bytes take.
*/
bool isEncodedState (const juce::String& text);
} // namespace guards::StateText
