// Arbitrary bytes as the settings file: opened as the application opens it, then
// read by a plug-in holder's start-up (device set-up, input muting, processor
// state) and written back by its shut-down. There is no audio server or sound
// card here, so the device manager finds no device and opens none.
#include "FuzzSupport.h"
#include "StandalonePluginHolder.h"

#include <cstring>

namespace
{
juce::File settingsFile;

juce::PropertiesFile::Options getOptions()
{
    juce::PropertiesFile::Options options;
    options.applicationName = "Tarrowby";
    options.filenameSuffix = ".settings";
    options.storageFormat = juce::PropertiesFile::storeAsXML;
    options.millisecondsBeforeSaving = 3000;
    return options;
}
} // namespace

extern "C" int LLVMFuzzerInitialize (int*, char***)
{
    tarrowby::fuzz::initialise();

    const auto folder = juce::File::getSpecialLocation (juce::File::tempDirectory)
                            .getNonexistentChildFile ("tarrowby-fuzz-settings", {}, false);
    folder.createDirectory();
    settingsFile = folder.getChildFile ("Tarrowby.settings");
    std::atexit ([] { settingsFile.getParentDirectory().deleteRecursively(); });
    return 0;
}

/**
    Whether the framework's settings-file reader itself can take these bytes. The
    application writes XML settings; the reader also takes a binary form ("PROP",
    or "CPRP" compressed) that trusts its strings to be valid UTF-8, and its XML
    parser needs text that passes the processor's XML check. Files that fail this
    are left out here: they would stop the framework (running past the end of the
    text, recursing past the stack, or looping) before the holder reads anything.
*/
bool frameworkCanOpen (const char* bytes, size_t size)
{
    if (size >= 4 && (std::memcmp (bytes, "PROP", 4) == 0 || std::memcmp (bytes, "CPRP", 4) == 0))
        return false;

    return JuceDemoPluginAudioProcessor::canParseXmlSafely (bytes, size);
}

extern "C" int LLVMFuzzerTestOneInput (const uint8_t* data, size_t size)
{
    using tarrowby::fuzz::require;

    if (! frameworkCanOpen (reinterpret_cast<const char*> (data), size))
        return 0;

    require (settingsFile.replaceWithData (data, size), "settings file written");

    {
        juce::PropertiesFile settings (settingsFile, getOptions());

        {
            juce::Array<juce::StandalonePluginHolder::PluginInOuts> channels;
            channels.add ({ 16, 16 });
            juce::StandalonePluginHolder holder (&settings, false, {}, nullptr, channels, false);

            require (holder.processor != nullptr, "the holder made its processor");
            tarrowby::fuzz::checkProcessor (*dynamic_cast<JuceDemoPluginAudioProcessor*> (holder.processor.get()));
        }

        const auto muting = settings.getValue ("shouldMuteInput");
        require (muting == "0" || muting == "1", "shut-down wrote the input muting");
    }

    tarrowby::fuzz::deliverMessages();
    return 0;
}
