#include "DemoTaskbarComponent.h"

#include "MainWindow.h"

#ifndef TARROWBY_FALLBACK_ASSETS_BASE64
 #define TARROWBY_FALLBACK_ASSETS_BASE64 ""
#endif

namespace tarrowby
{
namespace
{
juce::File getBuildTimeFolder()
{
    juce::MemoryOutputStream decoded;

    if (! juce::Base64::convertFromBase64 (decoded, TARROWBY_FALLBACK_ASSETS_BASE64))
        return {};

    const auto path = decoded.toUTF8();

    if (! juce::File::isAbsolutePath (path))
        return {};

    return juce::File (path);
}
} // namespace

juce::File getAssetsFolderForExecutable (const juce::File& executable)
{
    auto resources = executable.getParentDirectory().getParentDirectory().getChildFile ("Resources");

    if (resources.getFullPathName().isNotEmpty() && resources.exists())
        return resources;

    const auto buildTimeFolder = getBuildTimeFolder();

    if (buildTimeFolder == juce::File())
        return {};

    return buildTimeFolder.getChildFile ("Assets");
}
} // namespace tarrowby

namespace juce
{
Image getImageFromAssets (const char* assetName)
{
    const auto hashCode = (String (assetName) + "@juce_demo_assets").hashCode64();
    auto image = ImageCache::getFromHashCode (hashCode);

    if (image.isValid())
        return image;

    const auto folder = tarrowby::getAssetsFolderForExecutable (File::getSpecialLocation (File::currentExecutableFile));

    if (folder == File())
        return {};

    FileInputStream stream (folder.getChildFile (assetName));

    if (! stream.openedOk())
        return {};

    image = ImageFileFormat::loadFrom (stream);
    ImageCache::addImageToCache (image, hashCode);
    return image;
}

//==============================================================================
DemoTaskbarComponent::DemoTaskbarComponent (StandaloneFilterWindow& windowToToggle)
{
    const auto colourImage = getImageFromAssets ("logo_icon.png");
    const auto templateImage = getImageFromAssets ("logo_icon_template.png");

    setIconImage (colourImage, templateImage);
    setIconTooltip ("Pellavine: Tarrowby");

    ownerWindow = &windowToToggle;
}

DemoTaskbarComponent::~DemoTaskbarComponent() = default;

void DemoTaskbarComponent::mouseDown (const MouseEvent&)
{
    ownerWindow->setVisible (! ownerWindow->isVisible());
}
} // namespace juce
