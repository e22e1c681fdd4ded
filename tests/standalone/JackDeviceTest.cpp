#include "HostTestSupport.h"
#include "JackServer.h"
#include "JackTestClient.h"
#include "SettingsComponent.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;
using juce::StandalonePluginHolder;

namespace
{
/** A private JACK server for each test. */
struct JackDevice : ::testing::Test
{
    void SetUp() override
    {
        ASSERT_TRUE (server.isRunning()) << "jackd did not start:\n" << server.getLog();
    }

    ~JackDevice() override  { closeModalWindows(); }

    static int countActive (const juce::BigInteger& bits)   { return bits.countNumberOfSetBits(); }

    /** The level the test client plays into device input k. */
    static float inputLevel (int k)   { return 0.03f * (float) (k + 1); }

    JackServer server;
    TempSettings settings;
};

/** Waits until the client has run a few cycles after now. */
bool waitForCycles (const JackTestClient& client, int count)
{
    const auto target = client.getCycles() + count;
    return pumpMessagesUntil ([&] { return client.getCycles() >= target; }, 5000);
}
} // namespace

TEST_F (JackDevice, FirstStartOpensTheJackSystemDeviceWith16InputsAnd16Outputs)
{
    auto holder = makeHolder (&settings.get());
    auto* device = holder->deviceManager.getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);

    EXPECT_EQ (device->getTypeName(), "JACK");
    EXPECT_EQ (device->getName(), "system");
    EXPECT_EQ (countActive (device->getActiveInputChannels()), 16);
    EXPECT_EQ (countActive (device->getActiveOutputChannels()), 16);
    EXPECT_EQ (device->getCurrentSampleRate(), 48000.0);
    EXPECT_EQ (device->getCurrentBufferSizeSamples(), 512);
    EXPECT_TRUE (device->isPlaying());

    EXPECT_EQ (holder->processor->getTotalNumInputChannels(), 16);
    EXPECT_EQ (holder->processor->getTotalNumOutputChannels(), 16);
    EXPECT_EQ (holder->silentInputBuffer.getNumChannels(), 16);
    EXPECT_EQ (holder->silentInputBuffer.getNumSamples(), 512);

    holder.reset();
    EXPECT_EQ (settings.get().getValue ("shouldMuteInput"), "1");
    EXPECT_EQ (settings.get().getValue ("audioSetup"), "");
}

TEST_F (JackDevice, InputReachesTheProcessorOnlyWhileUnmutedAndItsOutputReachesTheDevice)
{
    auto holder = makeHolder (&settings.get());
    auto& probe = installProbe (*holder);

    JackTestClient client;
    ASSERT_TRUE (client.isOpen());

    // The framework's JACK device is a client named "JUCEJack" with ports in_N and out_N.
    const auto appInputs = client.getPorts ("^JUCEJack:in_", true);
    const auto appOutputs = client.getPorts ("^JUCEJack:out_", false);
    ASSERT_EQ (appInputs.size(), 16) << appInputs.joinIntoString (" ");
    ASSERT_EQ (appOutputs.size(), 16) << appOutputs.joinIntoString (" ");
    EXPECT_TRUE (appInputs.contains ("JUCEJack:in_16"));
    EXPECT_TRUE (appOutputs.contains ("JUCEJack:out_1"));

    ASSERT_TRUE (client.connect ("JUCEJack:in_", "JUCEJack:out_"));

    for (int k = 0; k < 16; ++k)
        client.setLevel (k, inputLevel (k));

    ASSERT_TRUE (waitForCycles (client, 10));
    ASSERT_TRUE (holder->muteInput.load());

    const auto outputArrives = [&]
    {
        for (int k = 0; k < 16; ++k)
            if (std::abs (client.getPeak (k) - ProbeProcessor::outputLevel (k)) > 1.0e-6f)
                return false;

        return true;
    };

    EXPECT_TRUE (pumpMessagesUntil (outputArrives, 5000));
    EXPECT_GT (probe.numBlocks.load(), 0);

    for (int k = 0; k < 16; ++k)
        EXPECT_EQ (probe.getInputPeak (k), 0.0f) << "muted input " << k;

    holder->shouldMuteInput = false;

    const auto inputArrives = [&]
    {
        for (int k = 0; k < 16; ++k)
            if (std::abs (probe.getInputPeak (k) - inputLevel (k)) > 1.0e-6f)
                return false;

        return true;
    };

    EXPECT_TRUE (pumpMessagesUntil (inputArrives, 5000));

    holder->shouldMuteInput = true;
    ASSERT_TRUE (pumpMessagesUntil ([&] { return holder->muteInput.load(); }, 2000));
    ASSERT_TRUE (waitForCycles (client, 3));
    probe.resetPeaks();
    ASSERT_TRUE (waitForCycles (client, 10));

    for (int k = 0; k < 16; ++k)
        EXPECT_EQ (probe.getInputPeak (k), 0.0f) << "muted again " << k;

    EXPECT_LE (probe.largestBlock.load(), 512);
    EXPECT_EQ (probe.numChannelsSeen.load(), 16);
}

TEST_F (JackDevice, RestoresTheSavedSetupAndFallsBackWhenItsDeviceIsGone)
{
    settings.get().setValue ("audioSetup",
                             "<DEVICESETUP deviceType=\"JACK\" audioOutputDeviceName=\"system\" "
                             "audioInputDeviceName=\"system\" audioDeviceInChans=\"1111\" audioDeviceOutChans=\"1111\"/>");
    {
        auto holder = makeHolder (&settings.get());
        auto* device = holder->deviceManager.getCurrentAudioDevice();
        ASSERT_NE (device, nullptr);
        EXPECT_EQ (countActive (device->getActiveInputChannels()), 4);
        EXPECT_EQ (countActive (device->getActiveOutputChannels()), 4);
    }

    EXPECT_TRUE (settings.get().getValue ("audioSetup").contains ("audioDeviceInChans=\"1111\""));

    for (const auto* text : { "<DEVICESETUP deviceType=\"JACK\" audioOutputDeviceName=\"gone\" audioInputDeviceName=\"gone\"/>",
                              "<OTHERSETUP deviceType=\"JACK\"/>", "not xml at all", "" })
    {
        settings.get().setValue ("audioSetup", text);
        auto holder = makeHolder (&settings.get());
        auto* device = holder->deviceManager.getCurrentAudioDevice();
        ASSERT_NE (device, nullptr) << text;
        EXPECT_EQ (device->getName(), "system") << text;
        EXPECT_EQ (countActive (device->getActiveInputChannels()), 16) << text;
        EXPECT_EQ (countActive (device->getActiveOutputChannels()), 16) << text;
    }
}

TEST_F (JackDevice, SettingsDialogOffersAll16Channels)
{
    auto holder = makeHolder (&settings.get());

    // A processor that takes any channel counts, with stereo default buses like the real one.
    installProbe (*holder);
    holder->showAudioSettingsDialog();

    auto* dialog = findOnDesktop<juce::DialogWindow> ("Audio/MIDI Settings");
    ASSERT_NE (dialog, nullptr);

    // The two channel lists show 8 stereo pairs each; outputs come first.
    juce::Array<juce::ListBox*> channelLists;

    for (auto* list : findChildren<juce::ListBox> (*dialog))
        if (list->getModel() != nullptr && list->getModel()->getNumRows() == 8)
            channelLists.add (list);

    ASSERT_EQ (channelLists.size(), 2);

    auto& manager = holder->deviceManager;

    for (auto* list : channelLists)
    {
        // Switch the last pair off and on again: a limit below 16 would refuse the second step.
        list->getModel()->returnKeyPressed (7);
        pumpMessages (50);
        list->getModel()->returnKeyPressed (7);
        pumpMessages (50);
    }

    auto* device = manager.getCurrentAudioDevice();
    ASSERT_NE (device, nullptr);
    EXPECT_EQ (countActive (device->getActiveOutputChannels()), 16);
    EXPECT_EQ (countActive (device->getActiveInputChannels()), 16);
}
