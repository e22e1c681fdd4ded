#include "JackProbe.h"

#include "Processes.h"

#include <cmath>

namespace tarrowby::e2e
{
JackProbe::JackProbe (const std::string& serverName, const std::string& clientName)
{
    jack_status_t status {};
    client = jack_client_open (clientName.c_str(), static_cast<jack_options_t> (JackNoStartServer | JackServerName | JackUseExactName),
                               &status, serverName.c_str());

    if (client == nullptr)
        return;

    sampleRate = static_cast<int> (jack_get_sample_rate (client));
    ring.assign (numChannels, std::vector<float> (ringFrames, 0.0f));

    for (size_t c = 0; c < numChannels; ++c)
    {
        const auto n = std::to_string (c + 1);
        outputs[c] = jack_port_register (client, ("out_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        inputs[c] = jack_port_register (client, ("in_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }

    jack_set_process_callback (client, [] (jack_nframes_t numFrames, void* self) { static_cast<JackProbe*> (self)->process (numFrames); return 0; }, this);
    jack_set_xrun_callback (client, [] (void* self) { ++static_cast<JackProbe*> (self)->xruns; return 0; }, this);
}

JackProbe::~JackProbe()
{
    if (client != nullptr)
    {
        jack_deactivate (client);
        jack_client_close (client);
    }
}

void JackProbe::setTones (const std::vector<Tone>& newTones)
{
    tones = newTones;
    phases.assign (tones.size(), 0.0);
    increments.clear();

    for (const auto& t : tones)
        increments.push_back (2.0 * M_PI * t.frequency / sampleRate);
}

bool JackProbe::connectTo (const std::string& appClientName)
{
    auto ok = true;

    for (size_t c = 0; c < numChannels; ++c)
    {
        const auto n = std::to_string (c + 1);

        for (const auto result : { jack_connect (client, jack_port_name (outputs[c]), (appClientName + ":in_" + n).c_str()),
                                   jack_connect (client, (appClientName + ":out_" + n).c_str(), jack_port_name (inputs[c])) })
            ok = ok && (result == 0 || result == EEXIST);
    }

    return ok;
}

std::vector<std::string> JackProbe::getPortNames (const std::string& clientName, bool wantInputs) const
{
    std::vector<std::string> names;

    if (auto** ports = jack_get_ports (client, ("^" + clientName + ":").c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                       wantInputs ? JackPortIsInput : JackPortIsOutput))
    {
        for (auto** p = ports; *p != nullptr; ++p)
            names.emplace_back (*p);

        jack_free (ports);
    }

    return names;
}

bool JackProbe::isPortConnected (const std::string& portName) const
{
    auto* port = jack_port_by_name (client, portName.c_str());
    return port != nullptr && jack_port_connected (port) > 0;
}

std::vector<std::vector<float>> JackProbe::capture (int numFrames, int timeoutMs)
{
    const auto start = framesWritten.load();

    if (numFrames <= 0 || (size_t) numFrames > ringFrames / 2
        || ! waitUntil ([&] { return framesWritten.load() >= start + (uint64_t) numFrames; }, timeoutMs, 5))
        return {};

    std::vector<std::vector<float>> result (numChannels, std::vector<float> ((size_t) numFrames));

    for (size_t c = 0; c < numChannels; ++c)
        for (size_t i = 0; i < (size_t) numFrames; ++i)
            result[c][i] = ring[c][(start + i) % ringFrames];

    return result;
}

void JackProbe::process (jack_nframes_t numFrames)
{
    std::array<float*, numChannels> out {};

    for (size_t c = 0; c < numChannels; ++c)
    {
        out[c] = static_cast<float*> (jack_port_get_buffer (outputs[c], numFrames));
        std::fill (out[c], out[c] + numFrames, 0.0f);
    }

    for (size_t t = 0; t < tones.size(); ++t)
    {
        for (jack_nframes_t i = 0; i < numFrames; ++i)
        {
            out[(size_t) tones[t].channel][i] += static_cast<float> (tones[t].amplitude * std::sin (phases[t]));
            phases[t] = std::fmod (phases[t] + increments[t], 2.0 * M_PI);
        }
    }

    const auto base = framesWritten.load (std::memory_order_relaxed);

    for (size_t c = 0; c < numChannels; ++c)
    {
        const auto* in = static_cast<const float*> (jack_port_get_buffer (inputs[c], numFrames));

        for (jack_nframes_t i = 0; i < numFrames; ++i)
            ring[c][(base + i) % ringFrames] = in[i];
    }

    framesWritten.store (base + numFrames, std::memory_order_release);
}
} // namespace tarrowby::e2e
