#include "Session.h"

#include <juce_core/juce_core.h>

#include <jack/jack.h>

#include "JackServer.h"

#include <csignal>
#include <cstdlib>
#include <cstring>

#include <poll.h>
#include <unistd.h>

#ifndef TARROWBY_APP_PATH
 #error "TARROWBY_APP_PATH names the application under test"
#endif

namespace tarrowby::e2e
{
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

    for (const auto& [id, value] : { std::pair { "balance", crossoverHz }, std::pair { "dim", dim ? 1.0 : 0.0 },
                                     std::pair { "gain", gainDb }, std::pair { "mute", cut ? 1.0 : 0.0 } })
    {
        auto* param = root.createNewChildElement ("PARAM");
        param->setAttribute ("id", id);
        param->setAttribute ("value", value);
    }

    auto* ui = root.createNewChildElement ("uiState");
    ui->setAttribute ("width", 472);
    ui->setAttribute ("height", 310);

    const auto text = root.toString (juce::XmlElement::TextFormat().singleLine()).toStdString();
    juce::MemoryOutputStream out;
    out.write ("VC2!", 4);
    out.writeInt ((int) text.size());
    out.write (text.data(), text.size());
    out.writeByte (0);
    return out.getMemoryBlock().toBase64Encoding().toStdString();
}

std::map<std::string, double> readFilterState (const std::string& base64Text)
{
    juce::MemoryBlock block;
    std::map<std::string, double> values;

    if (! block.fromBase64Encoding (juce::String (base64Text)) || block.getSize() < 9 || std::memcmp (block.getData(), "VC2!", 4) != 0)
        return values;

    if (const auto xml = juce::parseXML (juce::String::fromUTF8 (static_cast<const char*> (block.getData()) + 8, (int) block.getSize() - 8)))
        for (auto* param : xml->getChildWithTagNameIterator ("PARAM"))
            values[param->getStringAttribute ("id").toStdString()] = param->getDoubleAttribute ("value");

    return values;
}

//==============================================================================
Session::Session()
{
    jack_set_error_function ([] (const char*) {});
    jack_set_info_function ([] (const char*) {});

    char pattern[] = "/tmp/tarrowby-e2e-XXXXXX";

    if (mkdtemp (pattern) == nullptr)
    {
        lastError = "could not create a temporary HOME";
        return;
    }

    home = pattern;
    settingsPath = home + "/.Tarrowby/Tarrowby.settings";
    setenv ("HOME", home.c_str(), 1);

    if (! startXvfb())
        return;

    // A private server under a name of its own, made this process's default.
    jack = std::make_unique<test::JackServer>();
    isReady = jack->isRunning();

    if (! isReady)
        lastError = "jackd did not start: " + jack->getLog().toStdString();
}

Session::~Session()
{
    app.reset();
    jack.reset();
    xvfb.reset();

    if (! home.empty() && std::getenv ("TARROWBY_E2E_KEEP") == nullptr)
        juce::File (home).deleteRecursively();
}

bool Session::startXvfb()
{
    // Xvfb picks a free display and writes its number to descriptor 3.
    int fds[2];

    if (pipe (fds) != 0)
        return false;

    xvfb = std::make_unique<Process> (std::vector<std::string> { "Xvfb", "-displayfd", "3", "-screen", "0", "1280x800x24",
                                                                 "-nolisten", "tcp", "-noreset" }, home + "/xvfb.log", fds[1]);
    close (fds[1]);
    std::string number;

    waitUntil ([&]
    {
        pollfd p { fds[0], POLLIN, 0 };
        char buffer[32];
        const auto readable = poll (&p, 1, 0) > 0;
        const auto n = readable ? read (fds[0], buffer, sizeof (buffer)) : 0;

        if (n > 0)
            number.append (buffer, (size_t) n);

        return (readable && n <= 0) || number.find ('\n') != std::string::npos;
    }, 15000);

    close (fds[0]);
    const auto display = juce::String (number).trim();

    if (! xvfb->started() || display.isEmpty() || ! display.containsOnly ("0123456789"))
    {
        lastError = "Xvfb did not start: " + readTextFile (home + "/xvfb.log");
        return false;
    }

    setenv ("DISPLAY", (":" + display).toRawUTF8(), 1);
    return true;
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
    juce::File file (settingsPath);
    file.getParentDirectory().createDirectory();
    file.replaceWithText (juce::String (text));
}

std::map<std::string, std::string> Session::readSettings() const
{
    std::map<std::string, std::string> values;

    if (const auto xml = juce::parseXML (juce::File (settingsPath)))
        for (auto* e : xml->getChildWithTagNameIterator ("VALUE"))
            values[e->getStringAttribute ("name").toStdString()]
                = (e->getFirstChildElement() != nullptr ? e->getFirstChildElement()->toString (juce::XmlElement::TextFormat().singleLine().withoutHeader())
                                                        : e->getStringAttribute ("val")).toStdString();

    return values;
}

bool Session::startApp()
{
    app = std::make_unique<Process> (std::vector<std::string> { TARROWBY_APP_PATH }, home + "/app.log");
    return app->started();
}

std::string Session::getJackServerName() const
{
    return jack != nullptr ? jack->getName().toStdString() : std::string();
}

bool Session::signalApp (int signalNumber)
{
    return app != nullptr && app->isRunning() && ::kill (app->getPid(), signalNumber) == 0;
}

std::optional<int> Session::waitForAppExit (int timeoutMs)
{
    return app != nullptr ? app->waitForExit (timeoutMs) : std::nullopt;
}

std::string Session::getAppLog() const
{
    return readTextFile (home + "/app.log");
}

//==============================================================================
std::pair<int, std::string> Session::xdotool (const std::vector<std::string>& arguments)
{
    std::vector<std::string> argv { "xdotool" };
    argv.insert (argv.end(), arguments.begin(), arguments.end());
    return runCommand (argv, 5000);
}

std::vector<long> Session::findWindows (const std::string& name)
{
    std::vector<long> ids;
    const auto [exitCode, output] = xdotool ({ "search", "--onlyvisible", "--name", "^" + name + "$" });

    for (const auto& line : juce::StringArray::fromLines (juce::String (output)))
        if (exitCode == 0 && line.trim().isNotEmpty() && line.trim().containsOnly ("0123456789"))
            ids.push_back ((long) line.trim().getLargeIntValue());

    return ids;
}

std::optional<WindowGeometry> Session::getGeometry (long windowId)
{
    const auto [exitCode, output] = xdotool ({ "getwindowgeometry", "--shell", std::to_string (windowId) });
    std::map<juce::String, int> values;

    for (const auto& line : juce::StringArray::fromLines (juce::String (output)))
        values[line.upToFirstOccurrenceOf ("=", false, false).trim()] = line.fromFirstOccurrenceOf ("=", false, false).getIntValue();

    if (exitCode != 0 || values.count ("WIDTH") == 0)
        return std::nullopt;

    return WindowGeometry { windowId, values["X"], values["Y"], values["WIDTH"], values["HEIGHT"] };
}

std::optional<WindowGeometry> Session::waitForWindow (const std::string& name, int timeoutMs)
{
    std::optional<WindowGeometry> found;

    waitUntil ([&]
    {
        for (auto id : findWindows (name))
            if ((found = getGeometry (id)))
                return true;

        return false;
    }, timeoutMs);

    return found;
}

bool Session::waitForWindowToGo (const std::string& name, int timeoutMs)
{
    return waitUntil ([&] { return findWindows (name).empty(); }, timeoutMs);
}

std::optional<WindowGeometry> Session::waitForGeometry (long windowId, const std::function<bool (const WindowGeometry&)>& predicate, int timeoutMs)
{
    std::optional<WindowGeometry> last;
    waitUntil ([&] { return (last = getGeometry (windowId)).has_value() && predicate (*last); }, timeoutMs, 30);
    return last;
}

std::optional<WindowGeometry> Session::moveWindow (long windowId, int x, int y)
{
    xdotool ({ "windowmove", std::to_string (windowId), std::to_string (x), std::to_string (y) });
    const auto there = [=] (const WindowGeometry& w) { return w.x == x && w.y == y; };
    auto g = waitForGeometry (windowId, there, 5000);
    return g.has_value() && there (*g) ? g : std::nullopt;
}

bool Session::waitForPixel (int x, int y, uint32_t colour, bool expected, int timeoutMs, int tolerance)
{
    const auto path = home + "/pixel.rgb";
    const auto crop = "1x1+" + std::to_string (x) + "+" + std::to_string (y);

    return waitUntil ([&]
    {
        if (runCommand ({ "import", "-window", "root", "-crop", crop, "-depth", "8", "rgb:" + path }).first != 0)
            return false;

        const auto rgb = readTextFile (path);
        return rgb.size() == 3 && coloursClose ((uint32_t) (uint8_t) rgb[0] << 16 | (uint32_t) (uint8_t) rgb[1] << 8 | (uint8_t) rgb[2],
                                                colour, tolerance) == expected;
    }, timeoutMs);
}

// No --sync: it waits for a motion event, which never comes when the pointer is already there.
// The server handles the synthetic move and the click in order anyway.
void Session::click (int x, int y)          { xdotool ({ "mousemove", std::to_string (x), std::to_string (y), "click", "1" }); }
void Session::moveMouse (int x, int y)      { xdotool ({ "mousemove", std::to_string (x), std::to_string (y) }); }
void Session::pressKey (const std::string& keyName) { xdotool ({ "key", keyName }); }
} // namespace tarrowby::e2e
