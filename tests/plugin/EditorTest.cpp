#include "EditorTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;

namespace
{
using Editor = JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor;

class EditorTest : public ::testing::Test
{
protected:
    void SetUp() override { setEditorSize (processor, 472, 310); }

    Editor& makeEditor()
    {
        editor.reset();
        editor = std::make_unique<Editor> (processor);
        return *editor;
    }

    float parameterValue (const char* id) { return processor.parameters.getParameter (id)->getValue(); }

    ScopedStandalone standalone;
    JuceDemoPluginAudioProcessor processor;
    std::unique_ptr<Editor> editor;
};

void expectSwitch (const juce::ToggleButton& button, const juce::String& text, bool isOn, const juce::String& where)
{
    SCOPED_TRACE (where.toStdString());
    EXPECT_EQ (button.getButtonText(), text);
    EXPECT_EQ (button.getName(), text);
    EXPECT_EQ (button.getToggleState(), isOn);
    EXPECT_TRUE (button.getClickingTogglesState());
}

void expectMatrixDefaults (const Editor& e)
{
    for (int i = 0; i < 16; ++i)
    {
        const auto channel = juce::String (i + 1);
        expectSwitch (*e.muteButtons[(size_t) i], "m", i >= 12, "mute " + channel);
        expectSwitch (*e.soloButtons[(size_t) i], "x", i >= 8 && i <= 11, "solo " + channel);
        expectSwitch (*e.bassButtons[(size_t) i], "b", i >= 4 && i <= 11, "bass " + channel);
    }

    expectSwitch (*e.muteBypassButton, "m", false, "mute bypass");
    expectSwitch (*e.soloBypassButton, "m", true, "solo bypass");
    expectSwitch (*e.bassBypassButton, "m", false, "bass bypass");
}

bool clickAndWait (juce::Button& button)
{
    const auto before = button.getToggleState();
    button.triggerClick();
    return pumpMessagesUntil ([&] { return button.getToggleState() != before; }, 2000);
}
} // namespace

//==============================================================================
TEST_F (EditorTest, NewEditorShowsTheSwitchDefaults)
{
    auto& e = makeEditor();
    expectMatrixDefaults (e);

    for (auto* row : { &e.muteButtons, &e.soloButtons, &e.bassButtons })
        for (auto& button : *row)
            if (button.get() != e.bassButtons[3].get())
            {
                EXPECT_TRUE (button->isVisible());
                EXPECT_EQ (button->getParentComponent(), &e);
            }

    // Channel 4 has a bass switch that is never shown, so the bass row shows 15.
    EXPECT_FALSE (e.bassButtons[3]->isVisible());
    EXPECT_EQ (e.bassButtons[3]->getParentComponent(), nullptr);
    EXPECT_FALSE (e.bassButtons[3]->getToggleState());

    for (auto* bypass : { e.muteBypassButton.get(), e.soloBypassButton.get(), e.bassBypassButton.get() })
        EXPECT_EQ (bypass->getParentComponent(), &e);
}

TEST_F (EditorTest, SecondEditorStartsFromTheDefaultsAgain)
{
    auto& first = makeEditor();
    ASSERT_TRUE (clickAndWait (*first.muteButtons[0]));
    ASSERT_TRUE (clickAndWait (*first.soloBypassButton));
    first.bassButtons[5]->setToggleState (false, juce::dontSendNotification);

    expectMatrixDefaults (makeEditor());
}

TEST (EditorSize, ProcessorsOwnTreeGivesTheDefaultSize)
{
    ScopedStandalone standalone;
    JuceDemoPluginAudioProcessor processor;
    Editor editor (processor);
    EXPECT_EQ (editor.getBounds(), juce::Rectangle<int> (0, 0, 472, 310));
}

TEST_F (EditorTest, SizeIsReadFromTheUiStateChild)
{
    EXPECT_EQ (makeEditor().getBounds(), juce::Rectangle<int> (0, 0, 472, 310));

    setEditorSize (processor, 600, 400);
    EXPECT_EQ (makeEditor().getBounds(), juce::Rectangle<int> (0, 0, 600, 400));

    // A tree rebuilt from saved XML holds the numbers as text.
    const auto xml = juce::parseXML (R"(<uiState width="640" height="420"/>)");
    replaceUiState (processor, juce::ValueTree::fromXml (*xml));
    EXPECT_EQ (makeEditor().getBounds(), juce::Rectangle<int> (0, 0, 640, 420));

    replaceUiState (processor, juce::ValueTree ("uiState", { { "width", 500 } }));
    EXPECT_EQ (makeEditor().getBounds(), juce::Rectangle<int> (0, 0, 500, 0));

    replaceUiState (processor, {});
    EXPECT_EQ (makeEditor().getBounds(), juce::Rectangle<int> (0, 0, 0, 0));
    EXPECT_FALSE (processor.parameters.state.getChildWithName ("uiState").isValid());

    // A size that makes no sense gives an empty editor, not a broken one.
    setEditorSize (processor, -20, 310);
    EXPECT_EQ (makeEditor().getBounds(), juce::Rectangle<int> (0, 0, 0, 310));
}

TEST_F (EditorTest, LabelsHaveTheirTextsFontsAndJustifications)
{
    auto& e = makeEditor();

    const juce::Font caption (9.0f, juce::Font::plain);
    const juce::Font small (10.0f, juce::Font::italic);
    const juce::Font sliderCaption (11.0f, juce::Font::plain);

    struct Expected
    {
        const juce::Label& label;
        const char* text;
        juce::Justification justification;
        const juce::Font& font;
    };

    const Expected expected[] = {
        { e.muteLabelLeft, "mute", juce::Justification::centred, caption },
        { e.soloLabelLeft, "solo", juce::Justification::centred, caption },
        { e.bassLabelLeft, "bass", juce::Justification::centred, caption },
        { e.muteLabelRight, "mute", juce::Justification::centred, caption },
        { e.soloLabelRight, "solo", juce::Justification::centred, caption },
        { e.bassLabelRight, "bass", juce::Justification::centred, caption },
        { e.layoutLabel, "7.1.4", juce::Justification::centred, caption },
        { e.bassManLabel, "Bman", juce::Justification::centred, caption },
        { e.infoLabel, "App", juce::Justification::bottomRight, small },
        { e.versionTextLabel, "0.9.1", juce::Justification::centredRight, small },
        { e.gainLabel, "Gain:", juce::Label().getJustificationType(), sliderCaption },
        { e.crossoverLabel, "Crossover Fc:", juce::Label().getJustificationType(), sliderCaption },
    };

    for (const auto& x : expected)
    {
        SCOPED_TRACE (x.text);
        EXPECT_EQ (x.label.getText(), x.text);
        EXPECT_EQ (x.label.getJustificationType(), x.justification);
        EXPECT_TRUE (x.label.getFont() == x.font) << x.label.getFont().toString();
        EXPECT_TRUE (x.label.isVisible());
        EXPECT_EQ (x.label.getParentComponent(), &e);
    }

    for (size_t i = 0; i < e.channelLabels.size(); ++i)
    {
        const auto& label = *e.channelLabels[i];
        EXPECT_EQ (label.getText(), i < 16 ? juce::String ((int) i + 1) : juce::String ("x"));
        EXPECT_EQ (label.getJustificationType(), juce::Justification::centred);
        EXPECT_TRUE (label.getFont() == small);
        EXPECT_EQ (label.getParentComponent(), &e);
    }

    // The slider captions sit above their knobs and follow them.
    EXPECT_EQ (e.gainLabel.getAttachedComponent(), &e.gainSlider);
    EXPECT_EQ (e.crossoverLabel.getAttachedComponent(), &e.crossoverSlider);
    EXPECT_FALSE (e.gainLabel.isAttachedOnLeft());
    EXPECT_FALSE (e.crossoverLabel.isAttachedOnLeft());
    EXPECT_EQ (e.gainLabel.getBottom(), e.gainSlider.getY());
    EXPECT_EQ (e.crossoverLabel.getX(), e.crossoverSlider.getX());
}

TEST_F (EditorTest, InfoLabelNamesTheHostKindAndMetersNeedAStandaloneProcess)
{
    {
        auto& e = makeEditor();
        EXPECT_EQ (e.infoLabel.getText(), "App");

        for (auto& meter : e.meters)
        {
            ASSERT_NE (meter, nullptr);
            EXPECT_EQ (meter->getParentComponent(), &e);
            EXPECT_EQ (meter->level, 0.0f);
            EXPECT_EQ (meter->holdCounter, 0);
        }
    }

    ScopedWrapperType plugin (juce::AudioProcessor::wrapperType_VST3);
    auto& e = makeEditor();
    EXPECT_EQ (e.infoLabel.getText(), "???");

    for (auto& meter : e.meters)
        EXPECT_EQ (meter, nullptr);

    EXPECT_EQ (e.layoutLed->level, 0.0f);
    EXPECT_EQ (e.bassManLed->level, 0.0f);
}

TEST_F (EditorTest, SlidersStartFromTheirParametersWithTheirOwnRangesAndTextBoxes)
{
    processor.parameters.getParameter ("gain")->setValueNotifyingHost (0.5f);
    processor.parameters.getParameter ("balance")->setValueNotifyingHost (0.5f);
    auto& e = makeEditor();

    struct Expected
    {
        juce::Slider& slider;
        double minimum, maximum, interval, value;
        int textBoxWidth;
    };

    const Expected expected[] = {
        { e.gainSlider, -60.0, 0.0, 0.1, -30.0, 80 },
        { e.crossoverSlider, 80.0, 125.0, 0.5, 102.5, 64 },
    };

    for (const auto& x : expected)
    {
        EXPECT_EQ (x.slider.getSliderStyle(), juce::Slider::Rotary);
        EXPECT_EQ (x.slider.getTextBoxPosition(), juce::Slider::TextBoxBelow);
        EXPECT_TRUE (x.slider.isTextBoxEditable());
        EXPECT_EQ (x.slider.getTextBoxWidth(), x.textBoxWidth);
        EXPECT_EQ (x.slider.getTextBoxHeight(), 20);
        EXPECT_EQ (x.slider.getMinimum(), x.minimum);
        EXPECT_EQ (x.slider.getMaximum(), x.maximum);
        EXPECT_EQ (x.slider.getInterval(), x.interval);
        EXPECT_DOUBLE_EQ (x.slider.getValue(), x.value);
        EXPECT_TRUE (x.slider.isVisible());
    }

    // Values snap to the step, and the parameters follow the knobs both ways.
    e.gainSlider.setValue (-20.04, juce::sendNotificationSync);
    EXPECT_DOUBLE_EQ (e.gainSlider.getValue(), -20.0);
    EXPECT_NEAR (parameterValue ("gain") * 60.0f - 60.0f, -20.0f, 1.0e-4f);

    e.crossoverSlider.setValue (110.3, juce::sendNotificationSync);
    EXPECT_DOUBLE_EQ (e.crossoverSlider.getValue(), 110.5);
    EXPECT_NEAR (parameterValue ("balance") * 45.0f + 80.0f, 110.5f, 1.0e-4f);

    processor.parameters.getParameter ("gain")->setValueNotifyingHost (1.0f);
    EXPECT_DOUBLE_EQ (e.gainSlider.getValue(), 0.0);
}

TEST_F (EditorTest, DimAndCutToggleTheirParameters)
{
    auto& e = makeEditor();

    const std::pair<juce::TextButton*, const char*> buttons[] = { { &e.dimButton, "dim" }, { &e.cutButton, "mute" } };

    for (const auto& [button, id] : buttons)
    {
        SCOPED_TRACE (id);
        EXPECT_TRUE (button->isVisible());
        EXPECT_TRUE (button->getClickingTogglesState());
        EXPECT_EQ (parameterValue (id), 0.0f);

        ASSERT_TRUE (clickAndWait (*button));
        EXPECT_EQ (parameterValue (id), 1.0f);

        ASSERT_TRUE (clickAndWait (*button));
        EXPECT_EQ (parameterValue (id), 0.0f);
    }

    EXPECT_EQ (e.dimButton.getButtonText(), "Dim");
    EXPECT_EQ (e.cutButton.getButtonText(), "Cut");
}

TEST_F (EditorTest, DimAndCutShowBlackTextOnLightSkyBlueWhileOn)
{
    auto& e = makeEditor();
    EXPECT_EQ (&e.getLookAndFeel(), &e.popupLookAndFeel);
    EXPECT_EQ (&e.dimButton.getLookAndFeel(), &e.popupLookAndFeel);
    EXPECT_EQ (e.cutButton.findColour (juce::TextButton::buttonOnColourId), juce::Colours::lightskyblue);
    EXPECT_EQ (e.cutButton.findColour (juce::TextButton::textColourOnId), juce::Colours::black);

    e.dimButton.setToggleState (true, juce::dontSendNotification);
    const auto image = e.dimButton.createComponentSnapshot (e.dimButton.getLocalBounds(), true, 1.0f);

    // The body, left of the text, is light sky blue (the look-and-feel mutes its saturation a little).
    EXPECT_TRUE (coloursMatch (image.getPixelAt (8, 12), juce::Colours::lightskyblue, 16))
        << image.getPixelAt (8, 12).toDisplayString (true);

    int darkest = 255 * 3;

    for (int y = 0; y < image.getHeight(); ++y)
        for (int x = 0; x < image.getWidth(); ++x)
        {
            const auto c = image.getPixelAt (x, y);
            darkest = std::min (darkest, c.getRed() + c.getGreen() + c.getBlue());
        }

    EXPECT_LT (darkest, 60);
}

TEST_F (EditorTest, DonationLinkOpensTheMakersPage)
{
    auto& e = makeEditor();
    EXPECT_EQ (e.donateLink.getButtonText(), " Pellavine: Tarrowby ");
    EXPECT_EQ (e.donateLink.getParentComponent(), &e);
    EXPECT_EQ (e.donateLink.getJustificationType(), juce::Justification::centred);

    const auto url = e.donateLink.getURL().toString (true);
    EXPECT_TRUE (url.startsWith ("https://")) << url;
    EXPECT_TRUE (url.endsWith ("/cgi-bin/donate.php?title=tarrowby&version=0.9.1&platform=mac")) << url;

    RecordingContext context (e.donateLink.getLocalBounds());
    juce::Graphics g (context);
    e.donateLink.paintEntireComponent (g, false);
    EXPECT_EQ (context.lastFont.getHeight(), 10.0f);
    EXPECT_FALSE (context.lastFont.isUnderlined());
    EXPECT_FALSE (context.lastFont.isItalic());
}

TEST_F (EditorTest, KeepsASmallLogoAndIsNotResizable)
{
    auto& e = makeEditor();
    ASSERT_TRUE (e.logoImage.isValid());
    EXPECT_EQ (e.logoImage.getBounds(), juce::Rectangle<int> (0, 0, 48, 48));
    EXPECT_FALSE (e.isResizable());
    EXPECT_TRUE (e.isTimerRunning());
    EXPECT_EQ (e.getTimerInterval(), 62);
}

TEST_F (EditorTest, MatrixSwitchesToggleOnClick)
{
    auto& e = makeEditor();
    ASSERT_TRUE (clickAndWait (*e.bassButtons[0]));
    EXPECT_TRUE (e.bassButtons[0]->getToggleState());
    ASSERT_TRUE (clickAndWait (*e.muteButtons[15]));
    EXPECT_FALSE (e.muteButtons[15]->getToggleState());
}
