#include "JackTestClient.h"

#include <jack/jack.h>

#include <cmath>

namespace tarrowby::test
{
JackTestClient::JackTestClient()
{
    for (auto& l : levels) l = 0.0f;
    for (auto& p : peaks)  p = 0.0f;

    jack_status_t status {};
    client = jack_client_open ("tarrowby-probe", JackNoStartServer, &status);

    if (client == nullptr)
        return;

    for (int k = 0; k < numChannels; ++k)
    {
        playPorts[(size_t) k] = jack_port_register (client, ("play_" + juce::String (k + 1)).toRawUTF8(),
                                                    JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        recordPorts[(size_t) k] = jack_port_register (client, ("rec_" + juce::String (k + 1)).toRawUTF8(),
                                                      JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }

    jack_set_process_callback (client, process, this);

    if (jack_activate (client) != 0)
    {
        jack_client_close (client);
        client = nullptr;
    }
}

JackTestClient::~JackTestClient()
{
    if (client != nullptr)
    {
        jack_deactivate (client);
        jack_client_close (client);
    }
}

juce::StringArray JackTestClient::getPorts (const juce::String& pattern, bool inputs) const
{
    juce::StringArray names;

    if (client == nullptr)
        return names;

    if (auto** ports = jack_get_ports (client, pattern.toRawUTF8(), JACK_DEFAULT_AUDIO_TYPE,
                                       inputs ? JackPortIsInput : JackPortIsOutput))
    {
        for (auto** p = ports; *p != nullptr; ++p)
            names.add (juce::String::fromUTF8 (*p));

        jack_free (ports);
    }

    return names;
}

bool JackTestClient::connect (const juce::String& inputPrefix, const juce::String& outputPrefix)
{
    if (client == nullptr)
        return false;

    bool ok = true;

    for (int k = 0; k < numChannels; ++k)
    {
        const auto n = juce::String (k + 1);
        ok = jack_connect (client, jack_port_name (playPorts[(size_t) k]), (inputPrefix + n).toRawUTF8()) == 0 && ok;
        ok = jack_connect (client, (outputPrefix + n).toRawUTF8(), jack_port_name (recordPorts[(size_t) k])) == 0 && ok;
    }

    return ok;
}

void JackTestClient::setLevel (int channel, float level) noexcept
{
    levels[(size_t) channel] = level;
}

float JackTestClient::getPeak (int channel) const noexcept
{
    return peaks[(size_t) channel];
}

void JackTestClient::resetPeaks() noexcept
{
    resetRequested = true;
}

int JackTestClient::process (unsigned int numFrames, void* arg)
{
    auto& self = *static_cast<JackTestClient*> (arg);
    const auto reset = self.resetRequested.exchange (false);

    for (size_t k = 0; k < numChannels; ++k)
    {
        auto* out = static_cast<float*> (jack_port_get_buffer (self.playPorts[k], numFrames));
        const auto level = self.levels[k].load();

        for (unsigned int i = 0; i < numFrames; ++i)
            out[i] = level;

        const auto* in = static_cast<const float*> (jack_port_get_buffer (self.recordPorts[k], numFrames));
        auto peak = reset ? 0.0f : self.peaks[k].load();

        for (unsigned int i = 0; i < numFrames; ++i)
            peak = std::max (peak, std::abs (in[i]));

        self.peaks[k] = peak;
    }

    ++self.cycles;
    return 0;
}
} // namespace tarrowby::test
