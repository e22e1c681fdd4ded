#pragma once

#include <string>

namespace guards
{
/** Text from outside as it may stand on one line of a terminal: control characters as \xNN. Any thread. */
std::string printable (const char* text);
} // namespace guards
