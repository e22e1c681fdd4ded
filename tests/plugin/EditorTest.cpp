#include "ProcessorTestHelpers.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarrowby::test;

namespace
{
using Rect = juce::Rectangle<int>;
const auto black = juce::Colours::black, green = juce::Colours::green, yellow = juce::Colours::yellow;
const auto red = juce::Colours::red, grey = juce::Colours::grey;

/** Renders a component's own paint. */
juce::Image renderPaint (juce::Component& component)
{
    juce::Image image (juce::Image::ARGB, component.getWidth(), component.getHeight(), true);
    juce::Graphics g (image);
    component.paint (g);
    return image;
}

bool coloursMatch (juce::Colour a, juce::Colour b, int tolerance = 2)
{
    const auto close = [tolerance] (int x, int y) { return std::abs (x - y) <= tolerance; };
    return close (a.getRed(), b.getRed()) && close (a.getGreen(), b.getGreen()) && close (a.getBlue(), b.getBlue())
           && close (a.getAlpha(), b.getAlpha());
}

struct EditorTest : ::testing::Test
{
    Editor& makeEditor (const juce::ValueTree& uiState = juce::ValueTree ("uiState", { { "width", 472 }, { "height", 310 } }))
    {
        auto state = processor.parameters.copyState();
        state.removeChild (state.getChildWithName ("uiState"), nullptr);

        if (uiState.isValid())
            state.appendChild (uiState, nullptr);

        processor.parameters.replaceState (state);
        editor.reset();
        editor = std::make_unique<Editor> (processor);
        return *editor;
    }

    ScopedWrapperType standalone;
    Processor processor;
    std::unique_ptr<Editor> editor;
};

/** The lamps, top (the channel pairs) to bottom (bass). */
std::vector<SimpleLED*> lampsOf (Editor& e)
{
    auto lamps = childrenOf<SimpleLED> (e);
    std::sort (lamps.begin(), lamps.end(), [] (auto* a, auto* b) { return a->getY() < b->getY(); });
    return lamps;
}

bool showsText (Editor& e, const juce::String& text)
{
    const auto labels = childrenOf<juce::Label> (e);
    return std::any_of (labels.begin(), labels.end(), [&] (auto* label) { return label->getText() == text; });
}
} // namespace

TEST_F (EditorTest, SizeComesFromTheUiStateChild)
{
    const std::pair<juce::ValueTree, Rect> cases[] = {
        { juce::ValueTree ("uiState", { { "width", 600 }, { "height", 400 } }), { 0, 0, 600, 400 } },
        { juce::ValueTree::fromXml (R"(<uiState width="640" height="420"/>)"), { 0, 0, 640, 420 } }, // numbers as text
        { juce::ValueTree ("uiState", { { "width", 500 } }), { 0, 0, 500, 0 } },
        { juce::ValueTree ("uiState", { { "width", -20 }, { "height", 310 } }), { 0, 0, 0, 310 } },
        { {}, {} },
    };

    for (const auto& [uiState, bounds] : cases)
        EXPECT_EQ (makeEditor (uiState).getBounds(), bounds);
}

TEST_F (EditorTest, ControlsDriveTheirParameters)
{
    auto& e = makeEditor();
    const auto buttons = childrenOf<juce::TextButton> (e);
    const auto sliders = childrenOf<juce::Slider> (e); // gain, crossover
    ASSERT_EQ (buttons.size() + sliders.size(), 4u);

    // The knobs snap to 0.1 dB and 0.5 Hz and move their parameters.
    sliders[0]->setValue (-20.04, juce::sendNotificationSync);
    sliders[1]->setValue (110.3, juce::sendNotificationSync);
    EXPECT_NEAR (getNormalised (processor, "gain"), 40.0f / 60.0f, 1.0e-6f);
    EXPECT_NEAR (getNormalised (processor, "balance"), 30.5f / 45.0f, 1.0e-6f);
    EXPECT_TRUE (childrenOf<juce::HyperlinkButton> (e)[0]->getURL().toString (true).endsWith ("&version=0.9.1&platform=mac"));

    for (auto [button, id] : { std::pair { buttons[0], "dim" }, std::pair { buttons[1], "mute" } })
    {
        button->triggerClick();
        EXPECT_TRUE (pumpMessagesUntil ([&] { return getNormalised (processor, id) == 1.0f; }, 2000)) << id;
    }

    // Popup menus open in the parent the caller names, and nowhere else.
    juce::Component parent;
    auto& lookAndFeel = dynamic_cast<Editor::ForcePopupsInParentWindow&> (e.getLookAndFeel());
    EXPECT_EQ (lookAndFeel.getParentComponentForMenuOptions (juce::PopupMenu::Options()), nullptr);
    EXPECT_EQ (lookAndFeel.getParentComponentForMenuOptions (juce::PopupMenu::Options().withParentComponent (&parent)), &parent);
}

TEST_F (EditorTest, ChildrenSitAtTheirPositionsAndTheBackgroundHasItsBands)
{
    auto& e = makeEditor();
    const auto meters = childrenOf<SimpleMeter> (e);
    const auto buttons = childrenOf<juce::TextButton> (e);
    ASSERT_EQ (meters.size(), 16u);

    const std::pair<juce::Component*, Rect> cases[] = {
        { e.muteButtons[0].get(), { 37, 10, 21, 21 } },
        { e.bassButtons[15].get(), { 382, 66, 21, 21 } },
        { e.soloBypassButton.get(), { 411, 38, 21, 21 } },
        { meters[0], { 47, 114, 6, 24 } },
        { meters[1], { 69, 114, 6, 24 } },
        { meters[15], { 391, 114, 6, 24 } },
        { lampsOf (e)[0], { 447, 115, 10, 10 } },
        { lampsOf (e)[1], { 447, 129, 10, 10 } },
        { buttons[0], { 202, 235, 92, 24 } },
        { buttons[1], { 202, 265, 92, 24 } },
    };

    e.setSize (500, 310);

    for (const auto& [child, bounds] : cases)
        EXPECT_EQ (child->getBounds(), bounds) << &bounds - &cases[0].second;

    e.setSize (472, 310);
    const auto image = renderPaint (e);
    const auto darkBand = grey.overlaidWith (black.withAlpha (0.21f)), lightBand = grey.overlaidWith (juce::Colours::white.withAlpha (0.21f));
    const std::tuple<int, int, juce::Colour> pixels[] = {
        { 34, 7, grey },
        { 35, 7, darkBand },
        { 406, 89, darkBand },
        { 407, 35, grey },
        { 409, 63, darkBand },
        { 436, 33, darkBand },
        { 437, 7, grey },
        { 100, 34, grey },
        { 35, 111, lightBand },
        { 406, 141, lightBand },
        { 100, 142, grey },
        { 420, 120, grey },
        { 207, 184, grey },
        { 256, 184, grey },
        { 232, 159, grey },
        { 232, 208, grey },
    };

    for (const auto& [x, y, colour] : pixels)
        EXPECT_TRUE (coloursMatch (image.getPixelAt (x, y), colour)) << x << ", " << y;

    // Too narrow for bands, too short for the info label: nothing has a negative size.
    e.setSize (60, 5);
    EXPECT_TRUE (coloursMatch (renderPaint (e).getPixelAt (36, 2), grey));

    for (auto* child : e.getChildren())
        EXPECT_GE (std::min (child->getWidth(), child->getHeight()), 0);
}

TEST_F (EditorTest, RefreshShowsTheCubeRootOfEachPeakClearsThePeaksAndSetsTheLamps)
{
    auto& e = makeEditor();
    const auto meters = childrenOf<SimpleMeter> (e);
    const auto lamps = lampsOf (e);
    EXPECT_EQ (e.getTimerInterval(), 62);

    const auto inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    const float peaks[] = { 0.0f, 0.125f, 1.0f, 8.0f, 0.001f, inf, nan };
    const float shown[] = { 0.0f, 0.5f, 1.0f, 1.0f, 0.1f, 1.0f, 1.0f }; // not a number shows full scale

    for (size_t i = 0; i < 16; ++i)
        processor.peakLevels[i] = i < 7 ? peaks[i] : 0.5f;

    processor.channelPairsDiffer = true;
    e.timerCallback();

    for (size_t i = 0; i < 16; ++i)
    {
        EXPECT_NEAR (meters[i]->level, i < 7 ? shown[i] : 0.7937005f, 1.0e-6f) << i;
        EXPECT_EQ (processor.peakLevels[i].load(), 0.0f);
    }

    EXPECT_EQ (lamps[0]->level, 0.0f);
    EXPECT_EQ (lamps[1]->level, 1.0f);

    processor.channelPairsDiffer = false;
    processor.bassSignalPresent = true;
    processor.peakLevels[0] = 0.5f;

    {
        ScopedWrapperType plugin (juce::AudioProcessor::wrapperType_VST3);
        e.timerCallback(); // outside a stand-alone process nothing is refreshed
        EXPECT_EQ (processor.peakLevels[0].load(), 0.5f);
        EXPECT_EQ (lamps[0]->level, 0.0f);

        Editor other (processor);
        EXPECT_TRUE (childrenOf<SimpleMeter> (other).empty());
        EXPECT_TRUE (showsText (other, "???"));
    }

    EXPECT_TRUE (showsText (e, "App"));
    e.timerCallback();
    EXPECT_EQ (lamps[0]->level, 1.0f);
    EXPECT_EQ (lamps[1]->level, 0.0f);
}

//==============================================================================
namespace
{
struct Meter : SimpleMeter
{
    explicit Meter (float initialLevel, int height = 24, int width = 6)
    {
        setSize (width, height);
        level = initialLevel;
    }

    /** The colour of the bar's middle column at the given row, counted from the top. */
    juce::Colour paintRow (int y) { return renderPaint (*this).getPixelAt (getWidth() / 2, y); }
};
} // namespace

TEST (SimpleMeter, BarCountsUpFromTheBottomWithYellowAndRedAboveTheirThresholds)
{
    // Rows top to bottom at 0.7: the line at 23, empty, yellow from 14 (24 * 0.7 - 24 * c1 = 2.78, truncated)
    // with the line at 14, green, and the empty bottom row.
    Meter meter (0.7f);
    const auto image = renderPaint (meter);
    std::vector<juce::Colour> inside { grey, black, black, black, black, black, black, green, yellow, grey };
    inside.resize (23, green);
    inside.push_back (black);

    for (int x = 0; x < 6; ++x)
        for (int y = 0; y < 24; ++y)
            EXPECT_TRUE (coloursMatch (image.getPixelAt (x, y), (x == 0 || x == 5) ? (y == 0 || y == 9 ? grey : black) : inside[(size_t) y]))
                << x << ", " << y;

    // Out of range: clamped. Red spans 197.7 .. 200 from the bottom.
    for (const auto [level, clamped, top] : { std::tuple { 1.5f, 1.0f, red }, std::tuple { -0.2f, 0.0f, black },
                                              std::tuple { std::numeric_limits<float>::quiet_NaN(), 0.0f, black } })
    {
        Meter other (level, 200);
        EXPECT_EQ (other.paintRow (1), top);
        EXPECT_EQ (other.level, clamped);
    }

    // The red threshold is compared in double precision: c2 rounded to float lies just above it.
    for (const auto [level, held] : { std::pair { 0.98855304f, 0 }, std::pair { 0.9885531067848206f, 1 } })
    {
        Meter edge (level);
        renderPaint (edge);
        EXPECT_EQ (edge.holdCounter, held) << level;
    }

    Meter narrow (1.0f, 24, 1); // too narrow for a bar: no negative widths
    renderPaint (narrow);
}

TEST (SimpleMeter, AnOvershootIsHeldFor32RepaintsOrUntilTheNext)
{
    Meter meter (1.0f, 200);
    EXPECT_EQ (meter.paintRow (0), red);
    meter.level = 0.3f;

    for (int repaint = 1; repaint <= 31; ++repaint)
        ASSERT_EQ (meter.paintRow (1), red) << repaint;

    EXPECT_EQ (meter.paintRow (1), black);

    // A lower overshoot restarts the hold at its own level.
    meter.level = 1.0f;
    meter.paintRow (0);
    meter.level = 0.995f;
    meter.paintRow (0);
    meter.level = 0.0f;
    EXPECT_EQ (meter.paintRow (0), black);
    EXPECT_EQ (meter.paintRow (1), red);
}

TEST (SimpleLED, ColourFollowsTheLevel)
{
    const std::pair<float, juce::Colour> cases[] = {
        { -1.0f, green },
        { 0.0f, green },
        { 0.5f, yellow },
        { 1.0f, red.withAlpha (0.5f) },
        { 2.0f, red.withAlpha (0.5f) },
    };

    for (const auto& [level, colour] : cases)
    {
        SimpleLED led;
        led.setSize (10, 10);
        led.level = level;
        const auto image = renderPaint (led);
        EXPECT_TRUE (coloursMatch (image.getPixelAt (5, 5), colour)) << level;
        EXPECT_EQ (image.getPixelAt (0, 0).getAlpha(), 0); // a round lamp without background
    }
}
