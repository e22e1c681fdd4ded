// Feeds a tone to each of the application's 16 inputs on a JACK server, listens
// to its 16 outputs for a while, and reports the server's xruns.
//
//   tarrowby_signal SERVER SECONDS [APP_CLIENT]

#include "../Analysis.h"
#include "../JackProbe.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

int main (int argc, char** argv)
{
    using namespace tarrowby::e2e;

    if (argc < 3)
    {
        std::fprintf (stderr, "usage: %s SERVER SECONDS [APP_CLIENT]\n", argv[0]);
        return 2;
    }

    const std::string server = argv[1];
    const auto seconds = std::atoi (argv[2]);
    const std::string appClient = argc > 3 ? argv[3] : "JUCEJack";

    JackProbe probe (server, "tarrowby-signal");

    if (! probe.isOpen())
    {
        std::fprintf (stderr, "cannot connect to JACK server %s\n", server.c_str());
        return 1;
    }

    std::vector<Tone> tones;

    for (int c = 0; c < JackProbe::numChannels; ++c)
    {
        tones.push_back ({ c, 1000.0 + 200.0 * c, 0.1 });
        tones.push_back ({ c, 60.0, 0.1 });
    }

    probe.setTones (tones);

    if (! probe.activate())
        return 1;

    const auto waitEnd = std::chrono::steady_clock::now() + std::chrono::seconds (20);

    while (probe.getPortNames (appClient, true).size() < JackProbe::numChannels)
    {
        if (std::chrono::steady_clock::now() > waitEnd)
        {
            std::fprintf (stderr, "the application's JACK ports did not appear\n");
            return 1;
        }

        std::this_thread::sleep_for (std::chrono::milliseconds (50));
    }

    if (! probe.connectTo (appClient))
    {
        std::fprintf (stderr, "could not connect to %s\n", appClient.c_str());
        return 1;
    }

    const auto xrunsAtStart = probe.getXrunCount();
    double quietest = 1.0e9;

    for (int s = 0; s < seconds; ++s)
    {
        const auto capture = probe.capture (probe.getSampleRate(), 5000);

        if (capture.empty())
        {
            std::fprintf (stderr, "the server stopped running\n");
            return 1;
        }

        for (int c = 0; c < 12; ++c)
            quietest = std::min (quietest, peakLevel (capture[(size_t) c]));
    }

    std::printf ("xruns: %d\n", probe.getXrunCount() - xrunsAtStart);
    std::printf ("lowest output peak on channels 1-12: %.4f\n", quietest);
    return 0;
}
