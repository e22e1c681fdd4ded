#include "ProcessorTestHelpers.h"
#include <gtest/gtest.h>
#include <limits>

using namespace tarrowby::test;

namespace
{
const auto black = juce::Colours::black, green = juce::Colours::green, yellow = juce::Colours::yellow, red = juce::Colours::red;
const auto notANumber = std::numeric_limits<float>::quiet_NaN();
juce::Image renderPaint (juce::Component& component)
{
    juce::Image image (juce::Image::ARGB, component.getWidth(), component.getHeight(), true);
    juce::Graphics g (image);
    component.paint (g);
    return image;
}
struct EditorTest : ::testing::Test
{
    ScopedWrapperType standalone;
    Processor processor;
    Editor editor { processor };
};
} // namespace

TEST_F (EditorTest, SizeComesFromTheUiStateChildDimAndTheFirstMuteSitWhereTheyAreClickedAndPopupsOpenInTheParentNamed)
{
    juce::Component parent;
    auto& lookAndFeel = dynamic_cast<Editor::ForcePopupsInParentWindow&> (editor.getLookAndFeel());
    EXPECT_EQ (lookAndFeel.getParentComponentForMenuOptions (juce::PopupMenu::Options()), nullptr);
    EXPECT_EQ (lookAndFeel.getParentComponentForMenuOptions (juce::PopupMenu::Options().withParentComponent (&parent)), &parent);
    EXPECT_EQ (editor.getBounds(), juce::Rectangle<int> (472, 310));
    EXPECT_EQ (findChildren<juce::TextButton> (editor)[0]->getBounds(), juce::Rectangle<int> (188, 235, 92, 24));
    EXPECT_EQ (editor.muteButtons[0]->getBounds(), juce::Rectangle<int> (37, 10, 21, 21));
    // A dimension that is missing, not a positive number or larger than the screen takes its default.
    const auto screen = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay()->userArea.withZeroOrigin();
    const auto size = [] (auto width, auto height) { return "width=\"" + juce::String (width) + "\" height=\"" + juce::String (height) + "\""; };
    const std::pair<juce::String, juce::Rectangle<int>> rows[] = {
        { size (640, 420), { 640, 420 } }, // numbers as text
        { size (0, -5), { 472, 310 } },
        { size (screen.getWidth(), screen.getHeight()), screen },
        { size (screen.getWidth() + 1, 400), { 472, 400 } },
        { size (600, screen.getHeight() + 1), { 600, 310 } },
    };
    auto uiState = processor.parameters.state.getChildWithName ("uiState");
    for (const auto& [attributes, bounds] : rows)
    {
        uiState.copyPropertiesFrom (juce::ValueTree::fromXml ("<uiState " + attributes + "/>"), nullptr);
        EXPECT_EQ (Editor (processor).getBounds(), bounds) << attributes;
    }
    processor.parameters.state.removeChild (uiState, nullptr);
    EXPECT_EQ (Editor (processor).getBounds(), juce::Rectangle<int> (472, 310));
}

TEST_F (EditorTest, ItsOwnTimerShowsTheCubeRootOfEachPeakClearsThePeaksAndSetsTheLamps)
{
    const auto meters = findChildren<SimpleMeter> (editor);
    auto lamps = findChildren<SimpleLED> (editor);
    std::sort (lamps.begin(), lamps.end(), [] (auto* a, auto* b) { return a->getY() < b->getY(); }); // pairs, then bass
    const float peaks[] = { 0.0f, 0.125f, 1.0f, 8.0f, 0.001f, std::numeric_limits<float>::infinity(), notANumber };
    const float shown[] = { 0.0f, 0.5f, 1.0f, 1.0f, 0.1f, 1.0f, 1.0f }; // not a number shows full scale
    for (size_t i = 0; i < 16; ++i)
        processor.peakLevels[i] = i < 7 ? peaks[i] : 0.5f;
    processor.channelPairsDiffer = true;
    EXPECT_TRUE (pumpMessagesUntil ([&] { return processor.peakLevels[15].load() == 0.0f; }, 2000));
    for (size_t i = 0; i < 16; ++i)
    {
        EXPECT_NEAR (meters[i]->level, i < 7 ? shown[i] : 0.7937005f, 1.0e-6f) << i;
        EXPECT_EQ (processor.peakLevels[i].load(), 0.0f);
    }
    EXPECT_TRUE (lamps[0]->level == 0.0f && lamps[1]->level == 1.0f);
    processor.channelPairsDiffer = false;
    processor.bassSignalPresent = true;
    EXPECT_TRUE (pumpMessagesUntil ([&] { return lamps[0]->level == 1.0f && lamps[1]->level == 0.0f; }, 2000));
    ScopedWrapperType plugin (juce::AudioProcessor::wrapperType_VST3);
    processor.peakLevels[0] = 0.5f, processor.channelPairsDiffer = true;
    editor.timerCallback(); // outside a stand-alone process nothing is refreshed
    EXPECT_TRUE (processor.peakLevels[0].load() == 0.5f && lamps[0]->level == 1.0f);
    EXPECT_TRUE (findChildren<SimpleMeter> (Editor (processor)).empty());
}

TEST (LevelWidgets, MeterColoursClampingAndTheHoldOfAnOvershootAndLampColours)
{
    SimpleMeter meter;
    meter.setSize (6, 200);
    const auto paintAt = [&] (float level, int rowFromTop) {
        meter.level = level;
        return renderPaint (meter).getPixelAt (3, rowFromTop);
    };
    // Yellow from 0.584 and red from 0.9886 up, counted from the bottom; out of range clamps.
    const std::tuple<float, int, juce::Colour, float> rows[] = {
        { 0.7f, 195, green, 0.7f },
        { 0.7f, 70, yellow, 0.7f },
        { 0.7f, 50, black, 0.7f },
        { 1.5f, 1, red, 1.0f },
        { -0.2f, 198, black, 0.0f },
        { notANumber, 198, black, 0.0f },
    };
    for (const auto& [level, row, colour, clamped] : rows)
    {
        EXPECT_EQ (paintAt (level, row), colour) << level << ", " << row;
        EXPECT_EQ (meter.level, clamped);
    }
    // An overshoot is held for 32 repaints or until the next, which restarts the hold at its own level.
    paintAt (1.0f, 0);
    for (int repaint = 1; repaint <= 31; ++repaint)
        ASSERT_EQ (paintAt (0.3f, 1), red) << repaint;
    EXPECT_EQ (paintAt (0.3f, 1), black);
    paintAt (1.0f, 0);
    paintAt (0.995f, 0);
    EXPECT_TRUE (paintAt (0.0f, 0) == black && paintAt (0.0f, 1) == red);
    meter.setSize (1, 24); // too narrow for a bar: no negative widths
    paintAt (1.0f, 0);
    for (const auto& [level, colour] : { std::pair { 0.0f, green }, std::pair { 0.5f, yellow }, std::pair { 1.0f, red.withAlpha (0.5f) } })
    {
        SimpleLED led;
        led.setSize (10, 10);
        led.level = level;
        const auto pixel = renderPaint (led).getPixelAt (5, 5);
        EXPECT_LE (std::abs (pixel.getRed() - colour.getRed()) + std::abs (pixel.getGreen() - colour.getGreen()) + std::abs (pixel.getAlpha() - colour.getAlpha()), 3) << level;
    }
}
