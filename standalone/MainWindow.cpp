#include "MainWindow.h"

namespace
{
constexpr int unsetWindowPosition = -100;

enum OptionsMenuItem
{
    audioSettingsItem = 1,
    saveStateItem,
    loadStateItem,
    resetStateItem
};
} // namespace

namespace tarrowby
{
juce::Point<int> getMainWindowPosition (bool hasStoredPosition,
                                        juce::Point<int> storedPosition,
                                        juce::Point<int> windowSize,
                                        const juce::Array<juce::Displays::Display>& displays)
{
    const auto w = windowSize.x;
    const auto h = windowSize.y;

    if (hasStoredPosition && ! displays.isEmpty())
    {
        const juce::Rectangle<int> windowArea (storedPosition.x, storedPosition.y, w, h);
        const juce::Displays::Display* chosen = nullptr;
        juce::int64 bestArea = -1;

        for (const auto& display : displays)
        {
            const auto overlap = display.totalArea.getIntersection (windowArea);
            const auto area = (juce::int64) overlap.getWidth() * (juce::int64) overlap.getHeight();

            if (area >= bestArea)
            {
                bestArea = area;
                chosen = &display;
            }
        }

        const auto user = chosen->userArea;
        return { juce::jlimit (user.getX(), juce::jmax (user.getX(), user.getRight() - w), storedPosition.x),
                 juce::jlimit (user.getY(), juce::jmax (user.getY(), user.getBottom() - h), storedPosition.y) };
    }

    const juce::Displays::Display* primary = nullptr;

    for (const auto& display : displays)
    {
        if (display.isMain)
        {
            primary = &display;
            break;
        }
    }

    if (primary == nullptr)
        primary = displays.isEmpty() ? nullptr : &displays.getReference (0);

    const auto user = primary != nullptr ? primary->userArea : juce::Rectangle<int>();
    return { user.getX() + user.getWidth() / 2 - w / 2,
             user.getY() + user.getHeight() / 2 - h / 2 };
}
} // namespace tarrowby

namespace juce
{
//==============================================================================
StandaloneFilterWindow::StandaloneFilterWindow (const String& title,
                                                Colour backgroundColour,
                                                PropertySet* settingsToUse,
                                                bool takeOwnershipOfSettings,
                                                const String& preferredDefaultDeviceName,
                                                const AudioDeviceManager::AudioDeviceSetup* preferredSetupOptions,
                                                const Array<StandalonePluginHolder::PluginInOuts>& constrainToConfiguration,
                                                bool autoOpenMidiDevices)
    : DocumentWindow (title, backgroundColour, DocumentWindow::minimiseButton | DocumentWindow::closeButton),
      optionsButton ("Options")
{
    setTitleBarButtonsRequired (DocumentWindow::minimiseButton | DocumentWindow::closeButton, false);

    Component::addAndMakeVisible (optionsButton);
    optionsButton.addListener (this);
    optionsButton.setTriggeredOnMouseDown (true);

    pluginHolder = std::make_unique<StandalonePluginHolder> (settingsToUse,
                                                             takeOwnershipOfSettings,
                                                             preferredDefaultDeviceName,
                                                             preferredSetupOptions,
                                                             constrainToConfiguration,
                                                             autoOpenMidiDevices);

    setContentOwned (new MainContentComponent (*this), true);

    placeWindow();

    if (pluginHolder->processor != nullptr)
        if (auto* editor = pluginHolder->processor->getActiveEditor())
            setResizable (editor->isResizable(), false);
}

StandaloneFilterWindow::~StandaloneFilterWindow()
{
    if (auto* settings = pluginHolder->userSettings.get())
    {
        settings->setValue ("windowX", getX());
        settings->setValue ("windowY", getY());
    }

    pluginHolder->stopPlayback();
    clearContentComponent();
    pluginHolder = nullptr;
}

void StandaloneFilterWindow::placeWindow()
{
    auto position = Point<int> (unsetWindowPosition, unsetWindowPosition);
    auto* settings = pluginHolder->userSettings.get();

    if (settings != nullptr)
        position = { settings->getIntValue ("windowX", unsetWindowPosition),
                     settings->getIntValue ("windowY", unsetWindowPosition) };

    const auto hasStoredPosition = settings != nullptr
                                   && position.x != unsetWindowPosition
                                   && position.y != unsetWindowPosition;

    const auto topLeft = tarrowby::getMainWindowPosition (hasStoredPosition,
                                                          position,
                                                          { getWidth(), getHeight() },
                                                          Desktop::getInstance().getDisplays().displays);
    const auto bounds = Rectangle<int> (topLeft.x, topLeft.y, getWidth(), getHeight());

    if (auto* windowConstrainer = getConstrainer())
        windowConstrainer->setBoundsForComponent (this, bounds, false, false, false, false);
    else
        setBounds (bounds);
}

void StandaloneFilterWindow::resized()
{
    DocumentWindow::resized();

    const auto titleHeight = (isUsingNativeTitleBar() && (isOnDesktop() || ! isShowing()))
                                 ? 0
                                 : jmin (getTitleBarHeight(), getHeight() - 4);

    optionsButton.setBounds (8, 6, 60, titleHeight - 8);
}

void StandaloneFilterWindow::closeButtonPressed()
{
    pluginHolder->savePluginState();
    MessageManager::getInstance()->stopDispatchLoop();
}

void StandaloneFilterWindow::buttonClicked (Button*)
{
    PopupMenu menu;
    menu.addItem (audioSettingsItem, TRANS ("Audio/MIDI Settings..."));
    menu.addSeparator();
    menu.addItem (saveStateItem, TRANS ("Save current state..."));
    menu.addItem (loadStateItem, TRANS ("Load a saved state..."));
    menu.addSeparator();
    menu.addItem (resetStateItem, TRANS ("Reset to default state"));

    menu.showMenuAsync (PopupMenu::Options(),
                        ModalCallbackFunction::forComponent (menuCallback, this));
}

void StandaloneFilterWindow::menuCallback (int result, StandaloneFilterWindow* window)
{
    if (window == nullptr || result < audioSettingsItem || result > resetStateItem)
        return;

    window->handleMenuResult (result);
}

void StandaloneFilterWindow::handleMenuResult (int result)
{
    switch (result)
    {
        case audioSettingsItem: pluginHolder->showAudioSettingsDialog(); break;
        case saveStateItem: pluginHolder->askUserToSaveState(); break;
        case loadStateItem: pluginHolder->askUserToLoadState(); break;
        case resetStateItem: resetToDefaultState(); break;
        default: break;
    }
}

void StandaloneFilterWindow::resetToDefaultState()
{
    pluginHolder->stopPlayback();
    clearContentComponent();
    pluginHolder->deletePlugin();

    if (auto* settings = pluginHolder->userSettings.get())
        settings->removeValue ("filterState");

    pluginHolder->createPlugin();

    setUsingNativeTitleBar (false);
    setContentOwned (new MainContentComponent (*this), true);

    pluginHolder->startPlayback();
}

//==============================================================================
StandaloneFilterWindow::MainContentComponent::MainContentComponent (StandaloneFilterWindow& filterWindow)
    : owner (filterWindow),
      notification (this)
{
    auto& holder = *owner.getPluginHolder();

    if (auto* processor = holder.processor.get())
    {
        if (processor->hasEditor())
            editor.reset (processor->createEditorIfNeeded());
        else
            editor = std::make_unique<GenericAudioProcessorEditor> (*processor);
    }

    inputMutedValue.referTo (holder.shouldMuteInput);

    if (editor != nullptr)
    {
        editor->addComponentListener (this);
        componentMovedOrResized (*editor, false, true);
        addAndMakeVisible (editor.get());
    }

    addChildComponent (notification);

    if (holder.processorHasPotentialFeedbackLoop)
    {
        inputMutedValue.addListener (this);
        shouldShowNotification = inputMutedValue.getValue();
    }

    inputMutedChanged (shouldShowNotification);
}

StandaloneFilterWindow::MainContentComponent::~MainContentComponent()
{
    if (editor != nullptr)
    {
        editor->removeComponentListener (this);

        if (auto* processor = owner.getPluginHolder()->processor.get())
            processor->editorBeingDeleted (editor.get());

        editor = nullptr;
    }
}

void StandaloneFilterWindow::MainContentComponent::resized()
{
    auto area = getLocalBounds();

    if (shouldShowNotification)
        notification.setBounds (area.removeFromTop (NotificationArea::height));

    if (editor == nullptr)
        return;

    const auto position = area.getTopLeft().toFloat().transformedBy (editor->getTransform().inverted());
    const auto size = editor->getLocalArea (this, area.toFloat());
    const auto newBounds = size.withPosition (position).toNearestInt();

    if (auto* constrainer = editor->getConstrainer())
        constrainer->setBoundsForComponent (editor.get(), newBounds, true, true, true, true);
    else
        editor->setBounds (newBounds);
}

void StandaloneFilterWindow::MainContentComponent::inputMutedChanged (bool newInputMutedValue)
{
    shouldShowNotification = newInputMutedValue;
    notification.setVisible (shouldShowNotification);

    if (editor == nullptr)
        return;

    const auto extraHeight = shouldShowNotification ? NotificationArea::height : 0;
    const auto rect = getSizeToContainEditor();

    if (auto* constrainer = editor->getConstrainer())
    {
        const auto border = owner.getContentComponentBorder();
        const auto horizontal = border.getLeftAndRight();
        const auto vertical = extraHeight + border.getTopAndBottom();

        owner.setResizeLimits (jmax (10, constrainer->getMinimumWidth() + horizontal),
                               jmax (10, constrainer->getMinimumHeight() + vertical),
                               constrainer->getMaximumWidth() + horizontal,
                               constrainer->getMaximumHeight() + vertical);
    }

    setSize (rect.getWidth(), rect.getHeight() + extraHeight);
}

void StandaloneFilterWindow::MainContentComponent::valueChanged (Value& value)
{
    inputMutedChanged (value.getValue());
}

void StandaloneFilterWindow::MainContentComponent::buttonClicked (Button*)
{
    owner.getPluginHolder()->showAudioSettingsDialog();
}

void StandaloneFilterWindow::MainContentComponent::componentMovedOrResized (Component&, bool, bool)
{
    if (editor == nullptr)
        return;

    const auto rect = getSizeToContainEditor();
    setSize (rect.getWidth(), rect.getHeight() + (shouldShowNotification ? NotificationArea::height : 0));
}

Rectangle<int> StandaloneFilterWindow::MainContentComponent::getSizeToContainEditor() const
{
    return getLocalArea (editor.get(), editor->getLocalBounds());
}

//==============================================================================
StandaloneFilterWindow::MainContentComponent::NotificationArea::NotificationArea (Button::Listener* settingsButtonListener)
    : notificationLabel ("notification", "Audio input is muted to avoid feedback loop"),
      settingsButton ("Settings...")
{
    setOpaque (true);

    notificationLabel.setColour (Label::textColourId, Colours::black);

    settingsButton.addListener (settingsButtonListener);

    addAndMakeVisible (notificationLabel);
    addAndMakeVisible (settingsButton);
}

StandaloneFilterWindow::MainContentComponent::NotificationArea::~NotificationArea() = default;

void StandaloneFilterWindow::MainContentComponent::NotificationArea::paint (Graphics& g)
{
    auto area = getLocalBounds();

    g.setColour (Colours::darkgoldenrod);
    g.fillRect (area.removeFromBottom (1));

    g.setColour (Colours::lightgoldenrodyellow);
    g.fillRect (area);
}

void StandaloneFilterWindow::MainContentComponent::NotificationArea::resized()
{
    auto area = getLocalBounds().reduced (5);

    settingsButton.setBounds (area.removeFromRight (70));
    notificationLabel.setBounds (area);
}
} // namespace juce
