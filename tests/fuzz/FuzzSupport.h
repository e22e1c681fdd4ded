#pragma once

#include "PluginProcessor.h"

#include <cstddef>
#include <cstdint>

namespace tarrowby::fuzz
{
/**
    Starts the framework once for the whole run, makes every framework assertion
    abort (so the fuzzer reports it as a crash), keeps JACK from looking for or
    starting a server and from printing, and shuts the framework down at exit.
    Call from LLVMFuzzerInitialize.
*/
void initialise();

/** Stops the fuzzer with a message when the condition fails. */
void require (bool condition, const char* what);

/**
    What must hold for any processor after any load: every parameter finite and in
    0..1; its state bytes well formed and read back by a new processor into the
    same bytes; and finite input processed into finite output.
*/
void checkProcessor (JuceDemoPluginAudioProcessor& processor);

/** Lets the message queue deliver what the last inputs posted. */
void deliverMessages();
} // namespace tarrowby::fuzz
