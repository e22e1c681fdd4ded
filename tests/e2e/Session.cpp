#include "Session.h"

#include <csignal>

#include <juce_core/juce_core.h>

#include <jack/jack.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

#include <poll.h>
#include <unistd.h>

#ifndef TARROWBY_APP_PATH
 #error "TARROWBY_APP_PATH names the application under test"
#endif

namespace tarrowby::e2e
{
namespace
{
using Clock = std::chrono::steady_clock;

void quietJack (const char*) {}

int toInt (const std::string& text)
{
    return juce::String (text).getIntValue();
}

std::map<std::string, std::string> parseShellVariables (const std::string& text)
{
    std::map<std::string, std::string> result;

    for (const auto& line : juce::StringArray::fromLines (juce::String (text)))
        if (line.contains ("="))
            result[line.upToFirstOccurrenceOf ("=", false, false).trim().toStdString()]
                = line.fromFirstOccurrenceOf ("=", false, false).trim().toStdString();

    return result;
}
} // namespace

//==============================================================================
uint32_t Screenshot::pixel (int x, int y) const
{
    if (x < 0 || y < 0 || x >= width || y >= height)
        return 0;

    const auto i = ((size_t) y * (size_t) width + (size_t) x) * 3;
    return ((uint32_t) rgb[i] << 16) | ((uint32_t) rgb[i + 1] << 8) | (uint32_t) rgb[i + 2];
}

bool coloursClose (uint32_t a, uint32_t b, int tolerance)
{
    for (int shift = 0; shift <= 16; shift += 8)
        if (std::abs ((int) ((a >> shift) & 0xff) - (int) ((b >> shift) & 0xff)) > tolerance)
            return false;

    return true;
}

std::string makeFilterState (double gainDb, double crossoverHz, bool dim, bool cut)
{
    juce::XmlElement root ("state");

    const auto addParam = [&root] (const char* id, double value)
    {
        auto* param = root.createNewChildElement ("PARAM");
        param->setAttribute ("id", id);
        param->setAttribute ("value", value);
    };

    addParam ("balance", crossoverHz);
    addParam ("dim", dim ? 1.0 : 0.0);
    addParam ("gain", gainDb);
    addParam ("mute", cut ? 1.0 : 0.0);

    auto* ui = root.createNewChildElement ("uiState");
    ui->setAttribute ("width", 472);
    ui->setAttribute ("height", 310);

    const auto xml = root.toString (juce::XmlElement::TextFormat().singleLine());
    const auto utf8 = xml.toStdString();

    juce::MemoryOutputStream out;
    out.write ("VC2!", 4);
    out.writeInt ((int) utf8.size());
    out.write (utf8.data(), utf8.size());
    out.writeByte (0);

    return out.getMemoryBlock().toBase64Encoding().toStdString();
}

std::map<std::string, double> readFilterState (const std::string& base64Text)
{
    juce::MemoryBlock block;

    if (! block.fromBase64Encoding (juce::String (base64Text)) || block.getSize() < 9)
        return {};

    if (std::memcmp (block.getData(), "VC2!", 4) != 0)
        return {};

    const auto text = juce::String::fromUTF8 (static_cast<const char*> (block.getData()) + 8,
                                              (int) block.getSize() - 8);
    const auto xml = juce::parseXML (text);

    if (xml == nullptr)
        return {};

    std::map<std::string, double> values;

    for (auto* param : xml->getChildWithTagNameIterator ("PARAM"))
        values[param->getStringAttribute ("id").toStdString()] = param->getDoubleAttribute ("value");

    return values;
}

//==============================================================================
Session::Session (int jackPeriod)
{
    jack_set_error_function (quietJack);
    jack_set_info_function (quietJack);

    char pattern[] = "/tmp/tarrowby-e2e-XXXXXX";

    if (mkdtemp (pattern) == nullptr)
    {
        lastError = "could not create a temporary HOME";
        return;
    }

    home = pattern;
    environment = currentEnvironment();
    environment["HOME"] = home;
    environment["JACK_NO_AUDIO_RESERVATION"] = "1";
    environment.erase ("JACK_DEFAULT_SERVER");

    isReady = startXvfb() && startJackd (jackPeriod);
}

Session::~Session()
{
    app.reset();
    jackd.reset();
    xvfb.reset();

    if (! home.empty() && std::getenv ("TARROWBY_E2E_KEEP") == nullptr)
        juce::File (home).deleteRecursively();
}

bool Session::startXvfb()
{
    int fds[2];

    if (pipe (fds) != 0)
    {
        lastError = "pipe failed";
        return false;
    }

    xvfb = std::make_unique<Process> (std::vector<std::string> { "Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24",
                                                                 "-nolisten", "tcp", "-noreset" },
                                      environment, home + "/xvfb.log", fds[1]);
    close (fds[1]);

    std::string number;
    const auto end = Clock::now() + std::chrono::seconds (15);

    while (Clock::now() < end && number.find ('\n') == std::string::npos)
    {
        pollfd p { fds[0], POLLIN, 0 };

        if (poll (&p, 1, 100) > 0)
        {
            char buffer[32];
            const auto n = read (fds[0], buffer, sizeof (buffer));

            if (n <= 0)
                break;

            number.append (buffer, (size_t) n);
        }
    }

    close (fds[0]);

    const auto display = juce::String (number).trim();

    if (! xvfb->started() || display.isEmpty() || ! display.containsOnly ("0123456789"))
    {
        lastError = "Xvfb did not start: " + readTextFile (home + "/xvfb.log");
        return false;
    }

    environment["DISPLAY"] = ":" + display.toStdString();
    return true;
}

bool Session::startJackd (int period)
{
    static std::atomic<int> counter { 0 };
    jackServerName = "tarrowby-e2e-" + std::to_string (getpid()) + "-" + std::to_string (counter++);

    // A machine runs only a few JACK servers at once: when others hold them all, try again for a while.
    const auto end = Clock::now() + std::chrono::seconds (60);

    while (Clock::now() < end)
    {
        jackd = std::make_unique<Process> (std::vector<std::string> { "jackd", "--no-realtime", "-n", jackServerName,
                                                                      "-d", "dummy", "-r", "48000", "-p", std::to_string (period),
                                                                      "-C", "16", "-P", "16" },
                                           environment, home + "/jackd.log");

        while (Clock::now() < end && jackd->isRunning())
        {
            jack_status_t status {};

            if (auto* client = jack_client_open ("tarrowby-e2e-wait",
                                                 static_cast<jack_options_t> (JackNoStartServer | JackServerName),
                                                 &status, jackServerName.c_str()))
            {
                jack_client_close (client);
                environment["JACK_DEFAULT_SERVER"] = jackServerName;
                return true;
            }

            std::this_thread::sleep_for (std::chrono::milliseconds (50));
        }

        if (readTextFile (home + "/jackd.log").find ("Too many servers") == std::string::npos)
            break;

        std::this_thread::sleep_for (std::chrono::milliseconds (500));
    }

    lastError = "jackd did not start: " + readTextFile (home + "/jackd.log");
    return false;
}

std::string Session::getSettingsPath() const
{
    return home + "/.Tarrowby/Tarrowby.settings";
}

void Session::writeSettings (const std::map<std::string, std::string>& values) const
{
    juce::XmlElement root ("PROPERTIES");

    for (const auto& [key, value] : values)
    {
        auto* e = root.createNewChildElement ("VALUE");
        e->setAttribute ("name", juce::String (key));
        e->setAttribute ("val", juce::String (value));
    }

    writeSettingsText (root.toString().toStdString());
}

void Session::writeSettingsText (const std::string& text) const
{
    juce::File file (getSettingsPath());
    file.getParentDirectory().createDirectory();
    file.replaceWithText (juce::String (text));
}

std::map<std::string, std::string> Session::readSettings() const
{
    std::map<std::string, std::string> values;
    const auto xml = juce::parseXML (juce::File (getSettingsPath()));

    if (xml == nullptr)
        return values;

    for (auto* e : xml->getChildWithTagNameIterator ("VALUE"))
    {
        const auto key = e->getStringAttribute ("name").toStdString();

        if (auto* child = e->getFirstChildElement())
            values[key] = child->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader()).toStdString();
        else
            values[key] = e->getStringAttribute ("val").toStdString();
    }

    return values;
}

bool Session::startApp()
{
    app = std::make_unique<Process> (std::vector<std::string> { TARROWBY_APP_PATH }, environment, home + "/app.log");
    return app->started();
}

bool Session::isAppRunning()
{
    return app != nullptr && app->isRunning();
}

bool Session::signalApp (int signalNumber)
{
    return isAppRunning() && ::kill (app->getPid(), signalNumber) == 0;
}

std::optional<int> Session::waitForAppExit (int timeoutMs)
{
    if (app == nullptr)
        return std::nullopt;

    return app->waitForExit (timeoutMs);
}

std::string Session::getAppLog() const
{
    return readTextFile (home + "/app.log");
}

CommandResult Session::xdotool (const std::vector<std::string>& arguments, int timeoutMs)
{
    std::vector<std::string> argv { "xdotool" };
    argv.insert (argv.end(), arguments.begin(), arguments.end());
    return runCommand (argv, environment, timeoutMs);
}

std::optional<WindowGeometry> Session::getGeometry (long windowId)
{
    const auto result = xdotool ({ "getwindowgeometry", "--shell", std::to_string (windowId) });

    if (result.exitCode != 0)
        return std::nullopt;

    auto values = parseShellVariables (result.output);

    if (values.count ("WIDTH") == 0)
        return std::nullopt;

    return WindowGeometry { windowId, toInt (values["X"]), toInt (values["Y"]),
                            toInt (values["WIDTH"]), toInt (values["HEIGHT"]) };
}

std::optional<WindowGeometry> Session::waitForWindow (const std::string& name, int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds (timeoutMs);

    do
    {
        const auto result = xdotool ({ "search", "--onlyvisible", "--name", "^" + name + "$" });

        if (result.exitCode == 0)
        {
            const auto ids = juce::StringArray::fromLines (juce::String (result.output).trim());

            for (const auto& id : ids)
                if (id.trim().containsOnly ("0123456789") && id.trim().isNotEmpty())
                    if (auto g = getGeometry (id.trim().getLargeIntValue()))
                        return g;
        }

        std::this_thread::sleep_for (std::chrono::milliseconds (50));
    }
    while (Clock::now() < end);

    return std::nullopt;
}

bool Session::isWindowVisible (const std::string& name)
{
    const auto result = xdotool ({ "search", "--onlyvisible", "--name", "^" + name + "$" });
    return result.exitCode == 0 && juce::String (result.output).trim().isNotEmpty();
}

std::optional<WindowGeometry> Session::waitForGeometry (long windowId,
                                                        const std::function<bool (const WindowGeometry&)>& predicate,
                                                        int timeoutMs)
{
    const auto end = Clock::now() + std::chrono::milliseconds (timeoutMs);
    std::optional<WindowGeometry> last;

    do
    {
        last = getGeometry (windowId);

        if (last.has_value() && predicate (*last))
            return last;

        std::this_thread::sleep_for (std::chrono::milliseconds (30));
    }
    while (Clock::now() < end);

    return last;
}

std::optional<WindowGeometry> Session::moveWindow (long windowId, int x, int y)
{
    xdotool ({ "windowmove", std::to_string (windowId), std::to_string (x), std::to_string (y) });
    auto g = waitForGeometry (windowId, [=] (const auto& w) { return w.x == x && w.y == y; }, 5000);

    if (g.has_value() && g->x == x && g->y == y)
        return g;

    return std::nullopt;
}

bool Session::waitForPixel (int x, int y, uint32_t colour, bool expected, int timeoutMs, int tolerance)
{
    const auto end = Clock::now() + std::chrono::milliseconds (timeoutMs);

    do
    {
        if (auto shot = takeScreenshot())
            if (coloursClose (shot->pixel (x, y), colour, tolerance) == expected)
                return true;

        std::this_thread::sleep_for (std::chrono::milliseconds (50));
    }
    while (Clock::now() < end);

    return false;
}

// No --sync: it waits for a motion event, which never comes when the pointer is already there.
// The server handles the synthetic move and the click in order anyway.
void Session::click (int x, int y)
{
    xdotool ({ "mousemove", std::to_string (x), std::to_string (y), "click", "1" });
}

void Session::moveMouse (int x, int y)
{
    xdotool ({ "mousemove", std::to_string (x), std::to_string (y) });
}

void Session::pressKey (const std::string& keyName)
{
    xdotool ({ "key", keyName });
}

std::optional<Screenshot> Session::takeScreenshot()
{
    const auto path = home + "/screen.ppm";
    const auto result = runCommand ({ "import", "-window", "root", "-depth", "8", "ppm:" + path }, environment, 10000);

    if (result.exitCode != 0)
        return std::nullopt;

    const auto data = readTextFile (path);

    // Binary PPM: "P6", width, height, maximum value, one white-space byte, then RGB bytes.
    size_t pos = 0;
    std::vector<std::string> fields;

    while (fields.size() < 4 && pos < data.size())
    {
        while (pos < data.size() && std::isspace ((unsigned char) data[pos]))
            ++pos;

        if (pos < data.size() && data[pos] == '#')
        {
            while (pos < data.size() && data[pos] != '\n')
                ++pos;

            continue;
        }

        const auto start = pos;

        while (pos < data.size() && ! std::isspace ((unsigned char) data[pos]))
            ++pos;

        fields.push_back (data.substr (start, pos - start));
    }

    if (fields.size() < 4 || fields[0] != "P6" || fields[3] != "255")
        return std::nullopt;

    Screenshot shot;
    shot.width = toInt (fields[1]);
    shot.height = toInt (fields[2]);
    ++pos;

    const auto bytes = (size_t) shot.width * (size_t) shot.height * 3;

    if (shot.width <= 0 || shot.height <= 0 || data.size() < pos + bytes)
        return std::nullopt;

    shot.rgb.assign (data.begin() + (std::ptrdiff_t) pos, data.begin() + (std::ptrdiff_t) (pos + bytes));
    return shot;
}

bool Session::saveWindowPicture (const WindowGeometry& window, const std::string& pngPath)
{
    const auto crop = std::to_string (window.width) + "x" + std::to_string (window.height)
                      + "+" + std::to_string (window.x) + "+" + std::to_string (window.y);
    return runCommand ({ "import", "-window", "root", "-crop", crop, "+repage", pngPath }, environment, 10000).exitCode == 0;
}
} // namespace tarrowby::e2e
