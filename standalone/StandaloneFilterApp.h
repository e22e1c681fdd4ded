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
    /** Settings kept in memory only, for a run whose settings file can be neither rewritten nor moved aside. */
    std::unique_ptr<PropertiesFile> settingsOfThisRunOnly;
    std::unique_ptr<StandaloneFilterWindow> mainWindow;

private:
    /** Message thread, at start. The user settings of appProperties once the file at their path holds
        the framework's writing of the values taken from it (see guards::SettingsFile::prepare), saying on
        stderr what was dropped; when it cannot be made so, settings for this run only, holding the values
        taken and never saved, so that the file is neither read by the framework nor overwritten. */
    PropertySet* openUserSettings();

    /** The system's quit requests, routed to systemRequestedQuit from the end of initialise
        to the start of shutdown; those from earlier wait, later ones are ignored. */
    std::unique_ptr<tarrowby::QuitRequestSignal> quitRequests;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (StandaloneFilterApp)
};
} // namespace juce
