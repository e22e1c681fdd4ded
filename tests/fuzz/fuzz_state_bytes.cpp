// Arbitrary bytes as processor state, as a state file or a host would hand them over.
#include "FuzzSupport.h"

void tarrowby::fuzz::fuzzOne (const std::uint8_t* data, std::size_t size)
{
    JuceDemoPluginAudioProcessor processor;
    processor.setStateInformation (data, (int) size);
    checkProcessor (processor);
}
