#include "StandaloneFilterApp.h"

#include "DemoTaskbarComponent.h"
#include "PluginProcessor.h"

#include <cstring>

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

bool StandaloneFilterApp::setAsideUnsafeSettingsFile (const File& settingsFile)
{
    MemoryBlock bytes;

    if (! settingsFile.existsAsFile() || ! settingsFile.loadFileAsData (bytes))
        return false;

    const auto* text = static_cast<const char*> (bytes.getData());
    const auto size = bytes.getSize();

    // Settings are written as XML; the reader's binary forms trust their strings blindly.
    const auto isBinaryForm = size >= 4 && (std::memcmp (text, "PROP", 4) == 0 || std::memcmp (text, "CPRP", 4) == 0);

    if (! isBinaryForm && JuceDemoPluginAudioProcessor::canParseXmlSafely (text, size))
        return false;

    const auto aside = settingsFile.getSiblingFile (settingsFile.getFileName() + ".unreadable")
                           .getNonexistentSibling (false);
    return settingsFile.moveFileTo (aside);
}

const String StandaloneFilterApp::getApplicationName()    { return "Tarrowby"; }
const String StandaloneFilterApp::getApplicationVersion() { return TARROWBY_VERSION_STRING; }
bool StandaloneFilterApp::moreThanOneInstanceAllowed()     { return true; }
void StandaloneFilterApp::anotherInstanceStarted (const String&) {}

StandaloneFilterWindow* StandaloneFilterApp::createWindow()
{
    const auto backgroundColour = LookAndFeel::getDefaultLookAndFeel()
                                      .findColour (ResizableWindow::backgroundColourId);

    setAsideUnsafeSettingsFile (appProperties.getStorageParameters().getDefaultFile());

    Array<StandalonePluginHolder::PluginInOuts> channels;
    channels.add ({ 16, 16 });

    auto* window = new StandaloneFilterWindow (getApplicationName(),
                                               backgroundColour,
                                               appProperties.getUserSettings(),
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
        Timer::callAfterDelay (100, []
        {
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
