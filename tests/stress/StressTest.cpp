// Device blocks run through the holder's chain on an audio thread of their own while
// the message thread does everything it may do meanwhile. Also built with ThreadSanitizer.
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
    juce::Array<juce::StandalonePluginHolder::PluginInOuts> channels;
    channels.add ({ 16, 16 });
    juce::StandalonePluginHolder holder (nullptr, false, {}, nullptr, channels, false);
    holder.deviceManager.closeAudioDevice();

    juce::MemoryBlock states[2];
    holder.processor->getStateInformation (states[0]);
    holder.processor->getParameters()[0]->setValueNotifyingHost (0.3f);
    holder.processor->getStateInformation (states[1]);

    struct Shape
    {
        int ins, outs, bufferSize;
        double rate;
    };
    const Shape shapes[] = {
        { 16, 16, 256, 48000.0 },
        { 16, 16, 7, 44100.0 },
        { 2, 2, 1021, 96000.0 },
        { 0, 16, 4096, 192000.0 },
        { 16, 16, 1, 22050.0 },
        { 1, 3, 512, 48000.0 },
    };
    juce::Random random (17);

    for (const auto& shape : shapes)
    {
        FakeDevice device (shape.ins, shape.outs, shape.bufferSize, shape.rate);
        holder.sizeEnforcer.audioDeviceAboutToStart (&device);

        // Noise, huge values, denormals and silence, and exactly as many channel pointers as the device has.
        juce::AudioBuffer<float> inputs (juce::jmax (1, shape.ins), 4099), outputs (shape.outs, 4099);

        for (int c = 0; c < inputs.getNumChannels(); ++c)
            for (int i = 0; i < inputs.getNumSamples(); ++i)
            {
                const float kinds[] = { 2.0f * random.nextFloat() - 1.0f, 1.0e30f, 1.0e-39f, 0.0f };
                inputs.setSample (c, i, kinds[(c + i / 97) % 4]);
            }

        std::vector<const float*> ins (inputs.getArrayOfReadPointers(), inputs.getArrayOfReadPointers() + shape.ins);
        std::vector<float*> outs (outputs.getArrayOfWritePointers(), outputs.getArrayOfWritePointers() + shape.outs);
        std::atomic<bool> stop { false };
        std::atomic<long long> blocks { 0 }, allocations { 0 }, nonFiniteChannels { 0 };

        std::thread audio ([&] {
            ScopedAllocationCounter counter;
            const int sizes[] = { shape.bufferSize, 1000, 7, 4099, 1, 0, shape.bufferSize + 1 };

            for (long long b = 0; ! stop; ++b)
            {
                // Now and then a block that carries fewer channels than the device reported.
                const auto n = sizes[b % 7];
                const auto narrow = b % 5 == 4;
                const auto numOuts = narrow ? 1 : shape.outs;
                holder.sizeEnforcer.audioDeviceIOCallbackWithContext (ins.data(), narrow ? juce::jmin (1, shape.ins) : shape.ins,
                                                                      outs.data(), numOuts, n, {});

                for (auto* out = outs.data(); out < outs.data() + numOuts; ++out)
                    if (! std::all_of (*out, *out + n, [] (float s) { return std::isfinite (s); }))
                        ++nonFiniteChannels;

                ++blocks;
            }

            allocations = counter.getCount();
        });

        const auto waitForBlocks = [&] (int count) {
            const auto target = blocks + count;
            return pumpMessagesUntil ([&] { return blocks >= target; }, 5000);
        };

        for (int round = 0; round < 2; ++round)
        {
            auto* processor = dynamic_cast<JuceDemoPluginAudioProcessor*> (holder.processor.get());
            ASSERT_NE (processor, nullptr);
            std::unique_ptr<juce::AudioProcessorEditor> editor (processor->createEditorIfNeeded());
            auto* e = dynamic_cast<JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor*> (editor.get());
            ASSERT_NE (e, nullptr);

            for (int i = 0; i < 8; ++i)
            {
                for (auto* parameter : processor->getParameters())
                    parameter->setValueNotifyingHost (random.nextBool() ? (float) random.nextInt (2) : random.nextFloat());

                // The poll copies these to the audio thread.
                for (auto* row : { &e->muteButtons, &e->soloButtons, &e->bassButtons })
                    for (auto& button : *row)
                        if (button != nullptr && random.nextInt (4) == 0)
                            button->setToggleState (! button->getToggleState(), juce::sendNotificationSync);

                for (auto* button : { e->muteBypassButton.get(), e->soloBypassButton.get(), e->bassBypassButton.get() })
                    button->setToggleState (random.nextBool(), juce::sendNotificationSync);

                holder.shouldMuteInput = random.nextBool();
                const auto& state = states[(size_t) random.nextInt (2)];
                processor->setStateInformation (state.getData(), (int) state.getSize());
                ASSERT_TRUE (waitForBlocks (3)) << "blocks stalled";
            }

            pumpMessages (2 * JuceDemoPluginAudioProcessor::pollIntervalMs);
            processor->editorBeingDeleted (editor.get());
            editor.reset();

            // Detached and attached again; then replaced, while playing or after a delete.
            if (round == 0)
                holder.stopPlayback();
            else if (shape.bufferSize % 2 == 0)
                holder.createPlugin();
            else
                holder.deletePlugin();

            ASSERT_TRUE (waitForBlocks (3));

            if (holder.processor == nullptr)
                holder.createPlugin();

            holder.startPlayback();
            ASSERT_TRUE (waitForBlocks (3));
        }

        stop = true;
        audio.join();
        holder.sizeEnforcer.audioDeviceStopped();
        EXPECT_EQ (allocations.load(), 0) << "the audio thread allocated, buffer " << shape.bufferSize;
        EXPECT_EQ (nonFiniteChannels.load(), 0) << "buffer " << shape.bufferSize;
    }
}
