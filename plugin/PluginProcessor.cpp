#include "PluginProcessor.h"
#include "PluginEditor.h"

// Placeholder bodies; the signal path, state bytes and poll are filled in next.

JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      parameters (*this, nullptr, "state",
                  { std::make_unique<juce::AudioParameterFloat> ("gain", "Gain", juce::NormalisableRange<float> (-60.0f, 0.0f), 0.0f),
                    std::make_unique<juce::AudioParameterFloat> ("balance", "Balance", juce::NormalisableRange<float> (80.0f, 125.0f), 80.0f),
                    std::make_unique<juce::AudioParameterFloat> ("dim", "Dim", juce::NormalisableRange<float> (0.0f, 1.0f), 0.0f),
                    std::make_unique<juce::AudioParameterFloat> ("mute", "Mute", juce::NormalisableRange<float> (0.0f, 1.0f), 0.0f) })
{
    for (auto& filter : crossoverFilters)
        filter = std::make_unique<juce::IIRFilter>();
}

JuceDemoPluginAudioProcessor::~JuceDemoPluginAudioProcessor() = default;

const juce::String JuceDemoPluginAudioProcessor::getName() const { return "Tarrowby"; }
void JuceDemoPluginAudioProcessor::prepareToPlay (double sampleRate, int) { updateFilterCoeffs (sampleRate); }
void JuceDemoPluginAudioProcessor::releaseResources() {}
void JuceDemoPluginAudioProcessor::processBlock (juce::AudioBuffer<float>&, juce::MidiBuffer&) {}
void JuceDemoPluginAudioProcessor::processBlock (juce::AudioBuffer<double>&, juce::MidiBuffer&) {}
bool JuceDemoPluginAudioProcessor::supportsDoublePrecisionProcessing() const { return false; }
double JuceDemoPluginAudioProcessor::getTailLengthSeconds() const { return 0.0; }
bool JuceDemoPluginAudioProcessor::acceptsMidi() const { return true; }
bool JuceDemoPluginAudioProcessor::producesMidi() const { return false; }
void JuceDemoPluginAudioProcessor::reset() {}
juce::AudioProcessorEditor* JuceDemoPluginAudioProcessor::createEditor() { return new JuceDemoPluginAudioProcessorEditor (*this); }
bool JuceDemoPluginAudioProcessor::hasEditor() const { return true; }
int JuceDemoPluginAudioProcessor::getNumPrograms() { return 0; }
int JuceDemoPluginAudioProcessor::getCurrentProgram() { return 0; }
void JuceDemoPluginAudioProcessor::setCurrentProgram (int) {}
const juce::String JuceDemoPluginAudioProcessor::getProgramName (int) { return {}; }
void JuceDemoPluginAudioProcessor::changeProgramName (int, const juce::String&) {}
void JuceDemoPluginAudioProcessor::getStateInformation (juce::MemoryBlock&) {}
void JuceDemoPluginAudioProcessor::setStateInformation (const void*, int) {}
bool JuceDemoPluginAudioProcessor::isBusesLayoutSupported (const BusesLayout&) const { return true; }
void JuceDemoPluginAudioProcessor::updateFilterCoeffs (double) {}
void JuceDemoPluginAudioProcessor::timerCallback() {}
