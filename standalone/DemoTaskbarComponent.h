#pragma once

#include <juce_gui_extra/juce_gui_extra.h>

namespace tarrowby
{
/** The folder that juce::getImageFromAssets reads for an executable at the given place. */
juce::File getAssetsFolderForExecutable (const juce::File& executable);
} // namespace tarrowby

namespace juce
{
class StandaloneFilterWindow;

/**
    Loads an image file from the application's resources folder (the
    executable's parent's parent, child "Resources"), or from the "Assets"
    folder fixed at build time when that folder does not exist. Images are
    kept in the image cache; a file that cannot be opened gives a null image.

    Message thread.
*/
Image getImageFromAssets (const char* assetName);

/**
    The tray icon: a click shows the main window when it is hidden and hides it
    when it is shown.

    Message thread only.
*/
class DemoTaskbarComponent : public SystemTrayIconComponent
{
public:
    explicit DemoTaskbarComponent (StandaloneFilterWindow& windowToToggle);
    ~DemoTaskbarComponent() override;

    void mouseDown (const MouseEvent&) override;

private:
    StandaloneFilterWindow* ownerWindow = nullptr;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (DemoTaskbarComponent)
};
} // namespace juce
