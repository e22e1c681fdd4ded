// Device blocks through the holder's chain on an audio thread while the message thread does all it may.
#include "HostTestSupport.h"
#include "PluginEditor.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <thread>

using namespace tarrowby::test;

TEST (Stress, AudioAndMessageThreadsTogether)
{
    juce::PluginHostType::jucePlugInClientCurrentWrapperType = juce::AudioProcessor::wrapperType_Standalone;
    auto holder = makeHolder (nullptr);
    holder->deviceManager.closeAudioDevice();
    juce::MemoryBlock states[2];
    holder->processor->getStateInformation (states[0]), holder->processor->getParameters()[0]->setValueNotifyingHost (0.3f), holder->processor->getStateInformation (states[1]);
    juce::Random random (17);
    for (const auto& [numIns, numOuts, bufferSize] : { std::tuple (16, 16, 256), std::tuple (16, 16, 7), std::tuple (2, 2, 1021), std::tuple (0, 16, 4096), std::tuple (1, 3, 1) })
    {
        FakeDevice device (numIns, numOuts, bufferSize, 44100.0 + bufferSize);
        holder->sizeEnforcer.audioDeviceAboutToStart (&device);
        // Noise, huge values, denormals and silence, and exactly as many channel pointers as the device has.
        DeviceBlock block (numIns, numOuts, 4099);
        for (int c = 0; c < block.inputs.getNumChannels(); ++c)
            for (int i = 0; i < block.inputs.getNumSamples(); ++i)
                block.inputs.setSample (c, i, std::array { 2.0f * random.nextFloat() - 1.0f, 1.0e30f, 1.0e-39f, 0.0f }[(size_t) (c + i / 97) % 4]);
        std::atomic<bool> stop { false };
        std::atomic<long long> blocks { 0 }, allocations { 0 }, nonFiniteChannels { 0 };
        std::thread audio ([&, bufferSize = bufferSize, numIns = numIns, numOuts = numOuts] {
            ScopedAllocationCounter counter;
            const int sizes[] = { bufferSize, 1000, 7, 4099, 1, 0, bufferSize + 1 };
            for (long long b = 0; ! stop; ++b, ++blocks)
            {
                // Now and then a block that carries fewer channels than the device reported.
                const auto n = sizes[b % 7];
                const auto outs = b % 5 == 4 ? 1 : numOuts;
                holder->sizeEnforcer.audioDeviceIOCallbackWithContext (block.inputPointers.data(), b % 5 == 4 ? juce::jmin (1, numIns) : numIns,
                                                                       block.outputPointers.data(), outs, n, {});
                for (int c = 0; c < outs; ++c)
                    nonFiniteChannels += std::all_of (block.outputPointers[(size_t) c], block.outputPointers[(size_t) c] + n, [] (float s) { return std::isfinite (s); }) ? 0 : 1;
            }
            allocations = counter.getCount();
        });
        auto waitForBlocks = [&, target = 0ll]() mutable { return target = blocks + 3, pumpMessagesUntil ([&] { return blocks >= target; }, 5000); };
        for (int round = 0; round < 2; ++round)
        {
            auto* processor = dynamic_cast<JuceDemoPluginAudioProcessor*> (holder->processor.get());
            std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditorIfNeeded());
            auto& e = dynamic_cast<JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor&> (*editor);
            for (int i = 0; i < 8; ++i)
            {
                for (auto* parameter : processor->getParameters())
                    parameter->setValueNotifyingHost (random.nextBool() ? (float) random.nextInt (2) : random.nextFloat());
                for (auto* row : { &e.muteButtons, &e.soloButtons, &e.bassButtons })
                    for (auto& button : *row)
                        if (button != nullptr && random.nextInt (4) == 0)
                            button->setToggleState (! button->getToggleState(), juce::sendNotificationSync);
                for (auto* button : { e.muteBypassButton.get(), e.soloBypassButton.get(), e.bassBypassButton.get() })
                    button->setToggleState (random.nextBool(), juce::sendNotificationSync);
                holder->shouldMuteInput = random.nextBool();
                const auto& state = states[(size_t) random.nextInt (2)];
                processor->setStateInformation (state.getData(), (int) state.getSize());
                ASSERT_TRUE (waitForBlocks()) << "blocks stalled";
            }
            pumpMessages (2 * JuceDemoPluginAudioProcessor::pollIntervalMs);
            processor->editorBeingDeleted (editor.get()), editor.reset();
            // Detached and attached again; then replaced, while playing or after a delete.
            round == 0 ? holder->stopPlayback() : bufferSize % 2 == 0 ? holder->createPlugin()
                                                                      : holder->deletePlugin();
            ASSERT_TRUE (waitForBlocks());
            if (holder->processor == nullptr)
                holder->createPlugin();
            holder->startPlayback();
            ASSERT_TRUE (waitForBlocks());
        }
        stop = true, audio.join(), holder->sizeEnforcer.audioDeviceStopped();
        EXPECT_EQ (allocations.load(), 0) << "the audio thread allocated, buffer " << bufferSize;
        EXPECT_EQ (nonFiniteChannels.load(), 0) << "buffer " << bufferSize;
    }
}
