#pragma once

#include "LevelWidgets.h"
#include "PluginProcessor.h"

#include <array>
#include <memory>

/**
    The controller's window content: gain and crossover knobs, Dim and Cut, the
    3 x 17 switch matrix (polled by the processor), 16 meters and two lamps.
    Message thread only.
*/
class JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor : public juce::AudioProcessorEditor,
                                                                         public juce::Timer,
                                                                         public juce::Button::Listener
{
public:
    static constexpr int refreshIntervalMs = 62;

    /** Opens popup menus in the parent the caller names; otherwise draws as LookAndFeel_V4. */
    class ForcePopupsInParentWindow : public juce::LookAndFeel_V4
    {
    public:
        ~ForcePopupsInParentWindow() override = default;
        juce::Component* getParentComponentForMenuOptions (const juce::PopupMenu::Options& options) override;
    };

    explicit JuceDemoPluginAudioProcessorEditor (JuceDemoPluginAudioProcessor& owner);
    ~JuceDemoPluginAudioProcessorEditor() override;

    void paint (juce::Graphics& g) override;
    void resized() override;

    /** Every 62 ms: hands the processor's peaks to the meters and its flags to the lamps. */
    void timerCallback() override;

    void buttonStateChanged (juce::Button*) override;
    void buttonClicked (juce::Button*) override;

    /** The editor's processor, typed. */
    JuceDemoPluginAudioProcessor& getProcessor() const noexcept { return pluginProcessor; }

    //==============================================================================
    /** The switch matrix, read by the processor's poll. bassButtons[3] exists but is never shown. */
    std::array<std::unique_ptr<juce::ToggleButton>, numChannels> muteButtons, soloButtons, bassButtons;
    /** On: the whole row is not applied. */
    std::unique_ptr<juce::ToggleButton> muteBypassButton, soloBypassButton, bassBypassButton;

private:
    juce::Label gainLabel, crossoverLabel;

    /** One meter per channel; all empty unless the process runs stand-alone. */
    std::array<std::unique_ptr<SimpleMeter>, numChannels> meters;
    /** Green while the processor's channelPairsDiffer / bassSignalPresent is set, else half-transparent red. */
    std::unique_ptr<SimpleLED> layoutLed, bassManLed;

    /** "1" .. "16" and "x" above the bypass column. */
    std::array<std::unique_ptr<juce::Label>, numChannels + 1> channelLabels;

    juce::Slider gainSlider, crossoverSlider;
    juce::AudioProcessorValueTreeState::SliderAttachment gainAttachment, crossoverAttachment;

    ForcePopupsInParentWindow popupLookAndFeel;

    juce::TextButton dimButton, cutButton;

    juce::Label muteLabelLeft, soloLabelLeft, bassLabelLeft;
    juce::Label muteLabelRight, soloLabelRight, bassLabelRight;
    juce::Label layoutLabel, bassManLabel;
    juce::Label infoLabel, versionTextLabel;

    juce::AudioProcessorValueTreeState::ButtonAttachment dimAttachment, muteAttachment;

    /** The embedded logo at 48 x 48; null when it cannot be decoded. */
    juce::Image logoImage;
    juce::HyperlinkButton donateLink;

    JuceDemoPluginAudioProcessor& pluginProcessor;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (JuceDemoPluginAudioProcessorEditor)
};
