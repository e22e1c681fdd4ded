#pragma once

#include "MainWindow.h"
#include "TestSupport.h"

#include <map>
#include <memory>

namespace tarrowby::test
{
/** A main window as the application builds it (16 inputs, 16 outputs), on in-memory settings. Message thread. */
struct TestWindow
{
    explicit TestWindow (const std::map<juce::String, juce::var>& initialSettings = {})
    {
        juce::PluginHostType::jucePlugInClientCurrentWrapperType = juce::AudioProcessor::wrapperType_Standalone;

        juce::PropertiesFile::Options options;
        options.applicationName = "TarrowbyWindowTest";
        options.folderName = "tarrowby-window-test";
        options.doNotSave = true;
        settings = std::make_unique<juce::PropertiesFile> (options);

        for (const auto& [key, value] : initialSettings)
            settings->setValue (key, value);

        juce::Array<juce::StandalonePluginHolder::PluginInOuts> channels;
        channels.add ({ 16, 16 });
        window = std::make_unique<juce::StandaloneFilterWindow> ("Tarrowby", juce::Colours::darkgrey, settings.get(),
                                                                 false, juce::String(), nullptr, channels, false);
    }

    ~TestWindow()
    {
        juce::ModalComponentManager::getInstance()->cancelAllModalComponents();
        pumpMessages (20);
        window = nullptr;
    }

    juce::StandaloneFilterWindow::MainContentComponent* getContent() const
    {
        return dynamic_cast<juce::StandaloneFilterWindow::MainContentComponent*> (window->getContentComponent());
    }

    juce::StandalonePluginHolder& getHolder() const { return *window->getPluginHolder(); }

    std::unique_ptr<juce::PropertiesFile> settings;
    std::unique_ptr<juce::StandaloneFilterWindow> window;
};
} // namespace tarrowby::test
