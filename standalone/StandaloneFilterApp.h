#pragma once

#include "QuitRequestSignal.h"
#include "MainWindow.h"

#include <juce_audio_utils/juce_audio_utils.h>

#include <memory>

namespace juce
{
/**
    The application: keeps the settings files, builds and shows the main window
    at start, saves the processor state on a quit request and the settings at
    shut-down.

    Message thread only.
*/
class StandaloneFilterApp : public JUCEApplication
{
public:
    /** Marks the process as a stand-alone client and sets the settings-file options. */
    StandaloneFilterApp();
    ~StandaloneFilterApp() override;

    const String getApplicationName() override;
    const String getApplicationVersion() override;
    bool moreThanOneInstanceAllowed() override;

    void initialise (const String& commandLine) override;
    void shutdown() override;
    void anotherInstanceStarted (const String& commandLine) override;

    /** Saves the state, then quits once no modal component is left (retried every 100 ms). */
    void systemRequestedQuit() override;

    /** Builds the main window with its holder, content, position and tray icon; the caller owns it. */
    virtual StandaloneFilterWindow* createWindow();

    /** The settings-file options this application uses. */
    static PropertiesFile::Options getSettingsOptions (const String& applicationName);

    /** Moves a settings file that the framework's reader could not take safely (it could
        loop, recurse past the stack or read past the end of the text) to a sibling named
        "<file>.unreadable", keeping its bytes, so that the application starts with
        defaults. Returns true when it moved the file. */
    static bool setAsideUnsafeSettingsFile (const File& settingsFile);

protected:
    ApplicationProperties appProperties;
    std::unique_ptr<StandaloneFilterWindow> mainWindow;

private:
    /** The system's quit requests, routed to systemRequestedQuit from the end of initialise
        to the start of shutdown; those from earlier wait, later ones are ignored. */
    std::unique_ptr<tarrowby::QuitRequestSignal> quitRequests;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (StandaloneFilterApp)
};
} // namespace juce
