#pragma once

#include "StandalonePluginHolder.h"

namespace juce
{
/**
    The content of the "Audio/MIDI Settings" dialog: the device selector on the
    holder's device manager and, where a feedback loop is possible, the
    "Mute audio input" toggle above it, bound both ways to the holder's
    shouldMuteInput value. Its height follows the selector's.

    Message thread only.
*/
class StandalonePluginHolder::SettingsComponent : public Component
{
public:
    SettingsComponent (StandalonePluginHolder& pluginHolder,
                       AudioDeviceManager& deviceManagerToUse,
                       int maxAudioInputChannels,
                       int maxAudioOutputChannels);
    ~SettingsComponent() override;

    void paint (Graphics& g) override;
    void resized() override;
    void childBoundsChanged (Component* childComp) override;

    /** Keeps the width and makes the height the selector's plus the toggle row. */
    void setToRecommendedSize();

    /** True for the content of a dialog opened by the given holder. */
    bool belongsTo (const StandalonePluginHolder& holder) const noexcept { return &owner == &holder; }

private:
    int getExtraHeight() const;

    StandalonePluginHolder& owner;
    AudioDeviceSelectorComponent deviceSelector;
    Label shouldMuteLabel;
    ToggleButton shouldMuteButton;
    bool isResizing = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (SettingsComponent)
};
} // namespace juce
