#include "PluginEditor.h"

#include "BinaryData.h"
#include "ParameterMaps.h"
#include "SwitchDefaults.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace
{
using Editor = JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor;

constexpr const char* versionText = TARROWBY_VERSION_STRING;
constexpr const char* donationPage = "https://www.pellavine.com/cgi-bin/donate.php?title=tarrowby&version=";
constexpr const char* donationPlatform = "&platform=mac";

constexpr int logoSize = 48;

bool isStandalone() noexcept
{
    return juce::PluginHostType::jucePlugInClientCurrentWrapperType == juce::AudioProcessor::wrapperType_Standalone;
}

float normalisedValue (juce::AudioProcessorValueTreeState& parameters, const juce::String& id)
{
    return parameters.getParameter (id)->getValue();
}

std::unique_ptr<juce::ToggleButton> makeSwitch (const juce::String& text, bool isOn)
{
    // The text is both the component name and the button text.
    auto button = std::make_unique<juce::ToggleButton> (text);

    if (isOn)
        button->setToggleState (true, juce::dontSendNotification);

    return button;
}

void setCaption (juce::Label& label, const juce::String& text)
{
    label.setText (text, juce::dontSendNotification);
    label.setJustificationType (juce::Justification::centred);
    label.setFont (juce::Font (9.0f, juce::Font::plain));
}
} // namespace

Editor::JuceDemoPluginAudioProcessorEditor (JuceDemoPluginAudioProcessor& owner)
    : AudioProcessorEditor (owner),
      gainLabel ({}, "Gain:"),
      crossoverLabel ({}, "Crossover Fc:"),
      gainAttachment (owner.parameters, "gain", gainSlider),
      crossoverAttachment (owner.parameters, "balance", crossoverSlider),
      dimButton ("Dim"),
      cutButton ("Cut"),
      dimAttachment (owner.parameters, "dim", dimButton),
      muteAttachment (owner.parameters, "mute", cutButton),
      pluginProcessor (owner)
{
    setLookAndFeel (&popupLookAndFeel);
    popupLookAndFeel.setColour (juce::TextButton::buttonOnColourId, juce::Colours::lightskyblue);
    popupLookAndFeel.setColour (juce::TextButton::textColourOnId, juce::Colours::black);

    if (isStandalone())
    {
        for (auto& meter : meters)
        {
            meter = std::make_unique<SimpleMeter>();
            addAndMakeVisible (*meter);
        }
    }

    bassManLed = std::make_unique<SimpleLED>();
    addAndMakeVisible (*bassManLed);
    layoutLed = std::make_unique<SimpleLED>();
    addAndMakeVisible (*layoutLed);

    for (int i = 0; i < numChannels; ++i)
    {
        bassButtons[(size_t) i] = makeSwitch ("b", SwitchDefaults::isBassManaged (i));

        if (i != SwitchDefaults::hiddenBassChannel)
            addAndMakeVisible (*bassButtons[(size_t) i]);
    }

    for (int i = 0; i < numChannels; ++i)
    {
        muteButtons[(size_t) i] = makeSwitch ("m", SwitchDefaults::isMuted (i));
        addAndMakeVisible (*muteButtons[(size_t) i]);
    }

    for (int i = 0; i < numChannels; ++i)
    {
        soloButtons[(size_t) i] = makeSwitch ("x", SwitchDefaults::isSoloed (i));
        addAndMakeVisible (*soloButtons[(size_t) i]);
    }

    for (size_t i = 0; i < channelLabels.size(); ++i)
    {
        auto& label = channelLabels[i];
        label = std::make_unique<juce::Label>();
        label->setText (i < (size_t) numChannels ? juce::String ((int) i + 1) : juce::String ("x"), juce::dontSendNotification);
        label->setJustificationType (juce::Justification::centred);
        label->setFont (juce::Font (10.0f, juce::Font::italic));
        addAndMakeVisible (*label);
    }

    muteBypassButton = makeSwitch ("m", SwitchDefaults::mutesBypassed);
    soloBypassButton = makeSwitch ("m", false);
    bassBypassButton = makeSwitch ("m", SwitchDefaults::bassManagementBypassed);
    addAndMakeVisible (*muteBypassButton);
    addAndMakeVisible (*soloBypassButton);
    soloBypassButton->setToggleState (SwitchDefaults::solosBypassed, juce::dontSendNotification);
    addAndMakeVisible (*bassBypassButton);

    juce::String info (isStandalone() ? "App" : "???");

    if (owner.isUsingDoublePrecision())
        info << " [64]";

    infoLabel.setJustificationType (juce::Justification::bottomRight);
    infoLabel.setFont (juce::Font (10.0f, juce::Font::italic));
    addAndMakeVisible (infoLabel);
    infoLabel.setText (info, juce::dontSendNotification);

    versionTextLabel.setJustificationType (juce::Justification::centredRight);
    versionTextLabel.setFont (juce::Font (10.0f, juce::Font::italic));
    addAndMakeVisible (versionTextLabel);
    versionTextLabel.setText (versionText, juce::dontSendNotification);

    addAndMakeVisible (donateLink);
    donateLink.setButtonText (" Pellavine: Tarrowby ");
    donateLink.setFont (juce::Font (10.0f, juce::Font::plain), false, juce::Justification::centred);
    donateLink.setURL (juce::URL (juce::String (donationPage) + versionText + donationPlatform));

    logoImage = juce::ImageCache::getFromMemory (BinaryData::logo_png, BinaryData::logo_pngSize)
                    .rescaled (logoSize, logoSize, juce::Graphics::highResamplingQuality);

    addAndMakeVisible (gainSlider);
    gainSlider.setSliderStyle (juce::Slider::Rotary);
    addAndMakeVisible (crossoverSlider);
    crossoverSlider.setSliderStyle (juce::Slider::Rotary);

    gainLabel.attachToComponent (&gainSlider, false);
    gainLabel.setFont (juce::Font (11.0f, juce::Font::plain));
    crossoverLabel.attachToComponent (&crossoverSlider, false);
    crossoverLabel.setFont (juce::Font (11.0f, juce::Font::plain));

    setResizable (false, false);

    // The size comes from the state tree. A dimension that is missing (reads as 0), not positive, or larger
    // than the main display's user area, where a new window is centred, takes its default.
    const auto uiState = owner.parameters.state.getChildWithName ("uiState");
    const auto* display = juce::Desktop::getInstance().getDisplays().getPrimaryDisplay();
    constexpr auto noLimit = std::numeric_limits<int>::max();
    const auto screen = display != nullptr ? display->userArea : juce::Rectangle<int> (noLimit, noLimit);

    const auto dimension = [&uiState] (const char* name, int limit, int fallback) {
        const int value = uiState.getProperty (name);
        return value > 0 && value <= limit ? value : fallback;
    };

    setSize (dimension ("width", screen.getWidth(), defaultEditorWidth),
             dimension ("height", screen.getHeight(), defaultEditorHeight));

    const std::pair<juce::Label*, const char*> captions[] = {
        { &muteLabelLeft, "mute" },
        { &muteLabelRight, "mute" },
        { &soloLabelLeft, "solo" },
        { &soloLabelRight, "solo" },
        { &bassLabelLeft, "bass" },
        { &bassLabelRight, "bass" },
        { &layoutLabel, "7.1.4" },
        { &bassManLabel, "Bman" },
    };

    for (const auto& [label, text] : captions)
    {
        setCaption (*label, text);
        addAndMakeVisible (*label);
    }

    addAndMakeVisible (dimButton);
    dimButton.setClickingTogglesState (true);
    addAndMakeVisible (cutButton);
    cutButton.setClickingTogglesState (true);

    crossoverSlider.setTextBoxStyle (juce::Slider::TextBoxBelow, false, 64, 20);
    crossoverSlider.setRange (80.0, 125.0, 0.5);
    crossoverSlider.setValue (tarrowby::crossoverInHertz (normalisedValue (owner.parameters, "balance")));

    gainSlider.setTextBoxStyle (juce::Slider::TextBoxBelow, false, 80, 20);
    gainSlider.setRange (-60.0, 0.0, 0.1);
    gainSlider.setValue (tarrowby::gainInDecibels (normalisedValue (owner.parameters, "gain")));

    startTimer (refreshIntervalMs);
}

Editor::~JuceDemoPluginAudioProcessorEditor()
{
    setLookAndFeel (nullptr);
}

void Editor::paint (juce::Graphics& g)
{
    const auto w = getWidth();

    g.setColour (juce::Colours::grey);
    g.fillAll();

    if (logoImage.isValid())
        g.drawImageAt (logoImage, w / 2 - 28, 160);

    // The inset area between 35 px margins; bands of no width draw nothing.
    const auto inset = juce::jmax (0, w - 70);
    const auto leftWidth = inset - 30;
    const auto rightWidth = juce::jmin (inset, 28);

    const auto fillBand = [&g] (int x, int y, int bandWidth, int bandHeight) {
        if (bandWidth > 0)
            g.fillRect (x, y, bandWidth, bandHeight);
    };

    g.setColour (juce::Colours::black);
    g.setOpacity (0.21f);

    for (const auto y : { 7, 35, 63 })
    {
        fillBand (35, y, leftWidth, 27);
        fillBand (35 + inset - rightWidth, y, rightWidth, 27);
    }

    g.setColour (juce::Colours::white);
    g.setOpacity (0.21f);
    fillBand (35, 111, leftWidth, 31);
}

void Editor::resized()
{
    const auto w = getWidth();
    const auto h = getHeight();

    const auto placeRow = [] (auto& buttons, juce::ToggleButton& bypass, int y) {
        for (size_t i = 0; i < buttons.size(); ++i)
            buttons[i]->setBounds (37 + 23 * (int) i, y, 21, 21);

        bypass.setBounds (411, y, 21, 21);
    };

    placeRow (muteButtons, *muteBypassButton, 10);
    placeRow (soloButtons, *soloBypassButton, 38);
    placeRow (bassButtons, *bassBypassButton, 66);

    for (int i = 0; i < numChannels; ++i)
        channelLabels[(size_t) i]->setBounds (39 + 23 * i, 91, 21, 21);

    channelLabels[(size_t) numChannels]->setBounds (413, 91, 21, 21);

    for (int i = 0; i < numChannels; ++i)
        if (auto& meter = meters[(size_t) i])
            meter->setBounds (i == 0 ? 47 : 46 + 23 * i, 114, 6, 24);

    muteLabelLeft.setBounds (1, 10, 36, 20);
    soloLabelLeft.setBounds (1, 38, 36, 20);
    bassLabelLeft.setBounds (1, 66, 36, 20);

    muteLabelRight.setBounds (w - 36, 10, 36, 20);
    soloLabelRight.setBounds (w - 36, 38, 36, 20);
    bassLabelRight.setBounds (w - 36, 66, 36, 20);
    layoutLabel.setBounds (w - 36, 110, 36, 20);
    bassManLabel.setBounds (w - 36, 124, 36, 20);
    layoutLed->setBounds (w - 53, 115, 10, 10);
    bassManLed->setBounds (w - 53, 129, 10, 10);

    crossoverSlider.setBounds (36, 176, 112, 112);
    gainSlider.setBounds (328, 176, 112, 112);

    donateLink.setBounds (w / 2 - 62, 205, 124, 24);
    dimButton.setBounds (w / 2 - 48, 235, 92, 24);
    cutButton.setBounds (w / 2 - 48, 265, 92, 24);

    const auto bottomWidth = juce::jmin (w, 469);
    const auto infoArea = juce::jmax (0, h - 7);
    const auto infoHeight = juce::jmin (infoArea, 20);
    infoLabel.setBounds (0, infoArea - infoHeight, bottomWidth, infoHeight);

    const auto versionHeight = juce::jmin (h, 40);
    versionTextLabel.setBounds (0, h - versionHeight, bottomWidth, versionHeight);
}

void Editor::timerCallback()
{
    if (! isStandalone())
        return;

    auto& peaks = pluginProcessor.peakLevels;

    for (size_t i = 0; i < peaks.size(); ++i)
    {
        // Read, then reset, as two accesses: a peak raised in between is lost.
        const auto peak = peaks[i].load (std::memory_order_relaxed);
        peaks[i].store (0.0f, std::memory_order_relaxed);

        // Cube root; a peak of 0 gives exp (-inf) = 0, anything not below 1 (or not a number) shows full scale.
        const auto cubeRoot = (float) std::exp ((double) std::log (peak) / 3.0);

        if (auto& meter = meters[i])
        {
            meter->level = std::min (1.0f, cubeRoot);
            meter->repaint();
        }
    }

    layoutLed->level = pluginProcessor.channelPairsDiffer.load (std::memory_order_relaxed) ? 0.0f : 1.0f;
    layoutLed->repaint();

    bassManLed->level = pluginProcessor.bassSignalPresent.load (std::memory_order_relaxed) ? 0.0f : 1.0f;
    bassManLed->repaint();
}

void Editor::buttonStateChanged (juce::Button*) {}

void Editor::buttonClicked (juce::Button*) {}

juce::Component* Editor::ForcePopupsInParentWindow::getParentComponentForMenuOptions (const juce::PopupMenu::Options& options)
{
    return options.getParentComponent();
}
