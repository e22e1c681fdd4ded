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

protected:
    ApplicationProperties appProperties;
    /** Settings kept in memory only, for a run whose settings file can be neither read nor moved aside. */
    std::unique_ptr<PropertiesFile> settingsOfThisRunOnly;
    std::unique_ptr<StandaloneFilterWindow> mainWindow;

private:
    /** Message thread, at start. The user settings of appProperties once the file at their path
        is safe to read (see guards::SettingsFile); when it is not and cannot be moved aside, settings
        for this run only, empty and never saved, so that the file is neither read nor overwritten. */
    PropertySet* openUserSettings();

    /** The system's quit requests, routed to systemRequestedQuit from the end of initialise
        to the start of shutdown; those from earlier wait, later ones are ignored. */
    std::unique_ptr<tarrowby::QuitRequestSignal> quitRequests;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (StandaloneFilterApp)
};
} // namespace juce
