#include "PluginEditor.h"

// Placeholder bodies; the editor is filled in next.

JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor::JuceDemoPluginAudioProcessorEditor (JuceDemoPluginAudioProcessor& owner)
    : AudioProcessorEditor (owner),
      gainAttachment (owner.parameters, "gain", gainSlider),
      crossoverAttachment (owner.parameters, "balance", crossoverSlider),
      dimAttachment (owner.parameters, "dim", dimButton),
      muteAttachment (owner.parameters, "mute", cutButton),
      pluginProcessor (owner)
{
}

JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor::~JuceDemoPluginAudioProcessorEditor() = default;
void JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor::paint (juce::Graphics&) {}
void JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor::resized() {}
void JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor::timerCallback() {}
void JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor::buttonStateChanged (juce::Button*) {}
void JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor::buttonClicked (juce::Button*) {}

juce::Component* JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor::ForcePopupsInParentWindow::getParentComponentForMenuOptions (const juce::PopupMenu::Options& options)
{
    return options.getParentComponent();
}
