#include "SettingsComponent.h"

namespace juce
{
StandalonePluginHolder::SettingsComponent::SettingsComponent (StandalonePluginHolder& pluginHolder,
                                                              AudioDeviceManager& deviceManagerToUse,
                                                              int maxAudioInputChannels,
                                                              int maxAudioOutputChannels)
    : owner (pluginHolder),
      deviceSelector (deviceManagerToUse,
                      0, maxAudioInputChannels,
                      0, maxAudioOutputChannels,
                      true,
                      pluginHolder.processor != nullptr && pluginHolder.processor->producesMidi(),
                      true,
                      false),
      shouldMuteLabel ("Feedback Loop:", "Feedback Loop:"),
      shouldMuteButton ("Mute audio input")
{
    setOpaque (true);

    shouldMuteButton.setClickingTogglesState (true);
    shouldMuteButton.getToggleStateValue().referTo (owner.shouldMuteInput);

    addAndMakeVisible (deviceSelector);

    if (owner.processorHasPotentialFeedbackLoop)
    {
        addAndMakeVisible (shouldMuteButton);
        addAndMakeVisible (shouldMuteLabel);
        shouldMuteLabel.attachToComponent (&shouldMuteButton, true);
    }
}

StandalonePluginHolder::SettingsComponent::~SettingsComponent() = default;

void StandalonePluginHolder::SettingsComponent::paint (Graphics& g)
{
    g.fillAll (getLookAndFeel().findColour (ResizableWindow::backgroundColourId));
}

void StandalonePluginHolder::SettingsComponent::resized()
{
    const ScopedValueSetter<bool> resizing (isResizing, true);

    auto r = getLocalBounds();

    if (owner.processorHasPotentialFeedbackLoop)
    {
        const auto itemHeight = deviceSelector.getItemHeight();
        auto row = r.removeFromTop (itemHeight);

        shouldMuteButton.setBounds (Rectangle<int> ((int) ((float) row.getWidth() * 0.35f),
                                                    itemHeight >> 1,
                                                    (int) ((float) row.getWidth() * 0.60f),
                                                    itemHeight));

        r.removeFromTop (itemHeight >> 1);
    }

    deviceSelector.setBounds (r);
}

void StandalonePluginHolder::SettingsComponent::childBoundsChanged (Component* childComp)
{
    if (! isResizing && childComp == &deviceSelector)
        setToRecommendedSize();
}

int StandalonePluginHolder::SettingsComponent::getExtraHeight() const
{
    if (! owner.processorHasPotentialFeedbackLoop)
        return 0;

    const auto itemHeight = deviceSelector.getItemHeight();
    return itemHeight + (itemHeight >> 1);
}

void StandalonePluginHolder::SettingsComponent::setToRecommendedSize()
{
    setSize (getWidth(), deviceSelector.getHeight() + getExtraHeight());
}

//==============================================================================
void StandalonePluginHolder::closeSettingsDialogs()
{
    auto& desktop = Desktop::getInstance();

    for (int i = desktop.getNumComponents(); --i >= 0;)
        if (auto* dialog = dynamic_cast<DialogWindow*> (desktop.getComponent (i)))
            if (auto* content = dynamic_cast<SettingsComponent*> (dialog->getContentComponent()))
                if (content->belongsTo (*this))
                    delete dialog;
}

void StandalonePluginHolder::showAudioSettingsDialog()
{
    // The device is opened with the first channel configuration, so the dialog
    // offers the same channels; the processor's buses decide only without one.
    int maxNumInputs = 0, maxNumOutputs = 0;

    if (! channelConfigurations.isEmpty())
    {
        maxNumInputs = jmax (0, (int) channelConfigurations.getReference (0).numIns);
        maxNumOutputs = jmax (0, (int) channelConfigurations.getReference (0).numOuts);
    }
    else if (processor != nullptr)
    {
        if (auto* bus = processor->getBus (true, 0))
            maxNumInputs = jmax (0, bus->getDefaultLayout().size());

        if (auto* bus = processor->getBus (false, 0))
            maxNumOutputs = jmax (0, bus->getDefaultLayout().size());
    }

    auto content = std::make_unique<SettingsComponent> (*this, deviceManager, maxNumInputs, maxNumOutputs);
    content->setSize (500, 550);
    content->setToRecommendedSize();

    DialogWindow::LaunchOptions o;
    o.dialogBackgroundColour = content->getLookAndFeel().findColour (ResizableWindow::backgroundColourId);
    o.content.setOwned (content.release());
    o.dialogTitle = translate ("Audio/MIDI Settings");
    o.escapeKeyTriggersCloseButton = true;
    o.useNativeTitleBar = true;
    o.resizable = false;
    o.useBottomRightCornerResizer = false;
    o.componentToCentreAround = nullptr;

    o.launchAsync();
}
} // namespace juce
