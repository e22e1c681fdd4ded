#pragma once

#include <array>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include <jack/jack.h>

namespace tarrowby::e2e
{
/** One sine tone fed to one channel. */
struct Tone
{
    int channel = 0;        // 0-based
    double frequency = 0.0; // Hz
    double amplitude = 0.0; // linear peak
};

/**
    A JACK client of the tests' own: feeds sine tones to 16 outputs and records
    its 16 inputs into a ring buffer, counting the server's xruns.

    The process callback runs on JACK's thread and never allocates or locks.
*/
class JackProbe
{
public:
    static constexpr int numChannels = 16;

    /** Connects to the named server; check isOpen(). */
    JackProbe (const std::string& serverName, const std::string& clientName);
    ~JackProbe();

    bool isOpen() const noexcept { return client != nullptr; }

    /** Sets the tones before activate(). */
    void setTones (const std::vector<Tone>& newTones);

    bool activate();

    /** Connects out_k to <app>:in_k and <app>:out_k to in_k for all 16 channels. */
    bool connectTo (const std::string& appClientName);

    /** Names of the ports of a client, for inputs or outputs. */
    std::vector<std::string> getPortNames (const std::string& clientName, bool inputs) const;

    /** True when the port exists and has at least one connection. */
    bool isPortConnected (const std::string& portName) const;

    /** Waits for numFrames new frames and returns them, per channel; empty on time-out. */
    std::vector<std::vector<float>> capture (int numFrames, int timeoutMs);

    int getSampleRate() const noexcept { return sampleRate; }
    int getXrunCount() const noexcept { return xruns.load(); }

private:
    static int processCallback (jack_nframes_t numFrames, void* self);
    static int xrunCallback (void* self);
    void process (jack_nframes_t numFrames);

    jack_client_t* client = nullptr;
    int sampleRate = 48000;
    std::array<jack_port_t*, numChannels> outputs {};
    std::array<jack_port_t*, numChannels> inputs {};

    std::vector<Tone> tones;
    std::vector<double> phases, increments;

    static constexpr size_t ringFrames = 1 << 18;
    std::vector<std::vector<float>> ring;
    std::atomic<uint64_t> framesWritten { 0 };
    std::atomic<int> xruns { 0 };
};
} // namespace tarrowby::e2e
