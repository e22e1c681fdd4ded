#include "EditorTestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using tarrowby::test::DrawOp;
using tarrowby::test::coloursMatch;
using tarrowby::test::recordPaint;
using tarrowby::test::renderPaint;

namespace
{
constexpr double c1 = 0.5843414133735176;
constexpr double c2 = 0.9885530946569384;

const juce::AffineTransform flip24 (1.0f, 0.0f, 0.0f, 0.0f, -1.0f, 24.0f);

struct MeterAt
{
    explicit MeterAt (float level, int width = 6, int height = 24)
    {
        meter.setSize (width, height);
        meter.level = level;
    }

    SimpleMeter meter;
};

std::vector<DrawOp> opsOfColour (const std::vector<DrawOp>& ops, juce::Colour colour)
{
    std::vector<DrawOp> result;

    for (const auto& op : ops)
        if (op.colour == colour)
            result.push_back (op);

    return result;
}

bool hasColour (const std::vector<DrawOp>& ops, juce::Colour colour)
{
    return ! opsOfColour (ops, colour).empty();
}

/** Checks each pixel of one image column, top row first, allowing for edge antialiasing. */
void expectColumn (const juce::Image& image, int x, const std::vector<juce::Colour>& expected)
{
    ASSERT_EQ ((size_t) image.getHeight(), expected.size());

    for (int y = 0; y < image.getHeight(); ++y)
        EXPECT_TRUE (coloursMatch (image.getPixelAt (x, y), expected[(size_t) y]))
            << "x " << x << ", y " << y << ": " << image.getPixelAt (x, y).toDisplayString (true);
}
} // namespace

//==============================================================================
TEST (SimpleMeter, PaintsSegmentsInTheFlippedFrameForAMidLevel)
{
    MeterAt m (0.7f);
    const auto ops = recordPaint (m.meter);

    ASSERT_EQ (ops.size(), 5u);

    EXPECT_EQ (ops[0].colour, juce::Colours::black);
    EXPECT_EQ (ops[0].area, juce::Rectangle<float> (0, 0, 6, 24));
    EXPECT_TRUE (ops[0].transform.isIdentity());

    EXPECT_EQ (ops[1].kind, DrawOp::Kind::intRect);
    EXPECT_EQ (ops[1].colour, juce::Colours::green);
    EXPECT_EQ (ops[1].area, juce::Rectangle<float> (1, 1, 4, 16));
    EXPECT_EQ (ops[1].transform, flip24);

    // 24 * 0.7 - 24 * c1 = 2.78, truncated.
    EXPECT_EQ (ops[2].kind, DrawOp::Kind::intRect);
    EXPECT_EQ (ops[2].colour, juce::Colours::yellow);
    EXPECT_EQ (ops[2].area, juce::Rectangle<float> (1, 14, 4, 2));

    for (int i : { 3, 4 })
    {
        EXPECT_EQ (ops[(size_t) i].colour, juce::Colours::grey);
        EXPECT_EQ (ops[(size_t) i].transform, flip24);
    }

    EXPECT_EQ (ops[3].area, juce::Rectangle<float> (0, 14, 6, 1));
    EXPECT_EQ (ops[4].area, juce::Rectangle<float> (0, 23, 6, 1));
    EXPECT_EQ (m.meter.holdCounter, 0);
}

TEST (SimpleMeter, MidLevelPixelsCountUpFromTheBottom)
{
    MeterAt m (0.7f);
    const auto image = renderPaint (m.meter);

    const auto black = juce::Colours::black, green = juce::Colours::green;
    const auto yellow = juce::Colours::yellow, grey = juce::Colours::grey;

    // Rows top to bottom: line at 23, empty, green with yellow from 14 and the line at 14, empty bottom row.
    std::vector<juce::Colour> inside { grey, black, black, black, black, black, black, green, yellow, grey };
    inside.resize (23, green);
    inside.push_back (black);

    std::vector<juce::Colour> edge (24, black);
    edge[0] = edge[9] = grey;

    expectColumn (image, 1, inside);
    expectColumn (image, 4, inside);
    expectColumn (image, 0, edge);
    expectColumn (image, 5, edge);
}

TEST (SimpleMeter, OverRangeLevelIsClampedAndArmsTheHold)
{
    MeterAt m (1.5f);
    const auto ops = recordPaint (m.meter);

    EXPECT_EQ (m.meter.level, 1.0f);
    EXPECT_EQ (m.meter.holdCounter, 1);
    EXPECT_EQ (m.meter.peakHold, 1.0f);

    ASSERT_EQ (ops.size(), 6u);
    EXPECT_EQ (ops[1].area, juce::Rectangle<float> (1, 1, 4, 24));
    EXPECT_EQ (ops[2].area, juce::Rectangle<float> (1, 14, 4, (float) (int) (24.0 - 24.0 * c1)));
    EXPECT_EQ (ops[3].kind, DrawOp::Kind::floatRect);
    EXPECT_EQ (ops[3].colour, juce::Colours::red);
    EXPECT_EQ (ops[3].area, juce::Rectangle<float> (1.0f, (float) (24.0 * c2), 4.0f, (float) (24.0 - 24.0 * c2)));
    EXPECT_EQ (ops[3].transform, flip24);
}

TEST (SimpleMeter, RedSegmentShowsAtTheTopOfATallMeter)
{
    MeterAt m (1.5f, 6, 200);
    const auto image = renderPaint (m.meter);

    // Red spans 197.7 .. 200 from the bottom: the top two rows, with the line at 197 just below.
    for (int x = 1; x <= 4; ++x)
    {
        EXPECT_EQ (image.getPixelAt (x, 0), juce::Colours::red);
        EXPECT_EQ (image.getPixelAt (x, 1), juce::Colours::red);
        EXPECT_EQ (image.getPixelAt (x, 2), juce::Colours::grey);
        EXPECT_EQ (image.getPixelAt (x, 3), juce::Colours::yellow);
        EXPECT_EQ (image.getPixelAt (x, 198), juce::Colours::green);
        EXPECT_EQ (image.getPixelAt (x, 199), juce::Colours::black);
    }

    EXPECT_EQ (image.getPixelAt (0, 0), juce::Colours::black);
    EXPECT_EQ (image.getPixelAt (5, 1), juce::Colours::black);
}

TEST (SimpleMeter, NegativeOrUndefinedLevelShowsOnlyTheThresholdLines)
{
    for (const auto level : { -0.2f, std::numeric_limits<float>::quiet_NaN() })
    {
        MeterAt m (level);
        const auto ops = recordPaint (m.meter);

        EXPECT_EQ (m.meter.level, 0.0f);
        ASSERT_EQ (ops.size(), 4u);
        EXPECT_EQ (ops[1].colour, juce::Colours::green);
        EXPECT_EQ (ops[1].area, juce::Rectangle<float> (1, 1, 4, 0));
        EXPECT_EQ (ops[2].colour, juce::Colours::grey);
        EXPECT_EQ (ops[3].colour, juce::Colours::grey);

        const auto image = renderPaint (m.meter);

        for (int y = 0; y < 24; ++y)
            EXPECT_EQ (image.getPixelAt (2, y), (y == 0 || y == 9) ? juce::Colours::grey : juce::Colours::black) << y;
    }
}

TEST (SimpleMeter, ThresholdsAreComparedStrictlyInDoublePrecision)
{
    // c1 rounded to float lies just below c1; the next float lies above it.
    MeterAt justBelowYellow (0.5843414068222046f), justAboveYellow (0.5843414664268494f);
    EXPECT_FALSE (hasColour (recordPaint (justBelowYellow.meter), juce::Colours::yellow));
    EXPECT_TRUE (hasColour (recordPaint (justAboveYellow.meter), juce::Colours::yellow));

    // c2 rounded to float lies just above c2.
    MeterAt m (0.9885531067848206f);
    EXPECT_TRUE (hasColour (recordPaint (m.meter), juce::Colours::red));
    EXPECT_EQ (m.meter.holdCounter, 1);
    EXPECT_EQ (m.meter.peakHold, 0.9885531067848206f);

    MeterAt below (0.98855304f);
    EXPECT_FALSE (hasColour (recordPaint (below.meter), juce::Colours::red));
    EXPECT_EQ (below.meter.holdCounter, 0);
}

TEST (SimpleMeter, HoldShowsForThirtyOneRepaintsAfterAnOvershoot)
{
    MeterAt m (1.0f, 6, 200);
    renderPaint (m.meter);
    ASSERT_EQ (m.meter.holdCounter, 1);

    m.meter.level = 0.3f;

    for (int repaint = 1; repaint <= 31; ++repaint)
    {
        const auto ops = recordPaint (m.meter);
        const auto red = opsOfColour (ops, juce::Colours::red);
        ASSERT_EQ (red.size(), 1u) << repaint;
        EXPECT_EQ (red[0].area.getBottom(), 200.0f) << repaint;
        EXPECT_EQ (m.meter.holdCounter, repaint + 1);
    }

    const auto image = renderPaint (m.meter);
    EXPECT_EQ (image.getPixelAt (2, 0), juce::Colours::black);
    EXPECT_EQ (m.meter.holdCounter, 0);
    EXPECT_FALSE (hasColour (recordPaint (m.meter), juce::Colours::red));
}

TEST (SimpleMeter, HeldSegmentIsVisibleAndANewOvershootReplacesIt)
{
    MeterAt m (1.0f, 6, 200);
    renderPaint (m.meter);
    m.meter.level = 0.3f;

    for (int i = 0; i < 10; ++i)
        renderPaint (m.meter);

    const auto held = renderPaint (m.meter);
    EXPECT_EQ (held.getPixelAt (2, 0), juce::Colours::red);
    EXPECT_EQ (held.getPixelAt (2, 1), juce::Colours::red);

    // A lower overshoot restarts the hold at its own level.
    m.meter.level = 0.995f;
    renderPaint (m.meter);
    EXPECT_EQ (m.meter.holdCounter, 1);
    EXPECT_EQ (m.meter.peakHold, 0.995f);

    m.meter.level = 0.0f;
    const auto red = opsOfColour (recordPaint (m.meter), juce::Colours::red);
    ASSERT_EQ (red.size(), 1u);
    EXPECT_NEAR (red[0].area.getBottom(), 199.0f, 1.0e-3f);
    EXPECT_EQ (m.meter.holdCounter, 2);
}

TEST (SimpleMeter, NarrowMeterDrawsNoThresholdLinesAndNoNegativeBars)
{
    for (const auto width : { 0, 1 })
    {
        MeterAt m (1.0f, width, 24);
        const auto ops = recordPaint (m.meter);

        EXPECT_EQ (hasColour (ops, juce::Colours::grey), width > 0);

        for (const auto& op : ops)
            EXPECT_GE (op.area.getWidth(), 0.0f);
    }
}

//==============================================================================
TEST (SimpleLED, ColourFollowsTheLevel)
{
    struct Case
    {
        float level;
        juce::Colour colour;
    };

    const Case cases[] = {
        { -1.0f, juce::Colours::green },
        { 0.0f, juce::Colours::green },
        { 0.5f, juce::Colours::yellow },
        { 1.0f, juce::Colours::red.withAlpha (0.5f) },
        { 2.0f, juce::Colours::red.withAlpha (0.5f) },
    };

    for (const auto& c : cases)
    {
        SimpleLED led;
        led.setSize (10, 10);
        led.level = c.level;

        const auto image = renderPaint (led);
        EXPECT_TRUE (coloursMatch (image.getPixelAt (5, 5), c.colour))
            << c.level << ": " << image.getPixelAt (5, 5).toDisplayString (true);

        // No background: the corners stay clear.
        EXPECT_EQ (image.getPixelAt (0, 0).getAlpha(), 0);
        EXPECT_EQ (image.getPixelAt (9, 9).getAlpha(), 0);

        const auto ops = recordPaint (led);
        ASSERT_EQ (ops.size(), 1u);
        EXPECT_EQ (ops[0].kind, DrawOp::Kind::path);
        EXPECT_EQ (ops[0].area, juce::Rectangle<float> (0, 0, 10, 10));
    }
}
