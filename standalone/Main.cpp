#include "QuitRequestSignal.h"
#include "PrintableText.h"
#include "StandaloneFilterApp.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

namespace
{
/** Says on stderr why no X display can be opened; true when one can. Without DISPLAY the
    framework opens ":0.0", so that is tried too, as often as the framework tries. */
bool canOpenDisplay()
{
    const auto* variable = std::getenv ("DISPLAY");
    const auto isSet = variable != nullptr && *variable != 0;
    const auto* name = isSet ? variable : ":0.0";

    for (int attempt = 0; attempt < 2; ++attempt)
    {
        if (auto* display = XOpenDisplay (name))
        {
            XCloseDisplay (display);
            return true;
        }
    }

    if (isSet)
        std::fprintf (stderr, "Tarrowby: cannot open the X display \"%s\"\n", guards::printable (name).c_str());
    else
        std::fprintf (stderr, "Tarrowby: no X display (DISPLAY is not set, and \":0.0\" cannot be opened)\n");

    return false;
}
} // namespace

juce::JUCEApplicationBase* juce_CreateApplication();

juce::JUCEApplicationBase* juce_CreateApplication()
{
    // The framework's message manager has just started.
    tarrowby::QuitRequestSignal::release();
    return new juce::StandaloneFilterApp();
}

int main (int argc, char* argv[])
{
    tarrowby::QuitRequestSignal::install();

    // Without a display the application would run unseen and save a window position from no screen.
    if (! canOpenDisplay())
        return 1;

    juce::JUCEApplicationBase::createInstance = &juce_CreateApplication;
    return juce::JUCEApplicationBase::main (argc, const_cast<const char**> (argv));
}
