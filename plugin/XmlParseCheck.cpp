#include "XmlParseCheck.h"

#include <cstring>
#include <string>
#include <unordered_set>

namespace
{
using Pointer = juce::CharPointer_UTF8;
using Cost = XmlParseCheck::Cost;

constexpr Cost searchedCharacterCost = XmlParseCheck::searchedCharacterCost;
constexpr Cost pooledEntryCost = 8;
/** Names the framework's pool may hold before the text's own arrive. */
constexpr Cost namesPooledBefore = 4096;

/** The parser's identifier characters, as it decides them. */
bool isIdentifierChar (juce::juce_wchar c) noexcept
{
    static const juce::uint32 legalChars[] = { 0, 0x7ff6000, 0x87fffffe, 0x7fffffe, 0 };

    if (c >= 0 && c < 160)
        return (legalChars[c >> 5] & (juce::uint32) (1 << (c & 31))) != 0;

    return juce::CharacterFunctions::isLetterOrDigit (c) || c == '_' || c == '-' || c == ':' || c == '.';
}

Pointer findEndOfToken (Pointer p) noexcept
{
    while (isIdentifierChar (*p))
        ++p;

    return p;
}

/** One text the parser reads: the document, or an entity's name read as elements. */
struct Text
{
    explicit Text (const char* textStart)
        : start (textStart), end (textStart + std::strlen (textStart))
    {
    }

    /** Where the last of these patterns starts, so that a search that must fail is known at once. */
    const char* lastOf (const char* pattern) const noexcept
    {
        const auto length = std::strlen (pattern);

        for (auto i = (size_t) (end - start) + 1; i-- > length;)
            if (std::memcmp (start + i - length, pattern, length) == 0)
                return start + i - length;

        return nullptr;
    }

    const char* const start;
    const char* const end;
    const char* const lastCommentEnd = lastOf ("-->");
    const char* const lastInstructionEnd = lastOf ("?>");
    const char* const lastSemicolon = lastOf (";");
    const char* const lastTagEnd = lastOf (">");
};

/** The parser's steps, each followed as it takes them, with its work counted. */
class Reader
{
public:
    Reader (XmlParseCheck& resultToFill, int maxElements, Cost maxCost)
        : result (resultToFill), maximumElements (maxElements), maximumCost (maxCost)
    {
    }

    void readDocument (const char* textStart)
    {
        Text text (textStart);
        current = &text;
        input = Pointer (textStart);

        if (input.isEmpty() || ! parseHeader())
            return;

        // The parser expands entities through a declared document type in ways not followed here.
        if (juce::CharacterFunctions::compareUpTo (input, juce::CharPointer_ASCII ("<!DOCTYPE"), 9) == 0)
            return stop();

        readNextElement (true);
    }

private:
    void stop() noexcept { result.stopped = true; }

    void addCost (Cost cost) noexcept
    {
        result.cost += cost;

        if (result.cost > maximumCost)
            stop();
    }

    /** Moves past the next occurrence of the pattern, as the parser's search does; false when
        there is none, after the parser's search through the rest of the text. */
    bool skipPast (const char* pattern, const char* lastOccurrence)
    {
        auto* from = input.getAddress();

        if (lastOccurrence == nullptr || from > lastOccurrence)
        {
            addCost ((Cost) (current->end - from) * searchedCharacterCost);
            return false;
        }

        const auto length = std::strlen (pattern);
        auto* found = static_cast<const char*> (::memmem (from, (size_t) (lastOccurrence + length - from), pattern, length));
        input = Pointer (found + length);
        return true;
    }

    juce::juce_wchar readNextChar() noexcept
    {
        const auto c = input.getAndAdvance();

        if (c == 0)
        {
            outOfData = true;
            --input;
        }

        return c;
    }

    bool parseHeader()
    {
        skipNextWhiteSpace();

        if (juce::CharacterFunctions::compareUpTo (input, juce::CharPointer_ASCII ("<?xml"), 5) == 0)
        {
            if (! skipPast ("?>", current->lastInstructionEnd))
                return false;

            skipNextWhiteSpace();
        }

        return true;
    }

    void skipNextWhiteSpace()
    {
        for (;;)
        {
            input.incrementToEndOfWhitespace();

            if (input.isEmpty())
            {
                outOfData = true;
                break;
            }

            if (*input == '<')
            {
                if (input[1] == '!' && input[2] == '-' && input[3] == '-')
                {
                    input += 4;

                    if (! skipPast ("-->", current->lastCommentEnd))
                    {
                        outOfData = true;
                        break;
                    }

                    continue;
                }

                if (input[1] == '?')
                {
                    input += 2;

                    if (! skipPast ("?>", current->lastInstructionEnd))
                    {
                        outOfData = true;
                        break;
                    }

                    continue;
                }
            }

            break;
        }
    }

    /** An attribute name goes into the framework's sorted pool: a binary search, and a new
        name moves every entry after it. */
    void poolName (Pointer nameStart, Pointer nameEnd)
    {
        const auto length = (Cost) (nameEnd.getAddress() - nameStart.getAddress());
        const auto poolSize = namesPooledBefore + (Cost) pooledNames.size();
        addCost ((length + 1) * searchedCharacterCost * (Cost) juce::findHighestSetBit ((juce::uint32) poolSize + 1));

        if (pooledNames.emplace (nameStart.getAddress(), (size_t) length).second)
            addCost (poolSize * pooledEntryCost);
    }

    /** The value's text grows by some bytes: the parser finds its end and copies it to a larger block. */
    void grow (Cost& length, Cost bytes)
    {
        if (bytes > 0)
        {
            addCost (length + bytes);
            length += bytes;
        }
    }

    struct Entity
    {
        Cost bytes = 0;
        Pointer nameStart { nullptr }, nameEnd { nullptr };
    };

    Entity readEntity()
    {
        ++input;

        for (const auto* known : { "amp;", "quot;", "apos;", "lt;", "gt;" })
        {
            const auto length = (int) std::strlen (known);

            if (input.compareIgnoreCaseUpTo (juce::CharPointer_ASCII (known), length) == 0)
            {
                input += length;
                return { 1 };
            }
        }

        if (*input == '#')
        {
            juce::int64 charCode = 0;
            ++input;

            if (*input == 'x' || *input == 'X')
            {
                ++input;
                int numChars = 0;

                while (input[0] != ';')
                {
                    const auto hexValue = juce::CharacterFunctions::getHexDigitValue (input[0]);

                    if (hexValue < 0 || ++numChars > 8)
                    {
                        // The parser steps over whatever stops it, the text's end included.
                        if (input[0] == 0)
                            stop();

                        break;
                    }

                    charCode = (charCode << 4) | hexValue;
                    ++input;
                }

                if (result.stopped)
                    return {};

                ++input;
            }
            else if (input[0] >= '0' && input[0] <= '9')
            {
                for (int numChars = 0;; ++input)
                {
                    const auto firstChar = input[0];

                    if (firstChar == 0)
                        return {};

                    if (firstChar == ';' || ++numChars > 12)
                        break;

                    charCode = charCode * 10 + ((int) firstChar - '0');
                }

                ++input;
            }
            else
            {
                return { 1 };
            }

            const auto c = (juce::juce_wchar) charCode;
            return { c == 0 ? 0 : (Cost) Pointer::getBytesRequiredFor (c) };
        }

        // Without a document type, any other entity reads as its own name.
        const auto nameStart = input;

        if (! skipPast (";", current->lastSemicolon))
        {
            outOfData = true;
            return { 1 };
        }

        const Pointer nameEnd (input.getAddress() - 1);
        return { (Cost) (nameEnd.getAddress() - nameStart.getAddress()), nameStart, nameEnd };
    }

    void readQuotedString()
    {
        const auto quote = readNextChar();
        Cost length = 0;

        while (! outOfData && ! result.stopped)
        {
            const auto c = readNextChar();

            if (c == quote)
                break;

            --input;

            if (c == '&')
            {
                grow (length, readEntity().bytes);
                continue;
            }

            for (const auto start = input;; ++input)
            {
                const auto character = *input;

                if (character == quote || character == '&')
                {
                    grow (length, (Cost) (input.getAddress() - start.getAddress()));

                    if (character == quote)
                    {
                        ++input;
                        return;
                    }

                    break;
                }

                if (character == 0)
                {
                    outOfData = true;
                    break;
                }
            }
        }
    }

    bool readNextElement (bool alsoParseSubElements)
    {
        skipNextWhiteSpace();

        if (outOfData || *input != '<')
            return false;

        ++input;
        auto endOfToken = findEndOfToken (input);

        if (endOfToken == input)
        {
            skipNextWhiteSpace();
            endOfToken = findEndOfToken (input);

            if (endOfToken == input)
                return false;
        }

        if (++result.elements > maximumElements)
        {
            stop();
            return false;
        }

        input = endOfToken;

        while (! result.stopped)
        {
            skipNextWhiteSpace();
            const auto c = *input;

            if (c == '/' && input[1] == '>')
            {
                input += 2;
                break;
            }

            if (c == '>')
            {
                ++input;

                if (alsoParseSubElements)
                    readChildElements();

                break;
            }

            if (! isIdentifierChar (c))
                break;

            const auto nameStart = input;
            const auto nameEnd = findEndOfToken (input);
            input = nameEnd;
            skipNextWhiteSpace();

            if (readNextChar() != '=')
                break;

            skipNextWhiteSpace();

            if (*input != '"' && *input != '\'')
                break;

            poolName (nameStart, nameEnd);
            readQuotedString();
        }

        return true;
    }

    /** The parser reads an entity named like an element as elements of its own. */
    void readEntityAsElements (const Entity& entity)
    {
        const std::string name (entity.nameStart.getAddress(), entity.nameEnd.getAddress());
        const auto oldInput = input;
        const auto oldOutOfData = outOfData;
        auto* const oldText = current;

        Text text (name.c_str());
        current = &text;
        input = Pointer (name.c_str());
        outOfData = false;

        while (! result.stopped && readNextElement (true))
        {}

        current = oldText;
        input = oldInput;
        outOfData = oldOutOfData;
    }

    void readChildElements()
    {
        while (! result.stopped)
        {
            const auto preWhitespaceInput = input;
            skipNextWhiteSpace();

            if (outOfData)
                return;

            if (*input == '<')
            {
                const auto c1 = input[1];

                if (c1 == '/')
                {
                    skipPast (">", current->lastTagEnd);
                    return;
                }

                if (c1 == '!' && juce::CharacterFunctions::compareUpTo (input + 2, juce::CharPointer_ASCII ("[CDATA["), 7) == 0)
                {
                    input += 9;

                    for (;; ++input)
                    {
                        if (*input == 0)
                        {
                            outOfData = true;
                            break;
                        }

                        if (*input == ']' && input[1] == ']' && input[2] == '>')
                        {
                            input += 3;
                            break;
                        }
                    }
                }
                else if (! readNextElement (true))
                {
                    return;
                }

                continue;
            }

            input = preWhitespaceInput;

            if (! readCharacterBlock())
                return;

            // Nothing read: the parser would take the same steps again, for ever.
            if (input == preWhitespaceInput)
                return stop();
        }
    }

    /** False when the parser leaves its element here. */
    bool readCharacterBlock()
    {
        while (! result.stopped)
        {
            const auto c = *input;

            if (c == '<')
            {
                if (input[1] == '!' && input[2] == '-' && input[3] == '-')
                {
                    input += 4;

                    if (! skipPast ("-->", current->lastCommentEnd))
                        return (outOfData = true, false);

                    continue;
                }

                return true;
            }

            if (c == 0)
                return (outOfData = true, false);

            if (c == '&')
            {
                const auto entity = readEntity();

                if (entity.nameStart.getAddress() != nullptr && *entity.nameStart == '<' && entity.nameStart + 1 != entity.nameEnd)
                    readEntityAsElements (entity);

                continue;
            }

            for (;; ++input)
            {
                const auto nextChar = *input;

                if (nextChar == '\r' && input[1] == '\n')
                    continue;

                if (nextChar == '<' || nextChar == '&')
                    break;

                if (nextChar == 0)
                    return (outOfData = true, false);
            }
        }

        return false;
    }

    XmlParseCheck& result;
    const int maximumElements;
    const Cost maximumCost;

    const Text* current = nullptr;
    Pointer input { nullptr };
    bool outOfData = false;
    std::unordered_set<std::string> pooledNames;
};
} // namespace

XmlParseCheck XmlParseCheck::of (const juce::String& text, int maximumElements, Cost maximumCost)
{
    XmlParseCheck result;
    Reader (result, maximumElements, maximumCost).readDocument (text.toRawUTF8());
    return result;
}
