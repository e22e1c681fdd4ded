#include "PluginProcessor.h"

#include <gtest/gtest.h>

TEST (Smoke, ProcessorIsCreated)
{
    JuceDemoPluginAudioProcessor processor;
    EXPECT_EQ (processor.getName(), "Tarrowby");
}
