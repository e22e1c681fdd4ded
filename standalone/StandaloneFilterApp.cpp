#include "StandaloneFilterApp.h"

#include "DemoTaskbarComponent.h"
#include "PrintableText.h"
#include "SettingsFile.h"

#include <iostream>

namespace juce
{
StandaloneFilterApp::StandaloneFilterApp()
{
    PluginHostType::jucePlugInClientCurrentWrapperType = AudioProcessor::wrapperType_Standalone;

    appProperties.setStorageParameters (getSettingsOptions (getApplicationName()));
}

StandaloneFilterApp::~StandaloneFilterApp() = default;

PropertiesFile::Options StandaloneFilterApp::getSettingsOptions (const String& applicationName)
{
    PropertiesFile::Options options;

    options.applicationName = applicationName;
    options.filenameSuffix = ".settings";
    options.osxLibrarySubFolder = "Application Support";
    options.folderName = {};
    options.commonToAllUsers = false;
    options.ignoreCaseOfKeyNames = false;
    options.doNotSave = false;
    options.millisecondsBeforeSaving = 3000;
    options.storageFormat = PropertiesFile::storeAsXML;
    options.processLock = nullptr;

    return options;
}

namespace
{
/** The names of what was dropped, quoted, the first ten of them, for one line of stderr. */
std::string describe (const StringArray& dropped)
{
    constexpr int maximumNamed = 10;
    std::string names;

    for (int i = 0; i < juce::jmin (dropped.size(), maximumNamed); ++i)
    {
        const auto& name = dropped[i];
        names += (i > 0 ? ", " : "");
        names += name.isEmpty() ? std::string ("content that is no value") : "\"" + guards::printable (name.substring (0, 100).toRawUTF8()) + "\"";
    }

    return dropped.size() > maximumNamed ? names + " and " + std::to_string (dropped.size() - maximumNamed) + " more" : names;
}
} // namespace

PropertySet* StandaloneFilterApp::openUserSettings()
{
    using Outcome = guards::SettingsFile::Preparation::Outcome;
    const auto file = appProperties.getStorageParameters().getDefaultFile();
    const auto path = guards::printable (file.getFullPathName().toRawUTF8());
    const auto prepared = guards::SettingsFile::prepare (file);

    if (prepared.outcome == Outcome::rewritten && ! prepared.dropped.isEmpty())
        std::cerr << "Tarrowby: the settings file " << path << " held what the application cannot use, now dropped: "
                  << describe (prepared.dropped) << "; the file as it was is kept as "
                  << guards::printable (prepared.keptAside.getFullPathName().toRawUTF8()) << std::endl;

    if (prepared.outcome != Outcome::leftInPlace && prepared.outcome != Outcome::notRewritten)
        return appProperties.getUserSettings();

    // The file stays as it is: this run keeps the values taken from it in memory and never writes them.
    if (prepared.outcome == Outcome::leftInPlace)
        std::cerr << "Tarrowby: the settings file " << path
                  << " cannot be read safely and could not be moved aside; starting with default settings, which will not be saved" << std::endl;
    else
        std::cerr << "Tarrowby: the settings file " << path << " could not be rewritten"
                  << (prepared.dropped.isEmpty() ? std::string() : " without " + describe (prepared.dropped))
                  << "; starting with the values taken from it, which will not be saved" << std::endl;

    auto options = appProperties.getStorageParameters();
    options.doNotSave = true;
    settingsOfThisRunOnly = std::make_unique<PropertiesFile> (File(), options);
    settingsOfThisRunOnly->getAllProperties().addArray (prepared.values);
    return settingsOfThisRunOnly.get();
}

const String StandaloneFilterApp::getApplicationName() { return "Tarrowby"; }
const String StandaloneFilterApp::getApplicationVersion() { return TARROWBY_VERSION_STRING; }
bool StandaloneFilterApp::moreThanOneInstanceAllowed() { return true; }
void StandaloneFilterApp::anotherInstanceStarted (const String&) {}

StandaloneFilterWindow* StandaloneFilterApp::createWindow()
{
    const auto backgroundColour = LookAndFeel::getDefaultLookAndFeel()
                                      .findColour (ResizableWindow::backgroundColourId);

    Array<StandalonePluginHolder::PluginInOuts> channels;
    channels.add ({ 16, 16 });

    auto* window = new StandaloneFilterWindow (getApplicationName(),
                                               backgroundColour,
                                               openUserSettings(),
                                               false,
                                               {},
                                               nullptr,
                                               channels,
                                               false);

    window->taskbarComponent = std::make_unique<DemoTaskbarComponent> (*window);
    return window;
}

void StandaloneFilterApp::initialise (const String&)
{
    mainWindow.reset (createWindow());
    mainWindow->setVisible (true);

    quitRequests = std::make_unique<tarrowby::QuitRequestSignal> ([this] { systemRequestedQuit(); });
}

void StandaloneFilterApp::shutdown()
{
    // The quit is under way: quit signals from here on are ignored.
    quitRequests = nullptr;
    mainWindow = nullptr;
    appProperties.saveIfNeeded();
}

void StandaloneFilterApp::systemRequestedQuit()
{
    if (mainWindow != nullptr)
        mainWindow->getPluginHolder()->savePluginState();

    if (ModalComponentManager::getInstance()->cancelAllModalComponents())
    {
        Timer::callAfterDelay (100, [] {
            if (auto* app = JUCEApplicationBase::getInstance())
                app->systemRequestedQuit();
        });
    }
    else
    {
        MessageManager::getInstance()->stopDispatchLoop();
    }
}
} // namespace juce
