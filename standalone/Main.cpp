#include "QuitRequestSignal.h"
#include "StandaloneFilterApp.h"

#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>

namespace
{
/** Says on stderr why no X display can be opened; true when one can. */
bool canOpenDisplay()
{
    const auto* name = std::getenv ("DISPLAY");

    if (name == nullptr || *name == 0)
    {
        std::fprintf (stderr, "Tarrowby: no X display (DISPLAY is not set)\n");
        return false;
    }

    auto* display = XOpenDisplay (name);

    if (display == nullptr)
    {
        std::fprintf (stderr, "Tarrowby: cannot open the X display \"%s\"\n", name);
        return false;
    }

    XCloseDisplay (display);
    return true;
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
