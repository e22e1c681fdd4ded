#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <atomic>

typedef struct _jack_client jack_client_t;
typedef struct _jack_port jack_port_t;

namespace tarrowby::test
{
/**
    A JACK client of the test's own on the process's default server: it plays a
    constant level per channel from its 16 "play_N" ports and keeps the peak of
    what reaches its 16 "rec_N" ports. Set up on the message thread; levels and
    peaks cross to JACK's thread as atomics.
*/
class JackTestClient
{
public:
    JackTestClient();
    ~JackTestClient();

    bool isOpen() const noexcept    { return client != nullptr; }

    /** Full names of the ports matching a JACK port-name pattern, e.g. "^system:". */
    juce::StringArray getPorts (const juce::String& pattern, bool inputs) const;

    /** play_k -> inputPrefix + (k + 1) and outputPrefix + (k + 1) -> rec_k, for every channel. */
    bool connect (const juce::String& inputPrefix, const juce::String& outputPrefix);

    std::array<std::atomic<float>, 16> levels {}, peaks {};
    std::atomic<int> cycles { 0 };

private:
    static int process (unsigned int numFrames, void* arg);

    jack_client_t* client = nullptr;
    std::array<jack_port_t*, 16> playPorts {}, recordPorts {};
};
} // namespace tarrowby::test
