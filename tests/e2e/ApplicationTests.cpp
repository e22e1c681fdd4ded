// End-to-end tests: each one starts the real application on its own X display
// and its own JACK dummy server, with its own HOME, and works it as a user would.

#include "Analysis.h"
#include "JackProbe.h"
#include "Session.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>

namespace tarrowby::e2e
{
namespace
{
struct Pt { int x, y; };

// The editor's size and where its controls are, in its own coordinates.
constexpr int editorWidth = 472, editorHeight = 310, barHeight = 30, titleBarHeight = 26;
const Pt dimButtonCentre { 234, 247 }, dimButtonFill { 196, 247 }, firstMuteSwitchCentre { 47, 20 };

constexpr uint32_t barColour = 0xfafad2;       // light goldenrod yellow
constexpr uint32_t barEdgeColour = 0xb8860b;   // dark goldenrod
constexpr uint32_t editorBackground = 0x808080;
constexpr uint32_t buttonOnColour = 0x87cefa;  // light sky blue, drawn more or less saturated with focus
constexpr int buttonTolerance = 45;

const std::string mainWindowName = "Tarrowby", settingsDialogName = "Audio/MIDI Settings";

/** Where the main window's parts lie on the screen. */
struct Layout
{
    explicit Layout (const WindowGeometry& g) : window (g), border ((g.width - editorWidth) / 2) {}

    bool barShown() const       { return window.height > editorHeight + titleBarHeight + 2 * border; }
    Pt content (int x, int y) const { return { window.x + border + x, window.y + border + titleBarHeight + y }; }
    Pt editor (Pt p) const      { return content (p.x, p.y + (barShown() ? barHeight : 0)); }
    Pt closeButton() const      { return { window.x + window.width - border - 16, window.y + border + 13 }; }
    Pt optionsButton() const    { return { window.x + 38, window.y + 15 }; }
    Pt settingsButton() const   { return content (editorWidth - 40, 15); }

    WindowGeometry window;
    int border;
};

//==============================================================================
// The test signal: a high tone of its own on every channel, and a common low
// tone on the bass-managed channels 5 to 12.
constexpr double sampleRate = 48000.0, highAmplitude = 0.1, lowFrequency = 60.0, lowAmplitude = 0.2, crossoverHz = 80.0;

double highFrequency (int channel)  { return 1000.0 + 200.0 * channel; }
bool isBassManaged (int channel)    { return channel >= 4 && channel <= 11; }

/** Compares a capture with the tones expected at the given master gain; describes every mismatch. */
std::string compareWithExpected (const std::vector<std::vector<float>>& capture, double gain)
{
    // The processor's crossover: second-order sections with Q = sqrt (2).
    const auto highPass = juce::IIRCoefficients::makeHighPass (sampleRate, crossoverHz, std::sqrt (2.0));
    const auto lowPass = juce::IIRCoefficients::makeLowPass (sampleRate, crossoverHz, std::sqrt (2.0));
    const auto hp = magnitudeAt (highPass, lowFrequency, sampleRate);
    std::string problems;

    for (int c = 0; c < JackProbe::numChannels; ++c)
    {
        const auto& signal = capture[(size_t) c];
        const auto where = "channel " + std::to_string (c + 1);

        if (c >= 12) // muted by default
        {
            if (peakLevel (signal) > 1.0e-6)
                problems += where + " should be muted but peaks at " + std::to_string (peakLevel (signal)) + "\n";

            continue;
        }

        // Channel 4 also carries the low-passed average of the eight high-passed channels;
        // they share the low tone in phase, so its average is the tone itself.
        const auto highGain = isBassManaged (c) ? magnitudeAt (highPass, highFrequency (c), sampleRate) : 1.0;
        const auto lowGain = isBassManaged (c) ? hp : c == 3 ? hp * magnitudeAt (lowPass, lowFrequency, sampleRate) : 0.0;

        for (const auto [frequency, expected] : { std::pair { highFrequency (c), gain * highAmplitude * highGain },
                                                  std::pair { lowFrequency, gain * lowAmplitude * lowGain } })
        {
            const auto measured = toneAmplitude (signal, frequency, sampleRate);

            if (std::abs (measured - expected) > 0.03 * expected + 1.0e-4 * gain)
                problems += where + " at " + std::to_string (frequency) + " Hz: expected " + std::to_string (expected)
                            + ", measured " + std::to_string (measured) + "\n";
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
    return waitUntil ([&] { const auto c = captureWithoutXruns (probe, 4800); return ! c.empty() && predicate (c); }, timeoutMs, 1);
}

//==============================================================================
class Application : public ::testing::Test
{
protected:
    void SetUp() override   { ASSERT_TRUE (s.ready()) << s.error(); }

    /** Starts the application and waits for its main window. */
    std::optional<Layout> start()
    {
        if (! s.startApp())
            return std::nullopt;

        const auto window = s.waitForWindow (mainWindowName, 20000);
        return window.has_value() ? std::optional<Layout> (Layout (*window)) : std::nullopt;
    }

    /** Starts the application and moves its main window to (x, y). */
    std::optional<Layout> startAt (int x, int y)
    {
        const auto layout = start();
        const auto moved = layout ? s.moveWindow (layout->window.id, x, y) : std::nullopt;
        return moved ? std::optional<Layout> (Layout (*moved)) : std::nullopt;
    }

    /** Expects the application to end with status 0, and returns the settings it left. */
    std::map<std::string, std::string> expectCleanExit()
    {
        const auto status = s.waitForAppExit (15000);
        EXPECT_TRUE (status.has_value()) << "the application did not quit\n" << s.getAppLog();
        EXPECT_EQ (status.value_or (-1), 0) << s.getAppLog();
        return s.readSettings();
    }

    /** Clicks the close button. */
    std::map<std::string, std::string> close (const Layout& layout)
    {
        click (layout.closeButton());
        return expectCleanExit();
    }

    void click (Pt p)   { s.click (p.x, p.y); }

    /** Moves the pointer out of the way and waits for the "Dim" button to show on or off. */
    bool waitForDim (const Layout& layout, bool on)
    {
        s.moveMouse (700, 700);
        const auto fill = layout.editor (dimButtonFill);
        return s.waitForPixel (fill.x, fill.y, buttonOnColour, on, 10000, buttonTolerance);
    }

    /** Waits until the application's JACK client has 16 inputs and 16 outputs, all connected. */
    bool waitForAppPorts (JackProbe& probe)
    {
        return waitUntil ([&]
        {
            const auto ins = probe.getPortNames ("JUCEJack", true), outs = probe.getPortNames ("JUCEJack", false);
            auto connected = ins.size() == 16 && outs.size() == 16;

            for (size_t i = 0; connected && i < 16; ++i)
                connected = probe.isPortConnected (ins[i]) && probe.isPortConnected (outs[i]);

            return connected;
        }, 10000);
    }

    Session s;
};
} // namespace

//==============================================================================
TEST_F (Application, FirstStartShowsACentredWindowWithTheMutedInputBarAndSavesOnQuit)
{
    const auto layout = start();
    ASSERT_TRUE (layout) << s.getAppLog();
    const auto& window = layout->window;
    EXPECT_EQ (window.width, editorWidth + 2 * layout->border);
    EXPECT_EQ (window.height, editorHeight + barHeight + titleBarHeight + 2 * layout->border);
    EXPECT_EQ (window.x, 640 - window.width / 2);
    EXPECT_EQ (window.y, 400 - window.height / 2);

    const auto bar = layout->content (2, 2), barEdge = layout->content (2, barHeight - 1);
    EXPECT_TRUE (s.waitForPixel (bar.x, bar.y, barColour, true, 10000));
    EXPECT_TRUE (s.waitForPixel (barEdge.x, barEdge.y, barEdgeColour, true, 10000));

    JackProbe probe (s.getJackServerName(), "tarrowby-probe");
    ASSERT_TRUE (probe.isOpen());
    EXPECT_TRUE (waitForAppPorts (probe)) << "the device should run with 16 inputs and 16 outputs";

    auto settings = close (*layout);
    EXPECT_EQ (settings["windowX"], std::to_string (window.x));
    EXPECT_EQ (settings["windowY"], std::to_string (window.y));
    EXPECT_EQ (settings["shouldMuteInput"], "1");
    EXPECT_TRUE (settings.count ("audioSetup") == 1 && (settings["audioSetup"].empty() || settings["audioSetup"].rfind ("<DEVICESETUP", 0) == 0))
        << settings["audioSetup"];
    EXPECT_EQ (readFilterState (settings["filterState"]).count ("dim"), 1u);
}

TEST_F (Application, ProcessesSixteenChannelsAndFollowsTheDimAndMuteSwitches)
{
    constexpr double gainDb = -6.0;
    s.writeSettings ({ { "shouldMuteInput", "0" }, { "filterState", makeFilterState (gainDb, crossoverHz, false, false) } });
    const auto layout = start();
    ASSERT_TRUE (layout) << s.getAppLog();
    EXPECT_FALSE (layout->barShown()) << "no bar while input is not muted";

    JackProbe probe (s.getJackServerName(), "tarrowby-probe");
    ASSERT_TRUE (probe.isOpen());
    std::vector<Tone> tones;

    for (int c = 0; c < JackProbe::numChannels; ++c)
    {
        tones.push_back ({ c, highFrequency (c), highAmplitude });

        if (isBassManaged (c))
            tones.push_back ({ c, lowFrequency, lowAmplitude });
    }

    probe.setTones (tones);
    ASSERT_TRUE (probe.activate());
    ASSERT_TRUE (waitForAppPorts (probe)) << runCommand ({ "jack_lsp", "-c", "-s", s.getJackServerName() }).second << s.getAppLog();
    ASSERT_TRUE (probe.connectTo ("JUCEJack"));

    // Let the filters settle, then measure half a second; "Dim" then lowers every output by 20 dB.
    auto gain = std::pow (10.0, gainDb / 20.0);

    for (const auto dimmed : { false, true })
    {
        if (dimmed)
        {
            click (layout->editor (dimButtonCentre));
            gain *= 0.1;
            EXPECT_TRUE (waitForCapture (probe, [&] (const auto& c)
                         { return std::abs (toneAmplitude (c[0], highFrequency (0), sampleRate) - gain * highAmplitude) < 0.01 * gain * highAmplitude; }, 5000));
        }

        std::string problems = "no capture";

        for (int attempt = 0; attempt < 6 && ! problems.empty(); ++attempt)
        {
            const auto capture = captureWithoutXruns (probe, 24000);
            ASSERT_FALSE (capture.empty());
            problems = compareWithExpected (capture, gain);
        }

        EXPECT_EQ (problems, "") << (dimmed ? "dimmed" : "");
    }

    // The mute switch of channel 1 silences it after the next poll, and nothing else.
    click (layout->editor (firstMuteSwitchCentre));
    EXPECT_TRUE (waitForCapture (probe, [] (const auto& c) { return peakLevel (c[0]) == 0.0; }, 3000));
    const auto capture = captureWithoutXruns (probe, 4800);
    ASSERT_FALSE (capture.empty());
    EXPECT_EQ (peakLevel (capture[0]), 0.0);
    EXPECT_NEAR (toneAmplitude (capture[1], highFrequency (1), sampleRate), gain * highAmplitude, 0.03 * gain * highAmplitude);

    close (*layout);
}

TEST_F (Application, MutingTheInputInTheSettingsDialogShowsAndHidesTheBar)
{
    // Keep the main window and the dialog side by side, so both can be seen.
    const auto layout = startAt (0, 0);
    ASSERT_TRUE (layout) << s.getAppLog();
    const auto& moved = layout->window;
    const auto withBar = moved.height;
    const auto barPixel = layout->content (2, 2);

    click (layout->settingsButton());
    auto dialog = s.waitForWindow (settingsDialogName, 10000);
    ASSERT_TRUE (dialog) << "\"Settings...\" should open the settings dialog";
    dialog = s.moveWindow (dialog->id, 600, 0);
    ASSERT_TRUE (dialog);

    for (const auto barShown : { false, true, false })
    {
        s.click (dialog->x + 200, dialog->y + 24); // the mute toggle
        const auto height = withBar - (barShown ? 0 : barHeight);
        const auto now = s.waitForGeometry (moved.id, [&] (const auto& g) { return g.height == height; }, 5000);
        ASSERT_TRUE (now);
        EXPECT_EQ (now->height, height);
        EXPECT_EQ (now->y, moved.y) << "the window keeps its place";
        EXPECT_TRUE (s.waitForPixel (barPixel.x, barPixel.y, barShown ? barColour : editorBackground, true, 10000));
    }

    s.pressKey ("Escape");
    ASSERT_TRUE (s.waitForWindowToGo (settingsDialogName, 5000)) << "Escape should close the dialog";

    const auto last = s.getGeometry (moved.id);
    ASSERT_TRUE (last);
    EXPECT_EQ (close (Layout (*last))["shouldMuteInput"], "0");
}

TEST_F (Application, UnreadableSettingsStartWithTheDefaults)
{
    // A file that is not XML at all: centred, as on a first start.
    s.writeSettingsText ("\x89PNG this is not XML <<<<");
    auto layout = start();
    ASSERT_TRUE (layout) << s.getAppLog();
    EXPECT_EQ (layout->window.x, 640 - layout->window.width / 2);
    EXPECT_EQ (close (*layout)["shouldMuteInput"], "1");

    // XML the framework's reader would loop on for ever: set aside, bytes kept.
    const std::string looping = "<PROPERTIES><VALUE name=\"windowX\" val=\"5\"/><?x?>y</PROPERTIES>";
    s.writeSettingsText (looping);
    layout = start();
    ASSERT_TRUE (layout) << s.getAppLog();
    EXPECT_EQ (layout->window.x, 640 - layout->window.width / 2);
    EXPECT_EQ (close (*layout)["shouldMuteInput"], "1");
    EXPECT_EQ (juce::File (s.getSettingsPath() + ".unreadable").loadFileAsString().toStdString(), looping);

    // Values of the wrong kind.
    s.writeSettings ({ { "audioSetup", "<DEVICESETUP deviceType=\"nonsense" }, { "shouldMuteInput", "maybe" },
                       { "filterState", "!!not base64 at all" }, { "lastStateFile", "::garbage::" },
                       { "windowX", "left" }, { "windowY", "top" } });
    layout = start();
    ASSERT_TRUE (layout) << s.getAppLog();
    EXPECT_EQ (layout->window.x, 0) << "unreadable numbers read as 0";
    EXPECT_EQ (layout->window.y, 0);

    JackProbe probe (s.getJackServerName(), "tarrowby-probe");
    ASSERT_TRUE (probe.isOpen());
    EXPECT_TRUE (waitForAppPorts (probe)) << "the default device opens instead";
    EXPECT_TRUE (waitForDim (*layout, false)) << "the processor keeps its defaults";

    auto settings = close (*layout);
    EXPECT_TRUE (settings["audioSetup"].empty() || settings["audioSetup"].rfind ("<DEVICESETUP", 0) == 0) << settings["audioSetup"];
    auto state = readFilterState (settings["filterState"]);
    EXPECT_EQ (state.count ("gain"), 1u);
    EXPECT_EQ (state["gain"], 0.0);
    EXPECT_EQ (state["dim"], 0.0);
}

TEST_F (Application, QuitRequestsFromTheSystemSaveTheState)
{
    s.writeSettings ({ { "filterState", makeFilterState (-12.0, 100.0, true, false) } });

    for (const auto signalNumber : { SIGTERM, SIGINT })
    {
        ASSERT_TRUE (start()) << s.getAppLog();
        ASSERT_TRUE (s.signalApp (signalNumber));
        auto settings = expectCleanExit();

        for (const auto* key : { "windowX", "windowY", "audioSetup", "shouldMuteInput" })
            EXPECT_EQ (settings.count (key), 1u) << key;

        auto state = readFilterState (settings["filterState"]);
        EXPECT_EQ (state.count ("gain"), 1u);
        EXPECT_DOUBLE_EQ (state["gain"], -12.0);
        EXPECT_DOUBLE_EQ (state["dim"], 1.0);
    }
}

TEST_F (Application, ARestartKeepsTheWindowPositionAndProcessorState)
{
    // The user moves the window and switches "Dim" on.
    auto layout = startAt (100, 120);
    ASSERT_TRUE (layout) << s.getAppLog();
    click (layout->editor (dimButtonCentre));
    EXPECT_TRUE (waitForDim (*layout, true));

    for (int run = 0; run < 2; ++run)
    {
        auto settings = close (*layout);
        EXPECT_EQ (settings["windowX"], "100");
        EXPECT_EQ (settings["windowY"], "120");
        EXPECT_EQ (readFilterState (settings["filterState"])["dim"], 1.0);

        if (run == 0)
        {
            // The next start puts the window back there, with "Dim" still on.
            layout = start();
            ASSERT_TRUE (layout) << s.getAppLog();
            EXPECT_EQ (layout->window.x, 100);
            EXPECT_EQ (layout->window.y, 120);
            EXPECT_TRUE (waitForDim (*layout, true));
        }
    }
}

TEST_F (Application, OptionsMenuOpensItsDialogsAndResetsToTheDefaultState)
{
    s.writeSettings ({ { "filterState", makeFilterState (-12.0, 100.0, true, false) } });
    const auto layout = start();
    ASSERT_TRUE (layout) << s.getAppLog();
    ASSERT_TRUE (waitForDim (*layout, true)) << "the saved state is restored";

    const auto chooseMenuItem = [&] (int item)
    {
        click (layout->optionsButton());
        const auto menu = s.waitForWindow ("menu", 5000);
        ASSERT_TRUE (menu) << "the Options menu should open";

        // A 2-pixel frame, then items 1, a separator, items 2 and 3, a separator, item 4.
        constexpr int frame = 2, separator = 10;
        const auto itemHeight = (menu->height - 2 * frame - 2 * separator) / 4;
        const int separatorsAbove[] = { 0, 0, 1, 1, 2 };
        const Pt p { menu->x + menu->width / 2, menu->y + frame + (item - 1) * itemHeight + separatorsAbove[item] * separator + itemHeight / 2 };

        // A menu ignores a button release that comes within 250 ms of its opening.
        std::this_thread::sleep_for (std::chrono::milliseconds (400));
        s.moveMouse (p.x, p.y);
        std::this_thread::sleep_for (std::chrono::milliseconds (100));
        click (p);
    };

    for (const auto& [item, name] : { std::pair { 1, settingsDialogName }, std::pair { 2, std::string ("Save current state") },
                                      std::pair { 3, std::string ("Load a saved state") } })
    {
        chooseMenuItem (item);
        const auto opened = s.waitForWindow (name, 10000);
        EXPECT_TRUE (opened) << name;

        if (opened)
        {
            s.moveMouse (opened->x + opened->width / 2, opened->y + 5);
            s.pressKey ("Escape");
            EXPECT_TRUE (s.waitForWindowToGo (name, 5000)) << name;
        }
    }

    chooseMenuItem (4);
    EXPECT_TRUE (waitForDim (*layout, false)) << "the reset switches Dim off";

    // The reset forgets "filterState"; the settings file follows within its save delay.
    EXPECT_TRUE (waitUntil ([&] { return s.readSettings().count ("filterState") == 0; }, 8000, 100));

    const auto after = s.getGeometry (layout->window.id);
    ASSERT_TRUE (after);
    EXPECT_EQ (after->x, layout->window.x) << "the reset keeps the window where it is";
    EXPECT_EQ (after->height, layout->window.height) << "the bar still shows";

    auto state = readFilterState (close (Layout (*after))["filterState"]);
    EXPECT_EQ (state.count ("gain"), 1u);
    EXPECT_EQ (state["gain"], 0.0);
    EXPECT_EQ (state["dim"], 0.0);
}
} // namespace tarrowby::e2e
