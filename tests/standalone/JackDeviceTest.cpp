#include "HostTestSupport.h"
#include "JackServer.h"
#include "JackTestClient.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

using namespace tarrowby::test;

namespace
{
/** A private JACK server (48 kHz, 512 samples, 16 in, 16 out) for each test. */
struct JackDevice : ::testing::Test
{
    void SetUp() override       { ASSERT_TRUE (server.isRunning()) << "jackd did not start:\n" << server.getLog(); }
    ~JackDevice() override      { closeModalWindows(); }

    static int count (const juce::BigInteger& bits)    { return bits.countNumberOfSetBits(); }

    void expectSystemDeviceWith (juce::StandalonePluginHolder& holder, int numChannels, const char* context = "")
    {
        auto* device = holder.deviceManager.getCurrentAudioDevice();
        ASSERT_NE (device, nullptr) << context;
        EXPECT_EQ (device->getTypeName(), "JACK") << context;
        EXPECT_EQ (device->getName(), "system") << context;
        EXPECT_EQ (count (device->getActiveInputChannels()), numChannels) << context;
        EXPECT_EQ (count (device->getActiveOutputChannels()), numChannels) << context;
    }

    JackServer server;
    TempSettings settings;
};

/** Waits until the client has run the given number of cycles after now. */
bool waitForCycles (const JackTestClient& client, int count)
{
    const auto target = client.cycles.load() + count;
    return pumpMessagesUntil ([&] { return client.cycles.load() >= target; }, 5000);
}
} // namespace

TEST_F (JackDevice, OpensTheSystemDeviceWith16ChannelsOrTheSavedSetupAndFallsBackWhenItIsGone)
{
    {
        auto holder = makeHolder (&settings.get());
        expectSystemDeviceWith (*holder, 16);
        auto* device = holder->deviceManager.getCurrentAudioDevice();
        EXPECT_EQ (device->getCurrentSampleRate(), 48000.0);
        EXPECT_EQ (device->getCurrentBufferSizeSamples(), 512);
        EXPECT_TRUE (device->isPlaying());
        EXPECT_EQ (holder->processor->getTotalNumInputChannels(), 16);
        EXPECT_EQ (holder->processor->getTotalNumOutputChannels(), 16);
        EXPECT_EQ (holder->silentInputBuffer.getNumChannels(), 16);
        EXPECT_EQ (holder->silentInputBuffer.getNumSamples(), 512);
    }

    EXPECT_EQ (settings.get().getValue ("audioSetup"), "");

    settings.get().setValue ("audioSetup", "<DEVICESETUP deviceType=\"JACK\" audioOutputDeviceName=\"system\" "
                                           "audioInputDeviceName=\"system\" audioDeviceInChans=\"1111\" audioDeviceOutChans=\"1111\"/>");
    expectSystemDeviceWith (*makeHolder (&settings.get()), 4);
    EXPECT_TRUE (settings.get().getValue ("audioSetup").contains ("audioDeviceInChans=\"1111\""));

    for (const auto* text : { "<DEVICESETUP deviceType=\"JACK\" audioOutputDeviceName=\"gone\" audioInputDeviceName=\"gone\"/>",
                              "<OTHERSETUP deviceType=\"JACK\"/>", "not xml at all", "" })
    {
        settings.get().setValue ("audioSetup", text);
        expectSystemDeviceWith (*makeHolder (&settings.get()), 16, text);
    }
}

TEST_F (JackDevice, InputReachesTheProcessorOnlyWhileUnmutedAndItsOutputReachesTheDevice)
{
    auto holder = makeHolder (&settings.get());
    auto& probe = installProbe (*holder);

    JackTestClient client;
    ASSERT_TRUE (client.isOpen());

    // The framework's JACK device is a client named "JUCEJack" with ports in_N and out_N.
    ASSERT_EQ (client.getPorts ("^JUCEJack:in_", true).size(), 16);
    ASSERT_EQ (client.getPorts ("^JUCEJack:out_", false).size(), 16);
    ASSERT_TRUE (client.connect ("JUCEJack:in_", "JUCEJack:out_"));

    const auto inputLevel = [] (int k) { return 0.03f * (float) (k + 1); };

    for (size_t k = 0; k < 16; ++k)
        client.levels[k] = inputLevel ((int) k);

    const auto all = [] (auto&& predicate)
    {
        for (int k = 0; k < 16; ++k)
            if (! predicate (k))
                return false;

        return true;
    };

    ASSERT_TRUE (holder->muteInput.load());
    EXPECT_TRUE (pumpMessagesUntil ([&] { return all ([&] (int k) { return std::abs (client.peaks[(size_t) k] - ProbeProcessor::outputLevel (k)) < 1.0e-6f; }); }, 5000));
    ASSERT_TRUE (waitForCycles (client, 10));
    EXPECT_TRUE (all ([&] (int k) { return probe.getInputPeak (k) == 0.0f; })) << "muted";

    holder->shouldMuteInput = false;
    EXPECT_TRUE (pumpMessagesUntil ([&] { return all ([&] (int k) { return std::abs (probe.getInputPeak (k) - inputLevel (k)) < 1.0e-6f; }); }, 5000));

    holder->shouldMuteInput = true;
    ASSERT_TRUE (pumpMessagesUntil ([&] { return holder->muteInput.load(); }, 2000));
    ASSERT_TRUE (waitForCycles (client, 3));
    probe.resetPeaks();
    ASSERT_TRUE (waitForCycles (client, 10));
    EXPECT_TRUE (all ([&] (int k) { return probe.getInputPeak (k) == 0.0f; })) << "muted again";

    EXPECT_LE (probe.largestBlock.load(), 512);
    EXPECT_EQ (probe.numChannelsSeen.load(), 16);
}

TEST_F (JackDevice, SettingsDialogOffersAll16Channels)
{
    auto holder = makeHolder (&settings.get());
    installProbe (*holder); // takes any channel counts, with stereo default buses like the real processor
    holder->showAudioSettingsDialog();

    auto* dialog = findOnDesktop<juce::DialogWindow> ("Audio/MIDI Settings");
    ASSERT_NE (dialog, nullptr);

    // The two channel lists show 8 stereo pairs each.
    int numLists = 0;

    for (auto* list : findChildren<juce::ListBox> (*dialog))
    {
        if (list->getModel() == nullptr || list->getModel()->getNumRows() != 8)
            continue;

        // Switch the last pair off and on again: a limit below 16 would refuse the second step.
        for (int step = 0; step < 2; ++step)
        {
            list->getModel()->returnKeyPressed (7);
            pumpMessages (50);
        }

        ++numLists;
    }

    EXPECT_EQ (numLists, 2);
    expectSystemDeviceWith (*holder, 16);
}
