#include "EditorTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace tarrowby::test;

namespace
{
using Editor = JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor;
using Rect = juce::Rectangle<int>;

class EditorLayoutTest : public ::testing::Test
{
protected:
    Editor& makeEditor (int width = 472, int height = 310)
    {
        setEditorSize (processor, width, height);
        editor.reset();
        editor = std::make_unique<Editor> (processor);
        return *editor;
    }

    void setPeaks (std::initializer_list<float> values)
    {
        size_t i = 0;

        for (auto& peak : processor.peakLevels)
            peak.store (i < values.size() ? values.begin()[i++] : 0.0f);
    }

    ScopedStandalone standalone;
    JuceDemoPluginAudioProcessor processor;
    std::unique_ptr<Editor> editor;
};

const auto grey = juce::Colours::grey;
const auto darkBand = juce::Colours::grey.overlaidWith (juce::Colours::black.withAlpha (0.21f));
const auto lightBand = juce::Colours::grey.overlaidWith (juce::Colours::white.withAlpha (0.21f));

/** The editor's background alone, without its children. */
juce::Image paintBackground (Editor& e)
{
    return renderPaint (e);
}

void expectPixel (const juce::Image& image, int x, int y, juce::Colour expected)
{
    EXPECT_TRUE (coloursMatch (image.getPixelAt (x, y), expected))
        << "(" << x << ", " << y << "): " << image.getPixelAt (x, y).toDisplayString (true)
        << ", expected " << expected.toDisplayString (true);
}
} // namespace

//==============================================================================
TEST_F (EditorLayoutTest, ChildrenSitAtTheirFixedPositionsAtTheDefaultSize)
{
    auto& e = makeEditor();

    for (int i = 0; i < 16; ++i)
    {
        EXPECT_EQ (e.muteButtons[(size_t) i]->getBounds(), Rect (37 + 23 * i, 10, 21, 21));
        EXPECT_EQ (e.soloButtons[(size_t) i]->getBounds(), Rect (37 + 23 * i, 38, 21, 21));
        EXPECT_EQ (e.bassButtons[(size_t) i]->getBounds(), Rect (37 + 23 * i, 66, 21, 21));
        EXPECT_EQ (e.channelLabels[(size_t) i]->getBounds(), Rect (39 + 23 * i, 91, 21, 21));
    }

    // The bypass column stands 6 px right of the grid, and the first meter one px right of it.
    EXPECT_EQ (e.muteBypassButton->getBounds(), Rect (411, 10, 21, 21));
    EXPECT_EQ (e.soloBypassButton->getBounds(), Rect (411, 38, 21, 21));
    EXPECT_EQ (e.bassBypassButton->getBounds(), Rect (411, 66, 21, 21));
    EXPECT_EQ (e.channelLabels[16]->getBounds(), Rect (413, 91, 21, 21));

    EXPECT_EQ (e.meters[0]->getBounds(), Rect (47, 114, 6, 24));
    EXPECT_EQ (e.meters[1]->getBounds(), Rect (69, 114, 6, 24));
    EXPECT_EQ (e.meters[15]->getBounds(), Rect (391, 114, 6, 24));

    EXPECT_EQ (e.muteLabelLeft.getBounds(), Rect (1, 10, 36, 20));
    EXPECT_EQ (e.soloLabelLeft.getBounds(), Rect (1, 38, 36, 20));
    EXPECT_EQ (e.bassLabelLeft.getBounds(), Rect (1, 66, 36, 20));
    EXPECT_EQ (e.muteLabelRight.getBounds(), Rect (436, 10, 36, 20));
    EXPECT_EQ (e.soloLabelRight.getBounds(), Rect (436, 38, 36, 20));
    EXPECT_EQ (e.bassLabelRight.getBounds(), Rect (436, 66, 36, 20));
    EXPECT_EQ (e.layoutLabel.getBounds(), Rect (436, 110, 36, 20));
    EXPECT_EQ (e.bassManLabel.getBounds(), Rect (436, 124, 36, 20));
    EXPECT_EQ (e.layoutLed->getBounds(), Rect (419, 115, 10, 10));
    EXPECT_EQ (e.bassManLed->getBounds(), Rect (419, 129, 10, 10));

    EXPECT_EQ (e.crossoverSlider.getBounds(), Rect (36, 176, 112, 112));
    EXPECT_EQ (e.gainSlider.getBounds(), Rect (328, 176, 112, 112));
    EXPECT_EQ (e.donateLink.getBounds(), Rect (174, 205, 124, 24));
    EXPECT_EQ (e.dimButton.getBounds(), Rect (188, 235, 92, 24));
    EXPECT_EQ (e.cutButton.getBounds(), Rect (188, 265, 92, 24));
    EXPECT_EQ (e.infoLabel.getBounds(), Rect (0, 283, 469, 20));
    EXPECT_EQ (e.versionTextLabel.getBounds(), Rect (0, 270, 469, 40));
}

TEST_F (EditorLayoutTest, OnlyTheRightColumnCentredButtonsAndBottomLabelsFollowTheSize)
{
    auto& e = makeEditor (500, 310);

    EXPECT_EQ (e.muteLabelRight.getX(), 464);
    EXPECT_EQ (e.bassManLabel.getX(), 464);
    EXPECT_EQ (e.layoutLed->getX(), 447);
    EXPECT_EQ (e.donateLink.getX(), 188);
    EXPECT_EQ (e.dimButton.getX(), 202);
    EXPECT_EQ (e.infoLabel.getBounds(), Rect (0, 283, 469, 20));
    EXPECT_EQ (e.versionTextLabel.getBounds(), Rect (0, 270, 469, 40));
    EXPECT_EQ (e.muteBypassButton->getX(), 411);
    EXPECT_EQ (e.gainSlider.getX(), 328);

    // Odd widths halve by truncation.
    e.setSize (473, 310);
    EXPECT_EQ (e.dimButton.getX(), 188);

    e.setSize (300, 30);
    EXPECT_EQ (e.infoLabel.getBounds(), Rect (0, 3, 300, 20));
    EXPECT_EQ (e.versionTextLabel.getBounds(), Rect (0, 0, 300, 30));

    e.setSize (300, 5);
    EXPECT_EQ (e.infoLabel.getBounds(), Rect (0, 0, 300, 0));
    EXPECT_EQ (e.versionTextLabel.getBounds(), Rect (0, 0, 300, 5));

    e.setSize (0, 0);
    EXPECT_EQ (e.infoLabel.getBounds(), Rect());
    EXPECT_EQ (e.muteLabelRight.getBounds(), Rect (-36, 10, 36, 20));
}

TEST_F (EditorLayoutTest, LayoutWithoutMetersSkipsTheirSlots)
{
    ScopedWrapperType plugin (juce::AudioProcessor::wrapperType_AudioUnit);
    auto& e = makeEditor();
    e.setSize (480, 320);
    EXPECT_EQ (e.meters[0], nullptr);
    EXPECT_EQ (e.layoutLed->getX(), 427);
}

//==============================================================================
TEST_F (EditorLayoutTest, BackgroundIsGreyWithTranslucentBandsAndTheLogo)
{
    auto& e = makeEditor();
    const auto image = paintBackground (e);

    expectPixel (image, 0, 0, grey);
    expectPixel (image, 471, 309, grey);

    for (const auto y : { 7, 35, 63 })
    {
        // Left band {35, y, 372, 27}, then a 2-px gap, then the right band {409, y, 28, 27}.
        expectPixel (image, 34, y, grey);
        expectPixel (image, 35, y, darkBand);
        expectPixel (image, 406, y + 26, darkBand);
        expectPixel (image, 407, y, grey);
        expectPixel (image, 408, y, grey);
        expectPixel (image, 409, y, darkBand);
        expectPixel (image, 436, y + 26, darkBand);
        expectPixel (image, 437, y, grey);
        expectPixel (image, 100, y - 1, grey);
        expectPixel (image, 100, y + 27, grey);
    }

    // Meter band {35, 111, 372, 31}.
    expectPixel (image, 35, 111, lightBand);
    expectPixel (image, 406, 141, lightBand);
    expectPixel (image, 407, 120, grey);
    expectPixel (image, 100, 110, grey);
    expectPixel (image, 100, 142, grey);
    expectPixel (image, 420, 120, grey);

    // The 48 x 48 logo, unscaled, at (208, 160) over the grey.
    juce::Image logoOnGrey (juce::Image::ARGB, 48, 48, true);
    {
        juce::Graphics g (logoOnGrey);
        g.fillAll (grey);
        g.drawImageAt (e.logoImage, 0, 0);
    }

    int differing = 0;

    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            if (! coloursMatch (image.getPixelAt (208 + x, 160 + y), logoOnGrey.getPixelAt (x, y), 1))
                ++differing;

    EXPECT_EQ (differing, 0);
    expectPixel (image, 207, 184, grey);
    expectPixel (image, 256, 184, grey);

    const auto ops = recordPaint (e);
    ASSERT_EQ (ops.size(), 9u);
    EXPECT_EQ (ops[1].kind, DrawOp::Kind::image);
    EXPECT_EQ (ops[1].transform, juce::AffineTransform::translation (208.0f, 160.0f));
    EXPECT_EQ (ops[2].colour, juce::Colours::black.withAlpha (0.21f));
    EXPECT_EQ (ops[8].colour, juce::Colours::white.withAlpha (0.21f));
    EXPECT_EQ (ops[8].area, juce::Rectangle<float> (35, 111, 372, 31));
}

TEST_F (EditorLayoutTest, BackgroundDependsOnTheWidthOnly)
{
    auto& e = makeEditor (200, 100);
    const auto ops = recordPaint (e);

    // A = 130: left bands 100 wide, right bands the 28 px ending at 165, logo at 72.
    ASSERT_EQ (ops.size(), 9u);
    EXPECT_EQ (ops[1].transform, juce::AffineTransform::translation (72.0f, 160.0f));
    EXPECT_EQ (ops[2].area, juce::Rectangle<float> (35, 7, 100, 27));
    EXPECT_EQ (ops[3].area, juce::Rectangle<float> (137, 7, 28, 27));
    EXPECT_EQ (ops[7].area, juce::Rectangle<float> (137, 63, 28, 27));

    e.setSize (200, 400);
    const auto taller = recordPaint (e);
    ASSERT_EQ (taller.size(), ops.size());

    for (size_t i = 1; i < ops.size(); ++i)
        EXPECT_EQ (taller[i].area, ops[i].area);
}

TEST_F (EditorLayoutTest, NarrowEditorDrawsNoBandsOfNoWidth)
{
    auto& e = makeEditor (80, 310);
    auto ops = recordPaint (e);

    // A = 10: the left bands and the meter band would be -20 wide; the right bands are {35, y, 10, 27}.
    ASSERT_EQ (ops.size(), 5u);
    EXPECT_EQ (ops[2].area, juce::Rectangle<float> (35, 7, 10, 27));
    EXPECT_EQ (ops[4].area, juce::Rectangle<float> (35, 63, 10, 27));

    for (const auto width : { 70, 20, 0 })
    {
        e.setSize (width, 310);
        ops = recordPaint (e);
        ASSERT_FALSE (ops.empty());

        for (size_t i = 1; i < ops.size(); ++i)
            EXPECT_EQ (ops[i].kind, DrawOp::Kind::image) << width;
    }

    e.setSize (70, 310);
    const auto image = paintBackground (e);
    expectPixel (image, 35, 7, grey);
    expectPixel (image, 40, 120, grey);
}

TEST_F (EditorLayoutTest, MissingLogoLeavesTheGreyBackground)
{
    auto& e = makeEditor();
    e.logoImage = {};

    const auto ops = recordPaint (e);
    ASSERT_EQ (ops.size(), 8u);

    for (const auto& op : ops)
        EXPECT_NE (op.kind, DrawOp::Kind::image);

    const auto image = paintBackground (e);
    expectPixel (image, 230, 180, grey);
}

//==============================================================================
TEST_F (EditorLayoutTest, TickShowsTheCubeRootOfEachPeakAndClearsThePeaks)
{
    auto& e = makeEditor();
    setPeaks ({ 0.0f, 0.125f, 1.0f, 8.0f, 0.001f, 0.19952623f, std::numeric_limits<float>::infinity(),
                std::numeric_limits<float>::quiet_NaN() });

    e.timerCallback();

    EXPECT_EQ (e.meters[0]->level, 0.0f);
    EXPECT_FLOAT_EQ (e.meters[1]->level, 0.5f);
    EXPECT_EQ (e.meters[2]->level, 1.0f);
    EXPECT_EQ (e.meters[3]->level, 1.0f);
    EXPECT_NEAR (e.meters[4]->level, 0.1f, 1.0e-6f);
    EXPECT_NEAR (e.meters[5]->level, SimpleMeter::yellowThreshold, 1.0e-6);
    EXPECT_EQ (e.meters[6]->level, 1.0f);

    // A peak that is not a number shows full scale rather than an undefined bar.
    EXPECT_EQ (e.meters[7]->level, 1.0f);

    for (size_t i = 8; i < 16; ++i)
        EXPECT_EQ (e.meters[i]->level, 0.0f);

    for (auto& peak : processor.peakLevels)
        EXPECT_EQ (peak.load(), 0.0f);
}

TEST_F (EditorLayoutTest, TickLightsEachLampFromItsFlag)
{
    auto& e = makeEditor();
    setPeaks ({});

    processor.channelPairsDiffer = true;
    processor.bassSignalPresent = false;
    e.timerCallback();
    EXPECT_EQ (e.layoutLed->level, 0.0f);
    EXPECT_EQ (e.bassManLed->level, 1.0f);

    processor.channelPairsDiffer = false;
    processor.bassSignalPresent = true;
    e.timerCallback();
    EXPECT_EQ (e.layoutLed->level, 1.0f);
    EXPECT_EQ (e.bassManLed->level, 0.0f);
}

TEST_F (EditorLayoutTest, TickDoesNothingUnlessStandalone)
{
    auto& e = makeEditor();

    for (auto& meter : e.meters)
        meter->level = 0.3f;

    e.layoutLed->level = 0.5f;
    e.bassManLed->level = 0.5f;
    setPeaks ({ 0.5f, 0.25f });
    processor.channelPairsDiffer = true;

    {
        ScopedWrapperType plugin (juce::AudioProcessor::wrapperType_VST3);
        e.timerCallback();
    }

    EXPECT_EQ (processor.peakLevels[0].load(), 0.5f);
    EXPECT_EQ (processor.peakLevels[1].load(), 0.25f);
    EXPECT_EQ (e.meters[0]->level, 0.3f);
    EXPECT_EQ (e.layoutLed->level, 0.5f);
    EXPECT_EQ (e.bassManLed->level, 0.5f);
}

TEST_F (EditorLayoutTest, TickWithoutMetersStillClearsThePeaks)
{
    std::unique_ptr<Editor> withoutMeters;
    {
        ScopedWrapperType plugin (juce::AudioProcessor::wrapperType_Undefined);
        withoutMeters = std::make_unique<Editor> (processor);
    }

    setPeaks ({ 0.5f });
    processor.channelPairsDiffer = true;
    withoutMeters->timerCallback();

    EXPECT_EQ (processor.peakLevels[0].load(), 0.0f);
    EXPECT_EQ (withoutMeters->layoutLed->level, 0.0f);
}

TEST_F (EditorLayoutTest, TimerRefreshesWhileTheEditorLives)
{
    makeEditor();
    setPeaks ({ 0.125f });

    ASSERT_TRUE (pumpMessagesUntil ([this] { return processor.peakLevels[0].load() == 0.0f; }, 2000));
    EXPECT_FLOAT_EQ (editor->meters[0]->level, 0.5f);

    // A repaint after the tick shows the level.
    const auto image = editor->meters[0]->createComponentSnapshot ({ 0, 0, 6, 24 }, false, 1.0f);
    EXPECT_EQ (image.getPixelAt (2, 22), juce::Colours::green);
    EXPECT_EQ (image.getPixelAt (2, 10), juce::Colours::black);
}
