#include "LevelWidgets.h"

// Placeholder bodies; painting is filled in next.
void SimpleMeter::paint (juce::Graphics&) {}
void SimpleLED::paint (juce::Graphics&) {}
