#include "PluginProcessor.h"
#include "ParameterMaps.h"
#include "PluginEditor.h"
#include "SwitchDefaults.h"
#include "StateText.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>

#if JUCE_USE_SSE_INTRINSICS
 #include <emmintrin.h>
#endif

// The coefficient and level arithmetic rounds after every operation; keep the
// compiler from fusing a multiply and an add into one rounding.
#if JUCE_CLANG
 #pragma STDC FP_CONTRACT OFF
#endif

namespace
{
constexpr auto relaxed = std::memory_order_relaxed;

/** 1 / Q with Q the single-precision square root of two. */
constexpr double inverseQ = 0.7071067932881648;
constexpr double pi = 3.141592653589793;

/** The largest float not above the given positive limit: for any float x (NaN included),
    x > result exactly when (double) x > limit, so loops can compare in single precision. */
float floatThreshold (double limit) noexcept
{
    const auto nearest = (float) limit;
    return (double) nearest > limit ? std::nextafter (nearest, 0.0f) : nearest;
}

const float pairDifferenceThreshold = floatThreshold (0.0001);
const float bassPresenceThreshold = floatThreshold (0.01);

/** "VC2!" read as a little-endian 32-bit value. */
constexpr juce::uint32 stateMagic = 0x21324356;
constexpr int stateHeaderSize = 8;

const char* const parameterIds[] = { "balance", "dim", "gain", "mute" };

bool isParameterNode (const juce::ValueTree& node)
{
    const auto id = node.getProperty ("id").toString();
    return std::any_of (std::begin (parameterIds), std::end (parameterIds), [&] (const char* p) { return id == p; });
}

/** Longer than any value the parameters write: a number with 20 decimals, a sign and a point. */
constexpr int longestValueText = 32;

/** The tree as the processor may come to write it: each parameter node's value written as
    it is or as the longest a parameter writes, whichever is longer. */
juce::ValueTree withLongestValues (const juce::ValueTree& tree)
{
    auto copy = tree.createCopy();

    for (auto node : copy)
    {
        if (isParameterNode (node))
        {
            const auto text = node.getProperty ("value").toString();
            node.setProperty ("value", text + juce::String::repeatedString ("0", juce::jmax (0, longestValueText - text.length())), nullptr);
        }
    }

    return copy;
}

void writeState (const juce::ValueTree& tree, juce::MemoryBlock& destData)
{
    if (auto xml = tree.createXml())
        juce::AudioProcessor::copyXmlToBinary (*xml, destData);
}

/** The state's XML text, or nothing when the bytes are not state bytes. */
std::optional<std::pair<const char*, size_t>> getStateText (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes < stateHeaderSize + 1)
        return {};

    const auto* bytes = static_cast<const char*> (data);

    if (juce::ByteOrder::littleEndianInt (bytes) != stateMagic)
        return {};

    const auto storedLength = (int) juce::ByteOrder::littleEndianInt (bytes + 4);

    if (storedLength <= 0)
        return {};

    // The stored length may claim more than is there, and a zero byte ends the text early.
    const auto* text = bytes + stateHeaderSize;
    const auto available = (size_t) juce::jmin (storedLength, sizeInBytes - stateHeaderSize);
    const auto* zero = static_cast<const char*> (std::memchr (text, 0, available));
    return std::pair (text, zero != nullptr ? (size_t) (zero - text) : available);
}

/** True when the state bytes this tree is written as are read again, whatever values the
    parameters come to write into it. */
bool isReadAgainOnceWritten (const juce::ValueTree& tree)
{
    juce::MemoryBlock bytes;
    writeState (withLongestValues (tree), bytes);
    const auto text = getStateText (bytes.getData(), (int) bytes.getSize());

    return (juce::int64) bytes.getSize() <= guards::StateText::maximumSize
           && text.has_value()
           && guards::StateText::canReadTree (text->first, text->second);
}

std::unique_ptr<juce::AudioParameterFloat> makeParameter (const char* id, const char* name, float start, float end, float defaultValue)
{
    return std::make_unique<juce::AudioParameterFloat> (id, name, juce::NormalisableRange<float> (start, end), defaultValue);
}

juce::AudioProcessorValueTreeState::ParameterLayout createParameterLayout()
{
    // Defaults as the parameters report them: 0 dB and 80 Hz, so value and default agree.
    juce::AudioProcessorValueTreeState::ParameterLayout layout;
    layout.add (makeParameter ("gain", "Gain", -60.0f, 0.0f, 0.0f),
                makeParameter ("balance", "Balance", 80.0f, 125.0f, 80.0f),
                makeParameter ("dim", "Dim", 0.0f, 1.0f, 0.0f),
                makeParameter ("mute", "Mute", 0.0f, 1.0f, 0.0f));
    return layout;
}

/** Reads samples as they are. */
struct Samples
{
    const float* samples;

    float operator() (int i) const noexcept { return samples[i]; }
#if JUCE_USE_SSE_INTRINSICS
    __m128 four (int i) const noexcept
    {
        return _mm_loadu_ps (samples + i);
    }
#endif
};

/** Reads the differences a[i] - b[i]. */
struct Differences
{
    const float* a;
    const float* b;

    float operator() (int i) const noexcept { return a[i] - b[i]; }
#if JUCE_USE_SSE_INTRINSICS
    __m128 four (int i) const noexcept
    {
        return _mm_sub_ps (_mm_loadu_ps (a + i), _mm_loadu_ps (b + i));
    }
#endif
};

/** Largest absolute value of the source's first numSamples values, NaNs ignored; 0 for none. */
template <typename Source>
float absoluteMaximum (const Source& source, int numSamples) noexcept
{
    float result = 0.0f;
    int i = 0;

#if JUCE_USE_SSE_INTRINSICS
    // maxps returns its second operand when either is NaN, so NaN values never win.
    const auto absMask = _mm_castsi128_ps (_mm_set1_epi32 (0x7fffffff));
    auto m0 = _mm_setzero_ps(), m1 = m0, m2 = m0, m3 = m0;

    for (; i + 16 <= numSamples; i += 16)
    {
        m0 = _mm_max_ps (_mm_and_ps (source.four (i), absMask), m0);
        m1 = _mm_max_ps (_mm_and_ps (source.four (i + 4), absMask), m1);
        m2 = _mm_max_ps (_mm_and_ps (source.four (i + 8), absMask), m2);
        m3 = _mm_max_ps (_mm_and_ps (source.four (i + 12), absMask), m3);
    }

    for (; i + 4 <= numSamples; i += 4)
        m0 = _mm_max_ps (_mm_and_ps (source.four (i), absMask), m0);

    float lanes[4];
    _mm_storeu_ps (lanes, _mm_max_ps (_mm_max_ps (m0, m1), _mm_max_ps (m2, m3)));
    result = juce::jmax (lanes[0], lanes[1], lanes[2], lanes[3]);
#endif

    for (; i < numSamples; ++i)
    {
        const auto a = std::abs (source (i));

        if (a > result)
            result = a;
    }

    return result;
}
} // namespace

//==============================================================================
JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessor()
    : AudioProcessor (BusesProperties()
                          .withInput ("Input", juce::AudioChannelSet::stereo(), true)
                          .withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      parameters (*this, nullptr, "state", createParameterLayout()),
      bassSum ((size_t) defaultScratchSize, 0.0f)
{
    // Until the first poll with an editor open, process as a new editor shows.
    for (int c = 0; c < numChannels; ++c)
    {
        peakLevels[(size_t) c].store (0.0f, relaxed);
        channelMute[(size_t) c].store (SwitchDefaults::isMuted (c), relaxed);
        channelSolo[(size_t) c].store (SwitchDefaults::isSoloed (c), relaxed);
        channelBassManaged[(size_t) c].store (SwitchDefaults::isBassManaged (c), relaxed);
    }

    mutesBypassed.store (SwitchDefaults::mutesBypassed, relaxed);
    solosBypassed.store (SwitchDefaults::solosBypassed, relaxed);
    bassManagementBypassed.store (SwitchDefaults::bassManagementBypassed, relaxed);

    juce::ValueTree uiState ("uiState");
    uiState.setProperty ("width", defaultEditorWidth, nullptr);
    uiState.setProperty ("height", defaultEditorHeight, nullptr);
    parameters.state.appendChild (uiState, nullptr);

    for (auto& filter : crossoverFilters)
        filter = std::make_unique<juce::IIRFilter>();

    startTimer (pollIntervalMs);
}

JuceDemoPluginAudioProcessor::~JuceDemoPluginAudioProcessor()
{
    for (auto& filter : crossoverFilters)
        filter.reset();
}

//==============================================================================
const juce::String JuceDemoPluginAudioProcessor::getName() const { return "Tarrowby"; }

void JuceDemoPluginAudioProcessor::prepareToPlay (double sampleRate, int maximumExpectedSamplesPerBlock)
{
    updateFilterCoeffs (sampleRate);

    // Only grows: a smaller scratch would just mean more pieces per block.
    const auto wanted = (size_t) juce::jlimit (defaultScratchSize, maximumScratchSize, maximumExpectedSamplesPerBlock);

    if (wanted > bassSum.size())
        bassSum.assign (wanted, 0.0f);
}

void JuceDemoPluginAudioProcessor::releaseResources() {}

float JuceDemoPluginAudioProcessor::getNormalisedValue (juce::StringRef parameterId) const noexcept
{
    // A map lookup on a string reference: no allocation, no lock.
    return parameters.getParameter (parameterId)->getValue();
}

//==============================================================================
void JuceDemoPluginAudioProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer&)
{
    const auto gainValue = getNormalisedValue ("gain");
    const auto dimValue = getNormalisedValue ("dim");
    const auto muteValue = getNormalisedValue ("mute");
    const float gainDb = tarrowby::gainInDecibels (gainValue);

    const int numSamples = buffer.getNumSamples();
    const int numBufferChannels = buffer.getNumChannels();
    const int numOutputs = juce::jmin (getTotalNumOutputChannels(), numBufferChannels);
    const int numProcessed = juce::jmin (numChannels, numBufferChannels);

    for (int c = getTotalNumInputChannels(); c < numOutputs; ++c)
        buffer.clear (c, 0, numSamples);

    channelPairsDiffer.store (compareChannelPairs (buffer), relaxed);
    bassSignalPresent.store (manageBass (buffer), relaxed);

    float levelDb = gainDb;

    if (dimValue != 0.0f)
        levelDb = levelDb + -20.0f;

    if (muteValue != 0.0f)
        levelDb = levelDb + -120.0f;

    const auto level = (float) std::pow (10.0, (double) levelDb / 20.0);

    if (level < 1.0f)
    {
        for (int c = 0; c < numOutputs; ++c)
        {
            auto* samples = buffer.getWritePointer (c);

            if (level == 0.0f)
                juce::FloatVectorOperations::clear (samples, numSamples);
            else
                juce::FloatVectorOperations::multiply (samples, level, numSamples);
        }
    }

    if (! mutesBypassed.load (relaxed))
        for (int c = 0; c < numProcessed; ++c)
            if (channelMute[(size_t) c].load (relaxed))
                buffer.clear (c, 0, numSamples);

    bool soloed[numChannels];
    bool anySoloed = false;

    for (int c = 0; c < numChannels; ++c)
    {
        soloed[c] = channelSolo[(size_t) c].load (relaxed);
        anySoloed = anySoloed || soloed[c];
    }

    if (anySoloed && ! solosBypassed.load (relaxed))
        for (int c = 0; c < numProcessed; ++c)
            if (! soloed[c])
                buffer.clear (c, 0, numSamples);

    raisePeakLevels (buffer);
}

bool JuceDemoPluginAudioProcessor::compareChannelPairs (const juce::AudioBuffer<float>& buffer) const noexcept
{
    const int numSamples = buffer.getNumSamples();

    auto pairDiffers = [&] (int first, int second) {
        return second < buffer.getNumChannels()
               && absoluteMaximum (Differences { buffer.getReadPointer (first), buffer.getReadPointer (second) }, numSamples)
                      > pairDifferenceThreshold;
    };

    return pairDiffers (9, 11) || pairDiffers (8, 10);
}

bool JuceDemoPluginAudioProcessor::manageBass (juce::AudioBuffer<float>& buffer) noexcept
{
    const int numSamples = buffer.getNumSamples();
    const int numProcessed = juce::jmin (numChannels, buffer.getNumChannels());
    const bool bypassed = bassManagementBypassed.load (relaxed);

    // Each managed channel is high-passed in place over the whole block first; the
    // sum below reads the finished samples, so it may then be built piecewise.
    float* managed[numChannels];
    int count = 0;

    for (int c = 0; c < numProcessed; ++c)
    {
        if (channelBassManaged[(size_t) c].load (relaxed) && ! bypassed)
        {
            auto* samples = buffer.getWritePointer (c);
            crossoverFilters[(size_t) c]->processSamples (samples, numSamples);
            managed[count++] = samples;
        }
    }

    auto* target = bassTargetChannel < numProcessed ? buffer.getWritePointer (bassTargetChannel) : nullptr;
    auto& lowPass = *crossoverFilters[(size_t) lowPassFilterIndex];
    auto* sum = bassSum.data();
    const int scratchSize = (int) bassSum.size();
    const float divisor = (float) count;
    bool present = false;
    int start = 0;

    jassert (scratchSize > 0);

    // Runs at least once, so the low-pass is entered also for an empty block.
    do
    {
        const int length = juce::jmin (numSamples - start, scratchSize);

        juce::FloatVectorOperations::clear (sum, length);

        for (int m = 0; m < count; ++m)
            juce::FloatVectorOperations::add (sum, managed[m] + start, length);

        lowPass.processSamples (sum, length);

        if (count > 0)
        {
            for (int i = 0; i < length; ++i)
                sum[i] = sum[i] / divisor;

            if (target != nullptr)
                juce::FloatVectorOperations::add (target + start, sum, length);
        }

        // Averaged, the sum must exceed the threshold; with nothing summed, any ringing counts.
        present = present || absoluteMaximum (Samples { sum }, length) > (count > 0 ? bassPresenceThreshold : 0.0f);

        start += length;
    }
    while (start < numSamples);

    return present;
}

void JuceDemoPluginAudioProcessor::raisePeakLevels (const juce::AudioBuffer<float>& buffer) noexcept
{
    if (getTotalNumOutputChannels() < numChannels || buffer.getNumChannels() < numChannels)
        return;

    for (int c = 0; c < numChannels; ++c)
    {
        const auto blockPeak = absoluteMaximum (Samples { buffer.getReadPointer (c) }, buffer.getNumSamples());
        auto& peak = peakLevels[(size_t) c];

        if (blockPeak > peak.load (relaxed))
            peak.store (blockPeak, relaxed);
    }
}

void JuceDemoPluginAudioProcessor::processBlock (juce::AudioBuffer<double>&, juce::MidiBuffer&) {}

//==============================================================================
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

//==============================================================================
void JuceDemoPluginAudioProcessor::getStateInformation (juce::MemoryBlock& destData)
{
    writeState (parameters.copyState(), destData);
}

void JuceDemoPluginAudioProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    takeState (data, sizeInBytes);
}

JuceDemoPluginAudioProcessor::StateReading JuceDemoPluginAudioProcessor::takeState (const void* data, int sizeInBytes)
{
    juce::ValueTree tree;
    const auto reading = readState (data, sizeInBytes, tree);

    if (reading == StateReading::taken)
        parameters.replaceState (tree);

    return reading;
}

JuceDemoPluginAudioProcessor::StateReading JuceDemoPluginAudioProcessor::readState (const void* data, int sizeInBytes, juce::ValueTree& tree)
{
    const auto text = getStateText (data, sizeInBytes);

    if (! text.has_value())
        return StateReading::ignored;

    tree = guards::StateText::readTree (text->first, text->second);

    if (! tree.isValid())
        return StateReading::ignored;

    // A parameter the loaded tree leaves out keeps its value: give it a node holding that
    // value, where the tree would otherwise gain one without a value and reset the parameter.
    // A value that is not a number can't be clamped into the range: it is kept out the same way.
    for (const auto* id : parameterIds)
    {
        auto* parameter = parameters.getParameter (id);
        const auto current = parameter->convertFrom0to1 (parameter->getValue());
        bool hasNode = false;

        for (auto child : tree)
        {
            if (child.getProperty ("id").toString() != id)
                continue;

            hasNode = true;

            if (child.hasProperty ("value") && std::isnan ((float) child.getProperty ("value")))
                child.setProperty ("value", current, nullptr);
        }

        if (! hasNode)
        {
            juce::ValueTree node ("PARAM");
            node.setProperty ("id", id, nullptr);
            node.setProperty ("value", current, nullptr);
            tree.appendChild (node, nullptr);
        }
    }

    return isReadAgainOnceWritten (tree) ? StateReading::taken : StateReading::tooLarge;
}

//==============================================================================
bool JuceDemoPluginAudioProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto out = layouts.getMainOutputChannelSet();
    const auto in = layouts.getMainInputChannelSet();

    if (in.size() > 0 && in != out)
        return false;

    return out.size() > 0;
}

//==============================================================================
void JuceDemoPluginAudioProcessor::updateFilterCoeffs (double sampleRate)
{
    const float crossover = tarrowby::crossoverInHertz (getNormalisedValue ("balance"));

    // Refuse any rate that is not finite or not above twice the crossover frequency: only above
    // it is k finite and positive and are the poles inside the unit circle.
    if (! (std::isfinite (sampleRate) && sampleRate > 2.0 * (double) crossover))
        return;

    const double k = std::tan (pi * (double) crossover / sampleRate);

    const double hc = 1.0 / (1.0 + k * inverseQ + k * k);
    const juce::IIRCoefficients highPass (hc, -2.0 * hc, hc, 1.0,
                                          2.0 * hc * (k * k - 1.0),
                                          hc * (1.0 - k * inverseQ + k * k));

    const double m = 1.0 / k;
    const double lc = 1.0 / (1.0 + m * inverseQ + m * m);
    const juce::IIRCoefficients lowPass (lc, 2.0 * lc, lc, 1.0,
                                         2.0 * lc * (1.0 - m * m),
                                         lc * (1.0 - m * inverseQ + m * m));

    for (int c = 0; c < numChannels; ++c)
        crossoverFilters[(size_t) c]->setCoefficients (highPass);

    crossoverFilters[(size_t) lowPassFilterIndex]->setCoefficients (lowPass);
}

//==============================================================================
void JuceDemoPluginAudioProcessor::timerCallback()
{
    auto* editor = dynamic_cast<JuceDemoPluginAudioProcessorEditor*> (getActiveEditor());

    if (editor == nullptr)
        return;

    auto copySwitch = [] (const std::unique_ptr<juce::ToggleButton>& button, std::atomic<bool>& flag) {
        if (button != nullptr)
            flag.store (button->getToggleState(), relaxed);
    };

    for (int c = 0; c < numChannels; ++c)
        copySwitch (editor->bassButtons[(size_t) c], channelBassManaged[(size_t) c]);

    copySwitch (editor->bassBypassButton, bassManagementBypassed);

    for (int c = 0; c < numChannels; ++c)
        copySwitch (editor->muteButtons[(size_t) c], channelMute[(size_t) c]);

    copySwitch (editor->muteBypassButton, mutesBypassed);

    for (int c = 0; c < numChannels; ++c)
        copySwitch (editor->soloButtons[(size_t) c], channelSolo[(size_t) c]);

    copySwitch (editor->soloBypassButton, solosBypassed);

    // One change per tick: a gain change defers any crossover change to a later tick.
    if (getNormalisedValue ("gain") != lastGainValue)
    {
        lastGainValue = getNormalisedValue ("gain");
        return;
    }

    if (getNormalisedValue ("balance") != lastCrossoverValue)
    {
        lastCrossoverValue = getNormalisedValue ("balance");
        updateFilterCoeffs (getSampleRate());
    }
}
