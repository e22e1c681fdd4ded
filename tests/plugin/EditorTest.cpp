#include "EditorTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <limits>

using namespace tarrowby::test;

namespace
{
using Editor = JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor;
using Rect = juce::Rectangle<int>;

class EditorTest : public ::testing::Test
{
protected:
    Editor& makeEditor (int width = 472, int height = 310)
    {
        setEditorSize (processor, width, height);
        return makeEditorFromTree();
    }

    Editor& makeEditorFromTree()
    {
        editor.reset();
        editor = std::make_unique<Editor> (processor);
        return *editor;
    }

    void setPeaks (std::initializer_list<float> values)
    {
        for (size_t i = 0; i < processor.peakLevels.size(); ++i)
            processor.peakLevels[i] = i < values.size() ? values.begin()[i] : 0.0f;
    }

    float parameterValue (const char* id) { return processor.parameters.getParameter (id)->getValue(); }

    ScopedWrapperType standalone;
    JuceDemoPluginAudioProcessor processor;
    std::unique_ptr<Editor> editor;
};

void expectMatrixDefaults (const Editor& e)
{
    auto expectSwitch = [] (const juce::ToggleButton& button, const char* text, bool isOn, int index)
    {
        EXPECT_EQ (button.getButtonText(), text) << index;
        EXPECT_EQ (button.getToggleState(), isOn) << text << " " << index;
        EXPECT_TRUE (button.getClickingTogglesState());
    };

    for (int i = 0; i < 16; ++i)
    {
        expectSwitch (*e.muteButtons[(size_t) i], "m", i >= 12, i);
        expectSwitch (*e.soloButtons[(size_t) i], "x", i >= 8 && i <= 11, i);
        expectSwitch (*e.bassButtons[(size_t) i], "b", i >= 4 && i <= 11, i);
    }

    expectSwitch (*e.muteBypassButton, "m", false, 16);
    expectSwitch (*e.soloBypassButton, "m", true, 16);
    expectSwitch (*e.bassBypassButton, "m", false, 16);
}

bool clickAndWait (juce::Button& button)
{
    const auto before = button.getToggleState();
    button.triggerClick();
    return pumpMessagesUntil ([&] { return button.getToggleState() != before; }, 2000);
}

const auto grey = juce::Colours::grey;
const auto darkBand = grey.overlaidWith (juce::Colours::black.withAlpha (0.21f));
const auto lightBand = grey.overlaidWith (juce::Colours::white.withAlpha (0.21f));

void expectPixel (const juce::Image& image, int x, int y, juce::Colour expected)
{
    EXPECT_TRUE (coloursMatch (image.getPixelAt (x, y), expected))
        << "(" << x << ", " << y << "): " << image.getPixelAt (x, y).toDisplayString (true) << ", expected " << expected.toDisplayString (true);
}
} // namespace

//==============================================================================
TEST_F (EditorTest, EveryNewEditorShowsTheSwitchDefaults)
{
    auto& first = makeEditor();
    expectMatrixDefaults (first);

    for (auto* row : { &first.muteButtons, &first.soloButtons, &first.bassButtons })
        for (auto& button : *row)
            if (button != first.bassButtons[3])
                EXPECT_TRUE (button->isVisible() && button->getParentComponent() == &first);

    // Channel 4's bass switch exists but is never shown.
    EXPECT_FALSE (first.bassButtons[3]->isVisible());
    EXPECT_EQ (first.bassButtons[3]->getParentComponent(), nullptr);

    ASSERT_TRUE (clickAndWait (*first.muteButtons[0]));
    ASSERT_TRUE (clickAndWait (*first.soloBypassButton));
    expectMatrixDefaults (makeEditor());
}

TEST_F (EditorTest, SizeComesFromTheUiStateChild)
{
    EXPECT_EQ (makeEditorFromTree().getBounds(), Rect (0, 0, 472, 310)); // the processor's own tree

    setEditorSize (processor, 600, 400);
    EXPECT_EQ (makeEditorFromTree().getBounds(), Rect (0, 0, 600, 400));

    // A tree rebuilt from saved XML holds the numbers as text.
    replaceUiState (processor, juce::ValueTree::fromXml (R"(<uiState width="640" height="420"/>)"));
    EXPECT_EQ (makeEditorFromTree().getBounds(), Rect (0, 0, 640, 420));

    replaceUiState (processor, juce::ValueTree ("uiState", { { "width", 500 } }));
    EXPECT_EQ (makeEditorFromTree().getBounds(), Rect (0, 0, 500, 0));

    replaceUiState (processor, {});
    EXPECT_EQ (makeEditorFromTree().getBounds(), Rect());

    setEditorSize (processor, -20, 310); // gives an empty editor, not a broken one
    EXPECT_EQ (makeEditorFromTree().getBounds(), Rect (0, 0, 0, 310));
}

TEST_F (EditorTest, ControlsDriveTheirParametersBothWays)
{
    processor.parameters.getParameter ("gain")->setValueNotifyingHost (0.5f);
    processor.parameters.getParameter ("balance")->setValueNotifyingHost (0.5f);
    auto& e = makeEditor();

    EXPECT_EQ (e.gainLabel.getText(), "Gain:");
    EXPECT_EQ (e.crossoverLabel.getText(), "Crossover Fc:");
    EXPECT_EQ (e.gainLabel.getAttachedComponent(), &e.gainSlider);
    EXPECT_EQ (e.gainSlider.getRange(), juce::Range<double> (-60.0, 0.0));
    EXPECT_EQ (e.crossoverSlider.getRange(), juce::Range<double> (80.0, 125.0));
    EXPECT_DOUBLE_EQ (e.gainSlider.getValue(), -30.0);
    EXPECT_DOUBLE_EQ (e.crossoverSlider.getValue(), 102.5);

    // Values snap to the step (0.1 dB, 0.5 Hz), and the parameters follow the knobs.
    e.gainSlider.setValue (-20.04, juce::sendNotificationSync);
    EXPECT_DOUBLE_EQ (e.gainSlider.getValue(), -20.0);
    EXPECT_NEAR (parameterValue ("gain") * 60.0f - 60.0f, -20.0f, 1.0e-4f);

    e.crossoverSlider.setValue (110.3, juce::sendNotificationSync);
    EXPECT_DOUBLE_EQ (e.crossoverSlider.getValue(), 110.5);
    EXPECT_NEAR (parameterValue ("balance") * 45.0f + 80.0f, 110.5f, 1.0e-4f);

    processor.parameters.getParameter ("gain")->setValueNotifyingHost (1.0f);
    EXPECT_DOUBLE_EQ (e.gainSlider.getValue(), 0.0);

    for (const auto& [button, id, text] : { std::tuple { &e.dimButton, "dim", "Dim" }, std::tuple { &e.cutButton, "mute", "Cut" } })
    {
        EXPECT_EQ (button->getButtonText(), text);
        EXPECT_EQ (parameterValue (id), 0.0f);
        ASSERT_TRUE (clickAndWait (*button));
        EXPECT_EQ (parameterValue (id), 1.0f) << id;
        ASSERT_TRUE (clickAndWait (*button));
        EXPECT_EQ (parameterValue (id), 0.0f) << id;
    }

    const auto url = e.donateLink.getURL().toString (true);
    EXPECT_TRUE (url.startsWith ("https://") && url.endsWith ("/cgi-bin/donate.php?title=tarrowby&version=0.9.1&platform=mac")) << url;
}

TEST_F (EditorTest, DimAndCutShowBlackTextOnLightSkyBlueWhileOn)
{
    auto& e = makeEditor();
    EXPECT_EQ (&e.dimButton.getLookAndFeel(), &e.popupLookAndFeel);
    EXPECT_EQ (e.cutButton.findColour (juce::TextButton::buttonOnColourId), juce::Colours::lightskyblue);
    EXPECT_EQ (e.cutButton.findColour (juce::TextButton::textColourOnId), juce::Colours::black);

    e.dimButton.setToggleState (true, juce::dontSendNotification);
    const auto image = e.dimButton.createComponentSnapshot (e.dimButton.getLocalBounds(), true, 1.0f);

    // The body left of the text is light sky blue (the look-and-feel mutes its saturation a little).
    EXPECT_TRUE (coloursMatch (image.getPixelAt (8, 12), juce::Colours::lightskyblue, 16)) << image.getPixelAt (8, 12).toDisplayString (true);

    int darkest = 255 * 3;

    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const auto c = image.getPixelAt (x, y);
            darkest = std::min (darkest, c.getRed() + c.getGreen() + c.getBlue());
        }

    EXPECT_LT (darkest, 60);

    // Popup menus open in the parent the caller names, and nowhere else.
    juce::Component parent;
    EXPECT_EQ (e.popupLookAndFeel.getParentComponentForMenuOptions (juce::PopupMenu::Options()), nullptr);
    EXPECT_EQ (e.popupLookAndFeel.getParentComponentForMenuOptions (juce::PopupMenu::Options().withParentComponent (&parent)), &parent);
}

//==============================================================================
TEST_F (EditorTest, ChildrenSitAtTheirFixedPositions)
{
    auto& e = makeEditor();

    for (int i : { 0, 15 })
    {
        EXPECT_EQ (e.muteButtons[(size_t) i]->getBounds(), Rect (37 + 23 * i, 10, 21, 21));
        EXPECT_EQ (e.soloButtons[(size_t) i]->getBounds(), Rect (37 + 23 * i, 38, 21, 21));
        EXPECT_EQ (e.bassButtons[(size_t) i]->getBounds(), Rect (37 + 23 * i, 66, 21, 21));
        EXPECT_EQ (e.channelLabels[(size_t) i]->getBounds(), Rect (39 + 23 * i, 91, 21, 21));
    }

    EXPECT_EQ (e.meters[0]->getBounds(), Rect (47, 114, 6, 24));
    EXPECT_EQ (e.meters[1]->getBounds(), Rect (69, 114, 6, 24));
    EXPECT_EQ (e.meters[15]->getBounds(), Rect (391, 114, 6, 24));

    // The bypass column stands 6 px right of the grid.
    EXPECT_EQ (e.muteBypassButton->getBounds(), Rect (411, 10, 21, 21));
    EXPECT_EQ (e.bassBypassButton->getBounds(), Rect (411, 66, 21, 21));
    EXPECT_EQ (e.channelLabels[16]->getBounds(), Rect (413, 91, 21, 21));
    EXPECT_EQ (e.soloLabelLeft.getBounds(), Rect (1, 38, 36, 20));
    EXPECT_EQ (e.crossoverSlider.getBounds(), Rect (36, 176, 112, 112));
    EXPECT_EQ (e.gainSlider.getBounds(), Rect (328, 176, 112, 112));
    EXPECT_EQ (e.cutButton.getBounds(), Rect (188, 265, 92, 24));

    // The right column, the centred buttons and the bottom labels follow the width.
    for (const auto width : { 472, 500 })
    {
        e.setSize (width, 310);
        const auto shift = width - 472;
        EXPECT_EQ (e.soloLabelRight.getBounds(), Rect (436 + shift, 38, 36, 20));
        EXPECT_EQ (e.bassManLabel.getBounds(), Rect (436 + shift, 124, 36, 20));
        EXPECT_EQ (e.layoutLed->getBounds(), Rect (419 + shift, 115, 10, 10));
        EXPECT_EQ (e.bassManLed->getBounds(), Rect (419 + shift, 129, 10, 10));
        EXPECT_EQ (e.donateLink.getBounds(), Rect (174 + shift / 2, 205, 124, 24));
        EXPECT_EQ (e.dimButton.getBounds(), Rect (188 + shift / 2, 235, 92, 24));
        EXPECT_EQ (e.infoLabel.getBounds(), Rect (0, 283, 469, 20));
        EXPECT_EQ (e.versionTextLabel.getBounds(), Rect (0, 270, 469, 40));
        EXPECT_EQ (e.muteBypassButton->getX(), 411);
    }

    // Too short for the bottom labels: they shrink to nothing rather than turn negative.
    e.setSize (300, 5);
    EXPECT_EQ (e.infoLabel.getBounds(), Rect (0, 0, 300, 0));
    EXPECT_EQ (e.versionTextLabel.getBounds(), Rect (0, 0, 300, 5));
}

TEST_F (EditorTest, BackgroundIsGreyWithTranslucentBandsAndTheLogo)
{
    auto& e = makeEditor();
    const auto image = renderPaint (e);

    expectPixel (image, 0, 0, grey);
    expectPixel (image, 471, 309, grey);

    for (const auto y : { 7, 35, 63 })
    {
        // Left band {35, y, 372, 27}, a 2 px gap, then the right band {409, y, 28, 27}.
        expectPixel (image, 34, y, grey);
        expectPixel (image, 35, y, darkBand);
        expectPixel (image, 406, y + 26, darkBand);
        expectPixel (image, 407, y, grey);
        expectPixel (image, 409, y, darkBand);
        expectPixel (image, 436, y + 26, darkBand);
        expectPixel (image, 437, y, grey);
        expectPixel (image, 100, y + 27, grey);
    }

    // Meter band {35, 111, 372, 31}.
    expectPixel (image, 35, 111, lightBand);
    expectPixel (image, 406, 141, lightBand);
    expectPixel (image, 100, 110, grey);
    expectPixel (image, 100, 142, grey);
    expectPixel (image, 420, 120, grey);

    // The 48 x 48 logo, unscaled, at (208, 160).
    ASSERT_EQ (e.logoImage.getBounds(), Rect (0, 0, 48, 48));
    juce::Image logoOnGrey (juce::Image::ARGB, 48, 48, true);
    {
        juce::Graphics g (logoOnGrey);
        g.fillAll (grey);
        g.drawImageAt (e.logoImage, 0, 0);
    }

    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            ASSERT_TRUE (coloursMatch (image.getPixelAt (208 + x, 160 + y), logoOnGrey.getPixelAt (x, y), 1)) << x << ", " << y;

    // At 200 wide the bands and the logo follow the width: left bands 100 wide, the right ones end at 165.
    e.setSize (200, 400);
    auto ops = recordPaint (e);
    ASSERT_EQ (ops.size(), 9u);
    EXPECT_EQ (ops[1].transform, juce::AffineTransform::translation (72.0f, 160.0f));
    EXPECT_EQ (ops[2].area, juce::Rectangle<float> (35, 7, 100, 27));
    EXPECT_EQ (ops[2].colour, juce::Colours::black.withAlpha (0.21f));
    EXPECT_EQ (ops[7].area, juce::Rectangle<float> (137, 63, 28, 27));
    EXPECT_EQ (ops[8].area, juce::Rectangle<float> (35, 111, 100, 31));
    EXPECT_EQ (ops[8].colour, juce::Colours::white.withAlpha (0.21f));

    // Bands that would have no width are not drawn; nor is a missing logo.
    e.setSize (80, 310);
    ops = recordPaint (e);
    ASSERT_EQ (ops.size(), 5u);
    EXPECT_EQ (ops[2].area, juce::Rectangle<float> (35, 7, 10, 27));

    e.setSize (70, 310);
    e.logoImage = {};
    ASSERT_EQ (recordPaint (e).size(), 1u);
}

//==============================================================================
TEST_F (EditorTest, TickShowsTheCubeRootOfEachPeakClearsThePeaksAndSetsTheLamps)
{
    auto& e = makeEditor();
    EXPECT_EQ (e.getTimerInterval(), 62);
    const auto inf = std::numeric_limits<float>::infinity(), nan = std::numeric_limits<float>::quiet_NaN();
    setPeaks ({ 0.0f, 0.125f, 1.0f, 8.0f, 0.001f, inf, nan });
    processor.channelPairsDiffer = true;

    e.timerCallback();

    const float shown[] = { 0.0f, 0.5f, 1.0f, 1.0f, 0.1f, 1.0f, 1.0f }; // not a number shows full scale

    for (size_t i = 0; i < 16; ++i)
    {
        EXPECT_NEAR (e.meters[i]->level, i < 7 ? shown[i] : 0.0f, 1.0e-6f) << i;
        EXPECT_EQ (processor.peakLevels[i].load(), 0.0f);
    }

    EXPECT_EQ (e.layoutLed->level, 0.0f);
    EXPECT_EQ (e.bassManLed->level, 1.0f);

    processor.channelPairsDiffer = false;
    processor.bassSignalPresent = true;
    e.timerCallback();
    EXPECT_EQ (e.layoutLed->level, 1.0f);
    EXPECT_EQ (e.bassManLed->level, 0.0f);

    // The timer does this by itself, and the meter repaints.
    setPeaks ({ 0.125f });
    e.meters[0]->level = 0.0f;
    ASSERT_TRUE (pumpMessagesUntil ([this] { return processor.peakLevels[0].load() == 0.0f; }, 2000));
    EXPECT_FLOAT_EQ (e.meters[0]->level, 0.5f);
    const auto image = e.meters[0]->createComponentSnapshot ({ 0, 0, 6, 24 }, false, 1.0f);
    EXPECT_EQ (image.getPixelAt (2, 22), juce::Colours::green);
    EXPECT_EQ (image.getPixelAt (2, 10), juce::Colours::black);
}

TEST_F (EditorTest, OutsideAStandaloneProcessNothingIsShownOrRefreshed)
{
    auto& e = makeEditor();
    EXPECT_EQ (e.infoLabel.getText(), "App");

    for (auto& meter : e.meters)
        meter->level = 0.3f;

    e.layoutLed->level = 0.5f;
    setPeaks ({ 0.5f });
    processor.channelPairsDiffer = true;

    {
        ScopedWrapperType plugin (juce::AudioProcessor::wrapperType_VST3);
        e.timerCallback();
        EXPECT_EQ (processor.peakLevels[0].load(), 0.5f);

        Editor other (processor);
        EXPECT_EQ (other.infoLabel.getText(), "???");

        for (auto& meter : other.meters)
            EXPECT_EQ (meter, nullptr);

        // Built without meters, ticking in a stand-alone process: the peaks are still cleared.
        ScopedWrapperType standaloneAgain;
        other.timerCallback();
    }

    EXPECT_EQ (e.meters[0]->level, 0.3f);
    EXPECT_EQ (e.layoutLed->level, 0.5f);
    EXPECT_EQ (processor.peakLevels[0].load(), 0.0f);
}
