#include "JackTestClient.h"

#include <jack/jack.h>

#include <cmath>

namespace tarrowby::test
{
JackTestClient::JackTestClient()
{
    jack_status_t status {};
    client = jack_client_open ("tarrowby-probe", JackNoStartServer, &status);

    if (client == nullptr)
        return;

    for (size_t k = 0; k < 16; ++k)
    {
        const auto n = juce::String (k + 1);
        playPorts[k] = jack_port_register (client, ("play_" + n).toRawUTF8(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        recordPorts[k] = jack_port_register (client, ("rec_" + n).toRawUTF8(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
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

    if (auto** ports = client != nullptr ? jack_get_ports (client, pattern.toRawUTF8(), JACK_DEFAULT_AUDIO_TYPE,
                                                           inputs ? JackPortIsInput : JackPortIsOutput) : nullptr)
    {
        for (auto** p = ports; *p != nullptr; ++p)
            names.add (juce::String::fromUTF8 (*p));

        jack_free (ports);
    }

    return names;
}

bool JackTestClient::connect (const juce::String& inputPrefix, const juce::String& outputPrefix)
{
    bool ok = client != nullptr;

    for (size_t k = 0; ok && k < 16; ++k)
    {
        const auto n = juce::String (k + 1);
        ok = jack_connect (client, jack_port_name (playPorts[k]), (inputPrefix + n).toRawUTF8()) == 0
          && jack_connect (client, (outputPrefix + n).toRawUTF8(), jack_port_name (recordPorts[k])) == 0;
    }

    return ok;
}

int JackTestClient::process (unsigned int numFrames, void* arg)
{
    auto& self = *static_cast<JackTestClient*> (arg);

    for (size_t k = 0; k < 16; ++k)
    {
        auto* out = static_cast<float*> (jack_port_get_buffer (self.playPorts[k], numFrames));
        std::fill (out, out + numFrames, self.levels[k].load());

        const auto* in = static_cast<const float*> (jack_port_get_buffer (self.recordPorts[k], numFrames));
        auto peak = self.peaks[k].load();

        for (unsigned int i = 0; i < numFrames; ++i)
            peak = std::max (peak, std::abs (in[i]));

        self.peaks[k] = peak;
    }

    ++self.cycles;
    return 0;
}
} // namespace tarrowby::test
