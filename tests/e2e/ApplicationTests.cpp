// End-to-end tests: each one starts the real application on its own X display
// and its own JACK dummy server, with its own HOME, and works it as a user would.

#include "Analysis.h"
#include "JackProbe.h"
#include "Session.h"

#include <gtest/gtest.h>

#include <juce_core/juce_core.h>

#include <chrono>
#include <csignal>
#include <cmath>
#include <thread>

namespace tarrowby::e2e
{
namespace
{
constexpr int startTimeoutMs = 20000;
constexpr int quitTimeoutMs = 15000;

struct Pt
{
    int x, y;
};

// The editor's size and where its controls are, in its own coordinates.
constexpr int editorWidth = 472;
constexpr int editorHeight = 310;
constexpr int barHeight = 30;
constexpr int titleBarHeight = 26;
const Pt dimButtonCentre { 234, 247 };
const Pt dimButtonFill { 196, 247 };
const Pt firstMuteSwitchCentre { 47, 20 };

constexpr uint32_t barColour = 0xfafad2;       // light goldenrod yellow
constexpr uint32_t barEdgeColour = 0xb8860b;   // dark goldenrod
constexpr uint32_t editorBackground = 0x808080;
constexpr uint32_t buttonOnColour = 0x87cefa;  // light sky blue, drawn more or less saturated with focus
constexpr int buttonTolerance = 45;

const std::string appClient = "JUCEJack";
const std::string mainWindowName = "Tarrowby";
const std::string settingsDialogName = "Audio/MIDI Settings";

/** Where the window's parts lie on the screen. */
struct WindowLayout
{
    explicit WindowLayout (const WindowGeometry& g)
        : window (g), border ((g.width - editorWidth) / 2)
    {
    }

    Pt content (int x, int y) const
    {
        return { window.x + border + x, window.y + border + titleBarHeight + y };
    }

    Pt editor (Pt p, bool barShown) const
    {
        return content (p.x, p.y + (barShown ? barHeight : 0));
    }

    Pt closeButton() const { return { window.x + window.width - border - 16, window.y + border + 13 }; }
    Pt optionsButton() const { return { window.x + 38, window.y + 15 }; }
    Pt settingsButton() const { return content (editorWidth - 75 + 35, 15); }

    WindowGeometry window;
    int border;
};

void clickAt (Session& s, Pt p) { s.click (p.x, p.y); }

/** Starts the application and waits for its main window. */
std::optional<WindowGeometry> startAndWaitForMainWindow (Session& s)
{
    if (! s.startApp())
        return std::nullopt;

    return s.waitForWindow (mainWindowName, startTimeoutMs);
}

/** Clicks the close button and expects the application to end with status 0. */
void closeAndExpectCleanExit (Session& s, const WindowGeometry& window)
{
    clickAt (s, WindowLayout (window).closeButton());
    const auto status = s.waitForAppExit (quitTimeoutMs);
    ASSERT_TRUE (status.has_value()) << "the application did not quit\n" << s.getAppLog();
    EXPECT_EQ (*status, 0) << s.getAppLog();
}

/** The server's ports and connections, for failure messages. */
std::string describeJackGraph (Session& s)
{
    return runCommand ({ "jack_lsp", "-c", "-s", s.getJackServerName() }, s.getEnvironment()).output;
}

/** Waits until the application's JACK client has 16 inputs and 16 outputs, all connected to the server's ports. */
bool waitForAppPorts (JackProbe& probe, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (std::chrono::steady_clock::now() < end)
    {
        const auto ins = probe.getPortNames (appClient, true);
        const auto outs = probe.getPortNames (appClient, false);
        auto allConnected = ins.size() == 16 && outs.size() == 16;

        for (size_t i = 0; allConnected && i < 16; ++i)
            allConnected = probe.isPortConnected (ins[i]) && probe.isPortConnected (outs[i]);

        if (allConnected)
            return true;

        std::this_thread::sleep_for (std::chrono::milliseconds (50));
    }

    return false;
}

//==============================================================================
// The test signal: a high tone of its own on every channel, and a common low
// tone on the bass-managed channels 5 to 12.
constexpr double sampleRate = 48000.0;
constexpr double highAmplitude = 0.1;
constexpr double lowFrequency = 60.0;
constexpr double lowAmplitude = 0.2;
constexpr double crossoverHz = 80.0;

double highFrequency (int channel) { return 1000.0 + 200.0 * channel; }
bool isBassManaged (int channel) { return channel >= 4 && channel <= 11; }
bool isMutedByDefault (int channel) { return channel >= 12; }

std::vector<Tone> makeTestTones()
{
    std::vector<Tone> tones;

    for (int c = 0; c < JackProbe::numChannels; ++c)
    {
        tones.push_back ({ c, highFrequency (c), highAmplitude });

        if (isBassManaged (c))
            tones.push_back ({ c, lowFrequency, lowAmplitude });
    }

    return tones;
}

struct ExpectedTone
{
    double frequency, amplitude;
};

/** What each output should hold at the given master gain, from the crossover's response. */
std::vector<std::vector<ExpectedTone>> expectedOutputs (double gain)
{
    const auto crossover = makeCrossover (crossoverHz, sampleRate);
    const auto hp = [&] (double f) { return crossover.highPass.magnitudeAt (f, sampleRate); };
    const auto lp = [&] (double f) { return crossover.lowPass.magnitudeAt (f, sampleRate); };

    std::vector<std::vector<ExpectedTone>> expected (JackProbe::numChannels);

    for (int c = 0; c < JackProbe::numChannels; ++c)
    {
        if (isMutedByDefault (c))
            continue;

        if (isBassManaged (c))
        {
            expected[(size_t) c].push_back ({ highFrequency (c), gain * highAmplitude * hp (highFrequency (c)) });
            expected[(size_t) c].push_back ({ lowFrequency, gain * lowAmplitude * hp (lowFrequency) });
        }
        else
        {
            expected[(size_t) c].push_back ({ highFrequency (c), gain * highAmplitude });
            expected[(size_t) c].push_back ({ lowFrequency, 0.0 });
        }
    }

    // Channel 4 also carries the low-passed average of the eight high-passed channels;
    // they share the low tone in phase, so its average is the tone itself.
    expected[3][1].amplitude = gain * lowAmplitude * hp (lowFrequency) * lp (lowFrequency);

    return expected;
}

/** Compares a capture with the expected tones; returns a description of every mismatch. */
std::string compareWithExpected (const std::vector<std::vector<float>>& capture, double gain, double relativeTolerance = 0.03)
{
    const auto expected = expectedOutputs (gain);
    std::string problems;

    for (int c = 0; c < JackProbe::numChannels; ++c)
    {
        const auto& signal = capture[(size_t) c];

        if (isMutedByDefault (c))
        {
            const auto peak = peakLevel (signal);

            if (peak > 1.0e-6)
                problems += "channel " + std::to_string (c + 1) + " should be muted but peaks at " + std::to_string (peak) + "\n";

            continue;
        }

        for (const auto& tone : expected[(size_t) c])
        {
            const auto measured = toneAmplitude (signal, tone.frequency, sampleRate);
            const auto tolerance = relativeTolerance * tone.amplitude + 1.0e-4 * gain;

            if (std::abs (measured - tone.amplitude) > tolerance)
                problems += "channel " + std::to_string (c + 1) + " at " + std::to_string (tone.frequency)
                            + " Hz: expected " + std::to_string (tone.amplitude) + ", measured " + std::to_string (measured) + "\n";
        }
    }

    return problems;
}

/** Captures a window during which the server reported no xrun (a missed cycle would leave a gap); empty on failure. */
std::vector<std::vector<float>> captureWithoutXruns (JackProbe& probe, int numFrames)
{
    for (int attempt = 0; attempt < 10; ++attempt)
    {
        const auto xrunsBefore = probe.getXrunCount();
        auto capture = probe.capture (numFrames, 5000);

        if (capture.empty() || probe.getXrunCount() == xrunsBefore)
            return capture;
    }

    return {};
}

/** Captures short windows until the predicate accepts one, or the time runs out. */
bool waitForCapture (JackProbe& probe, const std::function<bool (const std::vector<std::vector<float>>&)>& predicate, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds (timeoutMs);

    while (std::chrono::steady_clock::now() < end)
    {
        const auto capture = captureWithoutXruns (probe, 4800);

        if (! capture.empty() && predicate (capture))
            return true;
    }

    return false;
}

double decibelsToGain (double dB) { return std::pow (10.0, dB / 20.0); }
} // namespace

//==============================================================================
TEST (Application, firstStartShowsCentredWindowWithMutedInputBarAndQuitsCleanly)
{
    Session s;
    ASSERT_TRUE (s.ready()) << s.error();
    const auto window = startAndWaitForMainWindow (s);
    ASSERT_TRUE (window.has_value()) << s.getAppLog();

    const WindowLayout layout (*window);
    EXPECT_EQ (window->width, editorWidth + 2 * layout.border);
    EXPECT_EQ (window->height, editorHeight + barHeight + titleBarHeight + 2 * layout.border);
    EXPECT_EQ (window->x, 640 - window->width / 2);
    EXPECT_EQ (window->y, 400 - window->height / 2);

    const auto barPixel = layout.content (2, 2);
    const auto barEdge = layout.content (2, barHeight - 1);
    EXPECT_TRUE (s.waitForPixel (barPixel.x, barPixel.y, barColour, true, 10000));
    EXPECT_TRUE (s.waitForPixel (barEdge.x, barEdge.y, barEdgeColour, true, 10000));

    JackProbe probe (s.getJackServerName(), "tarrowby-probe");
    ASSERT_TRUE (probe.isOpen());
    EXPECT_TRUE (waitForAppPorts (probe, 10000)) << "the device should run with 16 inputs and 16 outputs";

    closeAndExpectCleanExit (s, *window);

    const auto settings = s.readSettings();

    for (const auto* key : { "windowX", "windowY", "filterState", "audioSetup", "shouldMuteInput" })
        EXPECT_EQ (settings.count (key), 1u) << key;

    EXPECT_EQ (settings.at ("windowX"), std::to_string (window->x));
    EXPECT_EQ (settings.at ("windowY"), std::to_string (window->y));
    EXPECT_EQ (settings.at ("shouldMuteInput"), "1");
    const juce::String audioSetup (settings.at ("audioSetup"));
    EXPECT_TRUE (audioSetup.isEmpty() || audioSetup.startsWith ("<DEVICESETUP")) << audioSetup;

    const auto state = readFilterState (settings.at ("filterState"));
    EXPECT_EQ (state.count ("gain"), 1u);
    EXPECT_EQ (state.count ("dim"), 1u);
}

TEST (Application, processesSixteenChannelsAndFollowsDimAndMuteSwitches)
{
    Session s;
    ASSERT_TRUE (s.ready()) << s.error();

    constexpr double gainDb = -6.0;
    s.writeSettings ({ { "shouldMuteInput", "0" },
                       { "filterState", makeFilterState (gainDb, crossoverHz, false, false) } });
    const auto window = startAndWaitForMainWindow (s);
    ASSERT_TRUE (window.has_value()) << s.getAppLog();
    const WindowLayout layout (*window);
    EXPECT_EQ (window->height, editorHeight + titleBarHeight + 2 * layout.border) << "no bar while input is not muted";

    JackProbe probe (s.getJackServerName(), "tarrowby-probe");
    ASSERT_TRUE (probe.isOpen());
    probe.setTones (makeTestTones());
    ASSERT_TRUE (probe.activate());
    ASSERT_TRUE (waitForAppPorts (probe, 10000)) << describeJackGraph (s) << s.getAppLog();
    ASSERT_TRUE (probe.connectTo (appClient));

    // Let the filters settle, then measure half a second.
    const auto gain = decibelsToGain (gainDb);
    std::string problems = "no capture";

    for (int attempt = 0; attempt < 6 && ! problems.empty(); ++attempt)
    {
        const auto capture = captureWithoutXruns (probe, 24000);
        ASSERT_FALSE (capture.empty());
        problems = compareWithExpected (capture, gain);
    }

    EXPECT_EQ (problems, "");

    // "Dim" lowers every output by 20 dB.
    clickAt (s, layout.editor (dimButtonCentre, false));
    const auto dimmedGain = gain * 0.1;
    EXPECT_TRUE (waitForCapture (probe, [&] (const auto& c)
                                 {
                                     return std::abs (toneAmplitude (c[0], highFrequency (0), sampleRate) - dimmedGain * highAmplitude)
                                            < 0.01 * dimmedGain * highAmplitude;
                                 }, 5000));
    {
        const auto capture = captureWithoutXruns (probe, 24000);
        ASSERT_FALSE (capture.empty());
        EXPECT_EQ (compareWithExpected (capture, dimmedGain), "");
    }

    // The mute switch of channel 1 silences it after the next poll, and nothing else.
    clickAt (s, layout.editor (firstMuteSwitchCentre, false));
    EXPECT_TRUE (waitForCapture (probe, [] (const auto& c) { return peakLevel (c[0]) == 0.0; }, 3000));
    {
        const auto capture = captureWithoutXruns (probe, 4800);
        ASSERT_FALSE (capture.empty());
        EXPECT_EQ (peakLevel (capture[0]), 0.0);
        EXPECT_NEAR (toneAmplitude (capture[1], highFrequency (1), sampleRate), dimmedGain * highAmplitude,
                     0.03 * dimmedGain * highAmplitude);
    }

    closeAndExpectCleanExit (s, *window);
}

TEST (Application, mutingInputInSettingsDialogShowsAndHidesBar)
{
    Session s;
    ASSERT_TRUE (s.ready()) << s.error();
    auto window = startAndWaitForMainWindow (s);
    ASSERT_TRUE (window.has_value()) << s.getAppLog();

    // Keep the main window and the dialog side by side, so both can be seen.
    window = s.moveWindow (window->id, 0, 0);
    ASSERT_TRUE (window.has_value());

    const WindowLayout layout (*window);
    const auto withBar = window->height;
    const auto barPixel = layout.content (2, 2);

    clickAt (s, layout.settingsButton());
    auto dialog = s.waitForWindow (settingsDialogName, 10000);
    ASSERT_TRUE (dialog.has_value()) << "\"Settings...\" should open the settings dialog";

    dialog = s.moveWindow (dialog->id, 600, 0);
    ASSERT_TRUE (dialog.has_value());

    const auto clickMuteToggle = [&] { s.click (dialog->x + 200, dialog->y + 24); };

    clickMuteToggle();
    auto now = s.waitForGeometry (window->id, [&] (const auto& g) { return g.height == withBar - barHeight; }, 5000);
    ASSERT_TRUE (now.has_value());
    EXPECT_EQ (now->height, withBar - barHeight);
    EXPECT_EQ (now->y, window->y) << "the window keeps its place";
    EXPECT_TRUE (s.waitForPixel (barPixel.x, barPixel.y, editorBackground, true, 10000)) << "the editor moves up";

    clickMuteToggle();
    now = s.waitForGeometry (window->id, [&] (const auto& g) { return g.height == withBar; }, 5000);
    ASSERT_TRUE (now.has_value());
    EXPECT_EQ (now->height, withBar);
    EXPECT_TRUE (s.waitForPixel (barPixel.x, barPixel.y, barColour, true, 10000));

    clickMuteToggle();
    now = s.waitForGeometry (window->id, [&] (const auto& g) { return g.height == withBar - barHeight; }, 5000);
    ASSERT_TRUE (now.has_value());
    EXPECT_EQ (now->height, withBar - barHeight);

    s.pressKey ("Escape");
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds (5);

    while (s.isWindowVisible (settingsDialogName) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for (std::chrono::milliseconds (50));

    ASSERT_FALSE (s.isWindowVisible (settingsDialogName)) << "Escape should close the dialog";

    closeAndExpectCleanExit (s, *now);
    EXPECT_EQ (s.readSettings()["shouldMuteInput"], "0");
}

TEST (Application, settingsFullOfGarbageStartWithDefaultsAndQuitCleanly)
{
    Session s;
    ASSERT_TRUE (s.ready()) << s.error();
    s.writeSettings ({ { "audioSetup", "<DEVICESETUP deviceType=\"nonsense" },
                       { "shouldMuteInput", "maybe" },
                       { "filterState", "!!not base64 at all" },
                       { "lastStateFile", "::garbage::" },
                       { "windowX", "left" },
                       { "windowY", "top" } });
    const auto window = startAndWaitForMainWindow (s);
    ASSERT_TRUE (window.has_value()) << s.getAppLog();

    // Unreadable numbers read as 0: the window lands at the screen's corner.
    EXPECT_EQ (window->x, 0);
    EXPECT_EQ (window->y, 0);

    JackProbe probe (s.getJackServerName(), "tarrowby-probe");
    ASSERT_TRUE (probe.isOpen());
    EXPECT_TRUE (waitForAppPorts (probe, 10000)) << "the default device opens instead";

    // The processor keeps its defaults: "Dim" is off.
    const WindowLayout layout (*window);
    const auto barShown = window->height > editorHeight + titleBarHeight + 2 * layout.border;
    const auto dimFill = layout.editor (dimButtonFill, barShown);
    s.moveMouse (window->x + window->width + 50, window->y + window->height + 50);
    EXPECT_TRUE (s.waitForPixel (dimFill.x, dimFill.y, buttonOnColour, false, 10000, buttonTolerance));

    closeAndExpectCleanExit (s, *window);

    const auto settings = s.readSettings();
    const juce::String audioSetup (settings.at ("audioSetup"));
    EXPECT_TRUE (audioSetup.isEmpty() || audioSetup.startsWith ("<DEVICESETUP")) << audioSetup;
    const auto state = readFilterState (settings.at ("filterState"));
    ASSERT_EQ (state.count ("gain"), 1u);
    EXPECT_EQ (state.at ("gain"), 0.0);
    EXPECT_EQ (state.at ("dim"), 0.0);
}

TEST (Application, quitRequestFromTheSystemSavesTheStateAndQuitsCleanly)
{
    Session s;
    ASSERT_TRUE (s.ready()) << s.error();
    s.writeSettings ({ { "filterState", makeFilterState (-12.0, 100.0, true, false) } });
    const auto window = startAndWaitForMainWindow (s);
    ASSERT_TRUE (window.has_value()) << s.getAppLog();

    for (const auto signalNumber : { SIGTERM, SIGINT })
    {
        ASSERT_TRUE (s.signalApp (signalNumber));
        const auto status = s.waitForAppExit (quitTimeoutMs);
        ASSERT_TRUE (status.has_value()) << "the application did not quit\n" << s.getAppLog();
        EXPECT_EQ (*status, 0) << s.getAppLog();

        const auto settings = s.readSettings();

        for (const auto* key : { "windowX", "windowY", "audioSetup", "shouldMuteInput" })
            EXPECT_EQ (settings.count (key), 1u) << key;

        const auto state = readFilterState (settings.at ("filterState"));
        ASSERT_EQ (state.count ("gain"), 1u);
        EXPECT_DOUBLE_EQ (state.at ("gain"), -12.0);
        EXPECT_DOUBLE_EQ (state.at ("dim"), 1.0);

        if (signalNumber == SIGTERM)
            ASSERT_TRUE (startAndWaitForMainWindow (s).has_value()) << s.getAppLog();
    }
}

TEST (Application, unreadableSettingsFileStartsCentred)
{
    Session s;
    ASSERT_TRUE (s.ready()) << s.error();
    s.writeSettingsText ("\x89PNG this is not XML <<<<");
    const auto window = startAndWaitForMainWindow (s);
    ASSERT_TRUE (window.has_value()) << s.getAppLog();
    EXPECT_EQ (window->x, 640 - window->width / 2);

    closeAndExpectCleanExit (s, *window);
    EXPECT_EQ (s.readSettings()["shouldMuteInput"], "1");
}

TEST (Application, restartKeepsWindowPositionAndProcessorState)
{
    Session s;
    ASSERT_TRUE (s.ready()) << s.error();
    auto window = startAndWaitForMainWindow (s);
    ASSERT_TRUE (window.has_value()) << s.getAppLog();

    // The user moves the window and switches "Dim" on.
    window = s.moveWindow (window->id, 100, 120);
    ASSERT_TRUE (window.has_value());

    const WindowLayout layout (*window);
    const auto dimFill = layout.editor (dimButtonFill, true);
    clickAt (s, layout.editor (dimButtonCentre, true));
    s.moveMouse (700, 700);
    EXPECT_TRUE (s.waitForPixel (dimFill.x, dimFill.y, buttonOnColour, true, 10000, buttonTolerance));

    closeAndExpectCleanExit (s, *window);

    auto settings = s.readSettings();
    EXPECT_EQ (settings["windowX"], "100");
    EXPECT_EQ (settings["windowY"], "120");
    EXPECT_EQ (readFilterState (settings["filterState"])["dim"], 1.0);

    // The next start puts the window back there, with "Dim" still on.
    ASSERT_TRUE (s.startApp());
    const auto again = s.waitForWindow (mainWindowName, startTimeoutMs);
    ASSERT_TRUE (again.has_value()) << s.getAppLog();
    EXPECT_EQ (again->x, 100);
    EXPECT_EQ (again->y, 120);
    s.moveMouse (700, 700);
    EXPECT_TRUE (s.waitForPixel (dimFill.x, dimFill.y, buttonOnColour, true, 10000, buttonTolerance));

    closeAndExpectCleanExit (s, *again);
    settings = s.readSettings();
    EXPECT_EQ (readFilterState (settings["filterState"])["dim"], 1.0);
}

TEST (Application, optionsMenuOpensDialogsAndResetsToDefaultState)
{
    Session s;
    ASSERT_TRUE (s.ready()) << s.error();
    s.writeSettings ({ { "filterState", makeFilterState (-12.0, 100.0, true, false) } });
    const auto window = startAndWaitForMainWindow (s);
    ASSERT_TRUE (window.has_value()) << s.getAppLog();
    const WindowLayout layout (*window);
    const auto dimFill = layout.editor (dimButtonFill, true);
    s.moveMouse (700, 700);
    ASSERT_TRUE (s.waitForPixel (dimFill.x, dimFill.y, buttonOnColour, true, 10000, buttonTolerance)) << "the saved state is restored";

    // The menu: a 2-pixel frame, then items 1, a separator, items 2 and 3, a separator, item 4.
    const auto chooseMenuItem = [&] (int item)
    {
        clickAt (s, layout.optionsButton());
        const auto menu = s.waitForWindow ("menu", 5000);
        ASSERT_TRUE (menu.has_value()) << "the Options menu should open";

        constexpr int frame = 2, separator = 10;
        const auto itemHeight = (menu->height - 2 * frame - 2 * separator) / 4;
        const int separatorsAbove[] = { 0, 0, 1, 1, 2 };
        const auto y = frame + (item - 1) * itemHeight + separatorsAbove[item] * separator + itemHeight / 2;

        // A menu ignores a button release that comes within 250 ms of its opening.
        std::this_thread::sleep_for (std::chrono::milliseconds (400));
        s.moveMouse (menu->x + menu->width / 2, menu->y + y);
        std::this_thread::sleep_for (std::chrono::milliseconds (100));
        s.click (menu->x + menu->width / 2, menu->y + y);
    };

    const auto expectWindowThenEscape = [&] (const std::string& name)
    {
        const auto opened = s.waitForWindow (name, 10000);
        EXPECT_TRUE (opened.has_value()) << name;

        if (! opened.has_value())
            return;

        s.moveMouse (opened->x + opened->width / 2, opened->y + 5);
        s.pressKey ("Escape");
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds (5);

        while (s.isWindowVisible (name) && std::chrono::steady_clock::now() < end)
            std::this_thread::sleep_for (std::chrono::milliseconds (50));

        EXPECT_FALSE (s.isWindowVisible (name)) << name;
    };

    chooseMenuItem (1);
    expectWindowThenEscape (settingsDialogName);

    chooseMenuItem (2);
    expectWindowThenEscape ("Save current state");

    chooseMenuItem (3);
    expectWindowThenEscape ("Load a saved state");

    chooseMenuItem (4);
    s.moveMouse (700, 700);
    EXPECT_TRUE (s.waitForPixel (dimFill.x, dimFill.y, buttonOnColour, false, 10000, buttonTolerance)) << "the reset switches Dim off";

    // The reset forgets "filterState"; the settings file follows within its save delay.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds (8);

    while (s.readSettings().count ("filterState") != 0 && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for (std::chrono::milliseconds (100));

    EXPECT_EQ (s.readSettings().count ("filterState"), 0u);

    const auto after = s.getGeometry (window->id);
    ASSERT_TRUE (after.has_value());
    EXPECT_EQ (after->x, window->x) << "the reset keeps the window where it is";
    EXPECT_EQ (after->height, window->height) << "the bar still shows";

    closeAndExpectCleanExit (s, *after);
    const auto state = readFilterState (s.readSettings()["filterState"]);
    ASSERT_EQ (state.count ("gain"), 1u);
    EXPECT_EQ (state.at ("gain"), 0.0);
    EXPECT_EQ (state.at ("dim"), 0.0);
}
} // namespace tarrowby::e2e
