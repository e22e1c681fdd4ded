#include "EditorTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarrowby::test;

namespace
{
const auto black = juce::Colours::black, green = juce::Colours::green, yellow = juce::Colours::yellow;
const auto red = juce::Colours::red, grey = juce::Colours::grey;

struct Meter : SimpleMeter
{
    explicit Meter (float initialLevel, int height = 24, int width = 6)
    {
        setSize (width, height);
        level = initialLevel;
    }
};

std::vector<DrawOp> opsOfColour (juce::Component& component, juce::Colour colour)
{
    std::vector<DrawOp> result;

    for (const auto& op : recordPaint (component))
        if (op.colour == colour)
            result.push_back (op);

    return result;
}

bool draws (juce::Component& component, juce::Colour colour)   { return ! opsOfColour (component, colour).empty(); }
} // namespace

TEST (SimpleMeter, MidLevelCountsUpFromTheBottomWithYellowAboveTheFirstThreshold)
{
    Meter meter (0.7f);
    const auto image = renderPaint (meter);

    // Rows top to bottom: the line at 23, empty, yellow from 14 (24 * 0.7 - 24 * c1 = 2.78, truncated)
    // with the line at 14, green, and the empty bottom row.
    std::vector<juce::Colour> inside { grey, black, black, black, black, black, black, green, yellow, grey };
    inside.resize (23, green);
    inside.push_back (black);

    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 24; ++y)
        {
            const auto expected = (x == 0 || x == 5) ? (y == 0 || y == 9 ? grey : black) : inside[(size_t) y];
            EXPECT_TRUE (coloursMatch (image.getPixelAt (x, y), expected)) << x << ", " << y << ": " << image.getPixelAt (x, y).toDisplayString (true);
        }

    EXPECT_EQ (meter.holdCounter, 0);
}

TEST (SimpleMeter, LevelsOutOfRangeAreClamped)
{
    Meter over (1.5f, 200);
    const auto image = renderPaint (over);
    EXPECT_EQ (over.level, 1.0f);
    EXPECT_EQ (over.holdCounter, 1);
    EXPECT_EQ (over.peakHold, 1.0f);

    // Red spans 197.7 .. 200 from the bottom: the top two rows, with the line at 197 just below.
    for (int x = 1; x <= 4; ++x)
    {
        EXPECT_EQ (image.getPixelAt (x, 0), red);
        EXPECT_EQ (image.getPixelAt (x, 1), red);
        EXPECT_EQ (image.getPixelAt (x, 2), grey);
        EXPECT_EQ (image.getPixelAt (x, 3), yellow);
        EXPECT_EQ (image.getPixelAt (x, 198), green);
        EXPECT_EQ (image.getPixelAt (x, 199), black);
    }

    EXPECT_EQ (image.getPixelAt (0, 0), black);

    for (const auto level : { -0.2f, std::numeric_limits<float>::quiet_NaN() })
    {
        Meter under (level);
        const auto empty = renderPaint (under);
        EXPECT_EQ (under.level, 0.0f);

        for (int y = 0; y < 24; ++y)
            EXPECT_EQ (empty.getPixelAt (2, y), (y == 0 || y == 9) ? grey : black) << y;
    }

    // Too narrow for a bar: no threshold lines and no negative widths.
    for (const auto width : { 0, 1 })
    {
        Meter narrow (1.0f, 24, width);
        EXPECT_EQ (draws (narrow, grey), width > 0);

        for (const auto& op : recordPaint (narrow))
            EXPECT_GE (op.area.getWidth(), 0.0f);
    }
}

TEST (SimpleMeter, ThresholdsAreComparedStrictlyInDoublePrecision)
{
    // c1 rounded to float lies just below c1; the next float lies above it.
    Meter belowYellow (0.5843414068222046f), aboveYellow (0.5843414664268494f);
    EXPECT_FALSE (draws (belowYellow, yellow));
    EXPECT_TRUE (draws (aboveYellow, yellow));

    // c2 rounded to float lies just above c2.
    Meter aboveRed (0.9885531067848206f), belowRed (0.98855304f);
    EXPECT_TRUE (draws (aboveRed, red));
    EXPECT_EQ (aboveRed.holdCounter, 1);
    EXPECT_EQ (aboveRed.peakHold, 0.9885531067848206f);
    EXPECT_FALSE (draws (belowRed, red));
    EXPECT_EQ (belowRed.holdCounter, 0);
}

TEST (SimpleMeter, AnOvershootIsHeldFor32RepaintsOrUntilTheNext)
{
    Meter meter (1.0f, 200);
    renderPaint (meter);
    ASSERT_EQ (meter.holdCounter, 1);
    meter.level = 0.3f;

    for (int repaint = 1; repaint <= 31; ++repaint)
    {
        if (repaint == 11)
        {
            const auto image = renderPaint (meter);
            EXPECT_EQ (image.getPixelAt (2, 0), red);
            EXPECT_EQ (image.getPixelAt (2, 1), red);
        }
        else
        {
            const auto held = opsOfColour (meter, red);
            ASSERT_EQ (held.size(), 1u) << repaint;
            EXPECT_EQ (held[0].area.getBottom(), 200.0f) << repaint;
        }

        EXPECT_EQ (meter.holdCounter, repaint + 1);
    }

    EXPECT_EQ (renderPaint (meter).getPixelAt (2, 0), black);
    EXPECT_EQ (meter.holdCounter, 0);
    EXPECT_FALSE (draws (meter, red));

    // A lower overshoot restarts the hold at its own level.
    meter.level = 1.0f;
    renderPaint (meter);
    meter.level = 0.3f;
    renderPaint (meter);
    meter.level = 0.995f;
    renderPaint (meter);
    EXPECT_EQ (meter.holdCounter, 1);
    EXPECT_EQ (meter.peakHold, 0.995f);

    meter.level = 0.0f;
    const auto held = opsOfColour (meter, red);
    ASSERT_EQ (held.size(), 1u);
    EXPECT_NEAR (held[0].area.getBottom(), 199.0f, 1.0e-3f);
}

TEST (SimpleLED, ColourFollowsTheLevel)
{
    const std::pair<float, juce::Colour> cases[] = { { -1.0f, green }, { 0.0f, green }, { 0.5f, yellow },
                                                     { 1.0f, red.withAlpha (0.5f) }, { 2.0f, red.withAlpha (0.5f) } };

    for (const auto& [level, colour] : cases)
    {
        SimpleLED led;
        led.setSize (10, 10);
        led.level = level;

        const auto image = renderPaint (led);
        EXPECT_TRUE (coloursMatch (image.getPixelAt (5, 5), colour)) << level << ": " << image.getPixelAt (5, 5).toDisplayString (true);
        EXPECT_EQ (image.getPixelAt (0, 0).getAlpha(), 0); // a round lamp without background
    }
}
