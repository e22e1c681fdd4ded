#include "PrintableText.h"

#include <cstdio>

namespace guards
{
std::string printable (const char* text)
{
    std::string result;

    for (const auto* c = text; *c != 0; ++c)
    {
        const auto byte = (unsigned char) *c;
        char escaped[5] = { *c, 0 };

        if (byte < 0x20 || byte == 0x7f)
            std::snprintf (escaped, sizeof (escaped), "\\x%02x", byte);

        result += escaped;
    }

    return result;
}
} // namespace guards
