#pragma once

#include "Processes.h"

#include <cstdint>
#include <map>
#include <memory>

namespace tarrowby::test { class JackServer; }

namespace tarrowby::e2e
{
/** A top-level X window and where it is on the screen. */
struct WindowGeometry
{
    long id = 0;
    int x = 0, y = 0, width = 0, height = 0;
};

/** True when every colour component (0xRRGGBB) of a differs from b's by at most the tolerance. */
bool coloursClose (uint32_t a, uint32_t b, int tolerance = 10);

/** Processor state bytes holding the four parameter values, in the settings' base64 text form. */
std::string makeFilterState (double gainDb, double crossoverHz, bool dim, bool cut);

/** The parameter values ("gain", "balance", "dim", "mute") in a "filterState" text; empty when it does not decode. */
std::map<std::string, double> readFilterState (const std::string& base64Text);

/**
    Everything one end-to-end test needs, private to it: a temporary HOME, an X
    display (Xvfb, 1280 x 800), a JACK dummy server with a unique name (48 kHz,
    16 in, 16 out), and the application started there. This process's environment
    points at them, so that every program it starts finds them. All is stopped
    when the session ends.
*/
class Session
{
public:
    Session();
    ~Session();

    /** False when Xvfb or jackd could not be started; see error(). */
    bool ready() const noexcept                         { return isReady; }
    const std::string& error() const noexcept           { return lastError; }
    std::string getJackServerName() const;

    /** Writes the settings file with these keys and texts, or with this exact text. */
    void writeSettings (const std::map<std::string, std::string>& values) const;
    void writeSettingsText (const std::string& text) const;

    /** $HOME/.Tarrowby/Tarrowby.settings */
    const std::string& getSettingsPath() const noexcept { return settingsPath; }

    /** The keys and texts of the settings file ("audioSetup" as its XML text). */
    std::map<std::string, std::string> readSettings() const;

    bool startApp();
    /** Sends a signal to the running application; false when it is not running. */
    bool signalApp (int signalNumber);
    std::optional<int> waitForAppExit (int timeoutMs);
    std::string getAppLog() const;

    /** Waits for a visible window whose name is exactly this. */
    std::optional<WindowGeometry> waitForWindow (const std::string& name, int timeoutMs);
    bool waitForWindowToGo (const std::string& name, int timeoutMs);
    std::optional<WindowGeometry> getGeometry (long windowId);

    /** Polls the window's geometry until the predicate holds; returns the last geometry seen. */
    std::optional<WindowGeometry> waitForGeometry (long windowId, const std::function<bool (const WindowGeometry&)>& predicate, int timeoutMs);

    /** Moves a window and waits until it is there. */
    std::optional<WindowGeometry> moveWindow (long windowId, int x, int y);

    /** Polls the screen until the pixel at (x, y) is close to the colour (or, with expected false, is not). */
    bool waitForPixel (int x, int y, uint32_t colour, bool expected, int timeoutMs, int tolerance = 10);

    void click (int x, int y);
    void moveMouse (int x, int y);
    void pressKey (const std::string& keyName);

private:
    std::pair<int, std::string> xdotool (const std::vector<std::string>& arguments);
    std::vector<long> findWindows (const std::string& name);
    bool startXvfb();

    bool isReady = false;
    std::string lastError, home, settingsPath;
    std::unique_ptr<Process> xvfb, app;
    std::unique_ptr<test::JackServer> jack;
};
} // namespace tarrowby::e2e
