// Arbitrary bytes as the settings file: opened as the application opens it, then
// read by a plug-in holder's start-up (device set-up, input muting, processor
// state) and written back by its shut-down. There is no audio server or sound
// card here, so the device manager finds no device and opens none.
#include "FuzzSupport.h"
#include "StandaloneFilterApp.h"
#include "StandalonePluginHolder.h"
#include "UntrustedInput.h"

namespace
{
juce::File settingsFile;
} // namespace

void tarrowby::fuzz::fuzzOne (const std::uint8_t* data, std::size_t size)
{
    if (settingsFile == juce::File())
    {
        const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                                .getNonexistentChildFile ("tarrowby-fuzz-settings", {}, false);
        folder.createDirectory();
        settingsFile = folder.getChildFile ("Tarrowby.settings");
        std::atexit ([] { settingsFile.getParentDirectory().deleteRecursively(); });
    }

    require (settingsFile.replaceWithData (data, size), "settings file written");

    // As the application does before it opens the file: what the framework's reader
    // could not take safely, or would not read, is moved aside, bytes kept, and the
    // start uses defaults.
    const auto check = UntrustedInput::setAsideUnreadableSettingsFile (settingsFile);
    require (check != UntrustedInput::SettingsFileCheck::leftInPlace, "the folder is writable");

    if (check == UntrustedInput::SettingsFileCheck::setAside)
    {
        require (! settingsFile.exists(), "the unsafe file was moved");
        const auto aside = settingsFile.getSiblingFile ("Tarrowby.settings.unreadable");
        require (aside.getSize() == (juce::int64) size, "the unsafe file kept its bytes");
        aside.deleteFile();
    }

    juce::PropertiesFile settings (settingsFile, juce::StandaloneFilterApp::getSettingsOptions ("Tarrowby"));
    require (size == 0 || settings.isValidFile(), "a file that was kept, unless empty, reads as the settings document");

    {
        juce::Array<juce::StandalonePluginHolder::PluginInOuts> channels;
        channels.add ({ 16, 16 });
        juce::StandalonePluginHolder holder (&settings, false, {}, nullptr, channels, false);

        require (holder.processor != nullptr, "the holder made its processor");
        checkProcessor (*dynamic_cast<JuceDemoPluginAudioProcessor*> (holder.processor.get()));
    }

    const auto muting = settings.getValue ("shouldMuteInput");
    require (muting == "0" || muting == "1", "shut-down wrote the input muting");
}
