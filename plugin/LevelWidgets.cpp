#include "LevelWidgets.h"

#include <cmath>

void SimpleMeter::paint (juce::Graphics& g)
{
    if (holdCounter > 0)
        holdCounter = holdCounter < holdLength ? holdCounter + 1 : 0;

    g.fillAll (juce::Colours::black);

    const auto w = getWidth();
    const auto h = getHeight();
    const auto barWidth = juce::jmax (0, w - 2);

    // From here on y counts upward from the bottom edge.
    g.addTransform (juce::AffineTransform (1.0f, 0.0f, 0.0f, 0.0f, -1.0f, (float) h));

    if (level > 1.0f)
        level = 1.0f;
    else if (level < 0.0f || std::isnan (level))
        level = 0.0f;

    const auto scaledLevel = (float) h * level;
    const auto yellowStart = h * yellowThreshold;
    const auto redStart = h * redThreshold;

    g.setColour (juce::Colours::green);
    g.fillRect (1, 1, barWidth, (int) scaledLevel);

    g.setColour (juce::Colours::yellow);

    if ((double) level > yellowThreshold)
        g.fillRect (1, (int) yellowStart, barWidth, (int) ((double) scaledLevel - yellowStart));

    g.setColour (juce::Colours::red);

    const auto fillRedFrom = [&] (float topLevel) {
        g.fillRect (juce::Rectangle<float> (1.0f, (float) redStart, (float) barWidth,
                                            (float) ((double) ((float) h * topLevel) - redStart)));
    };

    if ((double) level > redThreshold)
    {
        fillRedFrom (level);
        holdCounter = 1;
        peakHold = level;
    }
    else if (holdCounter > 0)
    {
        fillRedFrom (peakHold);
    }

    g.setColour (juce::Colours::grey);
    g.drawHorizontalLine ((int) yellowStart, 0.0f, (float) w);
    g.drawHorizontalLine ((int) redStart, 0.0f, (float) w);
}

void SimpleLED::paint (juce::Graphics& g)
{
    g.setColour (juce::Colours::green);

    if (level >= 1.0f)
    {
        g.setColour (juce::Colours::red);
        g.setOpacity (0.5f);
    }
    else if (level > 0.0f)
    {
        g.setColour (juce::Colours::yellow);
    }

    g.fillEllipse (getLocalBounds().toFloat());
}
