// Arbitrary bytes as processor state, as a state file or a host would hand them over.
#include "FuzzSupport.h"

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    tarrowby::fuzz::initialise();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    {
        JuceDemoPluginAudioProcessor processor;
        processor.setStateInformation (data, (int) size);
        tarrowby::fuzz::checkProcessor (processor);
    }

    tarrowby::fuzz::deliverMessages();
    return 0;
}
