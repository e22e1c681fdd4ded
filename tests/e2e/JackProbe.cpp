#include "JackProbe.h"

#include <chrono>
#include <cmath>
#include <thread>

namespace tarrowby::e2e
{
JackProbe::JackProbe (const std::string& serverName, const std::string& clientName)
{
    jack_status_t status {};
    client = jack_client_open (clientName.c_str(),
                               static_cast<jack_options_t> (JackNoStartServer | JackServerName | JackUseExactName),
                               &status,
                               serverName.c_str());

    if (client == nullptr)
        return;

    sampleRate = static_cast<int> (jack_get_sample_rate (client));
    ring.assign (numChannels, std::vector<float> (ringFrames, 0.0f));

    for (int c = 0; c < numChannels; ++c)
    {
        const auto n = std::to_string (c + 1);
        outputs[(size_t) c] = jack_port_register (client, ("out_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput, 0);
        inputs[(size_t) c] = jack_port_register (client, ("in_" + n).c_str(), JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    }

    jack_set_process_callback (client, processCallback, this);
    jack_set_xrun_callback (client, xrunCallback, this);
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

bool JackProbe::activate()
{
    return client != nullptr && jack_activate (client) == 0;
}

bool JackProbe::connectTo (const std::string& appClientName)
{
    auto ok = true;

    for (int c = 0; c < numChannels; ++c)
    {
        const auto n = std::to_string (c + 1);
        const auto appIn = appClientName + ":in_" + n;
        const auto appOut = appClientName + ":out_" + n;

        const auto r1 = jack_connect (client, jack_port_name (outputs[(size_t) c]), appIn.c_str());
        const auto r2 = jack_connect (client, appOut.c_str(), jack_port_name (inputs[(size_t) c]));

        ok = ok && (r1 == 0 || r1 == EEXIST) && (r2 == 0 || r2 == EEXIST);
    }

    return ok;
}

std::vector<std::string> JackProbe::getPortNames (const std::string& clientName, bool wantInputs) const
{
    std::vector<std::string> names;
    const auto pattern = "^" + clientName + ":";

    if (auto** ports = jack_get_ports (client, pattern.c_str(), JACK_DEFAULT_AUDIO_TYPE,
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
    if (numFrames <= 0 || (size_t) numFrames > ringFrames / 2)
        return {};

    const auto start = framesWritten.load();
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (framesWritten.load() < start + (uint64_t) numFrames)
    {
        if (std::chrono::steady_clock::now() >= end)
            return {};

        std::this_thread::sleep_for (std::chrono::milliseconds (5));
    }

    std::vector<std::vector<float>> result (numChannels, std::vector<float> ((size_t) numFrames));

    for (int c = 0; c < numChannels; ++c)
        for (int i = 0; i < numFrames; ++i)
            result[(size_t) c][(size_t) i] = ring[(size_t) c][(start + (uint64_t) i) % ringFrames];

    return result;
}

int JackProbe::processCallback (jack_nframes_t numFrames, void* self)
{
    static_cast<JackProbe*> (self)->process (numFrames);
    return 0;
}

int JackProbe::xrunCallback (void* self)
{
    static_cast<JackProbe*> (self)->xruns.fetch_add (1);
    return 0;
}

void JackProbe::process (jack_nframes_t numFrames)
{
    std::array<float*, numChannels> out {};

    for (int c = 0; c < numChannels; ++c)
    {
        out[(size_t) c] = static_cast<float*> (jack_port_get_buffer (outputs[(size_t) c], numFrames));
        std::fill (out[(size_t) c], out[(size_t) c] + numFrames, 0.0f);
    }

    for (size_t t = 0; t < tones.size(); ++t)
    {
        auto* dest = out[(size_t) tones[t].channel];
        auto phase = phases[t];

        for (jack_nframes_t i = 0; i < numFrames; ++i)
        {
            dest[i] += static_cast<float> (tones[t].amplitude * std::sin (phase));
            phase += increments[t];

            if (phase > 2.0 * M_PI)
                phase -= 2.0 * M_PI;
        }

        phases[t] = phase;
    }

    const auto base = framesWritten.load (std::memory_order_relaxed);

    for (int c = 0; c < numChannels; ++c)
    {
        const auto* in = static_cast<const float*> (jack_port_get_buffer (inputs[(size_t) c], numFrames));
        auto& channelRing = ring[(size_t) c];

        for (jack_nframes_t i = 0; i < numFrames; ++i)
            channelRing[(base + i) % ringFrames] = in[i];
    }

    framesWritten.store (base + numFrames, std::memory_order_release);
}
} // namespace tarrowby::e2e
