#pragma once

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include <jack/jack.h>

namespace tarrowby::e2e
{
/** One sine tone fed to one channel (0-based), in Hz and linear peak amplitude. */
struct Tone
{
    int channel = 0;
    double frequency = 0.0, amplitude = 0.0;
};

/**
    A JACK client of the tests' own: feeds sine tones to its 16 outputs "out_N" and
    records its 16 inputs "in_N" into a ring buffer, counting the server's xruns.
    The process callback runs on JACK's thread and never allocates or locks.
*/
class JackProbe
{
public:
    static constexpr int numChannels = 16;

    /** Connects to the named server; check isOpen(). */
    JackProbe (const std::string& serverName, const std::string& clientName);
    ~JackProbe();

    bool isOpen() const noexcept                { return client != nullptr; }
    int getSampleRate() const noexcept          { return sampleRate; }
    int getXrunCount() const noexcept           { return xruns.load(); }

    /** Sets the tones; call before activate(). */
    void setTones (const std::vector<Tone>& newTones);
    bool activate()                             { return client != nullptr && jack_activate (client) == 0; }

    /** Connects out_k to <app>:in_k and <app>:out_k to in_k for all 16 channels. */
    bool connectTo (const std::string& appClientName);

    /** Names of a client's input or output ports. */
    std::vector<std::string> getPortNames (const std::string& clientName, bool inputs) const;

    /** True when the port exists and has at least one connection. */
    bool isPortConnected (const std::string& portName) const;

    /** Waits for numFrames new frames and returns them, per channel; empty on time-out. */
    std::vector<std::vector<float>> capture (int numFrames, int timeoutMs);

private:
    void process (jack_nframes_t numFrames);

    jack_client_t* client = nullptr;
    int sampleRate = 48000;
    std::array<jack_port_t*, numChannels> outputs {}, inputs {};

    std::vector<Tone> tones;
    std::vector<double> phases, increments;

    static constexpr size_t ringFrames = 1 << 18;
    std::vector<std::vector<float>> ring;
    std::atomic<uint64_t> framesWritten { 0 };
    std::atomic<int> xruns { 0 };
};
} // namespace tarrowby::e2e
