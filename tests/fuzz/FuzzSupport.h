#pragma once

#include "PluginProcessor.h"

#include <cstddef>
#include <cstdint>

namespace tarrowby::fuzz
{
/**
    One input, defined by each fuzz program. The shared entry points start the framework
    once (framework assertions abort, JACK never looks for a server), call
    this for every input and then let the message queue deliver what the input posted.
*/
void fuzzOne (const std::uint8_t* data, std::size_t size);

/** Stops the fuzzer with a message when the condition fails. */
void require (bool condition, const char* what);

/** What must hold for any processor after any load: every parameter in 0..1, its state
    bytes read back by a new processor into the same bytes, and finite output for finite input. */
void checkProcessor (JuceDemoPluginAudioProcessor& processor);
} // namespace tarrowby::fuzz
