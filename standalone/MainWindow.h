#pragma once

#include "StandalonePluginHolder.h"

#include <juce_audio_utils/juce_audio_utils.h>

#include <memory>

namespace tarrowby
{
/**
    Works out where the main window goes. With a stored position (neither value
    -100), the window is clamped into the user area of the display that overlaps
    it most (ties and no overlap at all go to the later display); otherwise it is
    centred on the primary display's user area.

    Message thread.
*/
juce::Point<int> getMainWindowPosition (bool hasStoredPosition,
                                        juce::Point<int> storedPosition,
                                        juce::Point<int> windowSize,
                                        const juce::Array<juce::Displays::Display>& displays);
} // namespace tarrowby

namespace juce
{
/**
    The application's main window: the plug-in holder, the processor's editor
    with the input-muted notification bar as its content, the "Options" button in
    the title bar, and the tray icon.

    Message thread only.
*/
class StandaloneFilterWindow : public DocumentWindow,
                               private Button::Listener
{
public:
    /** Builds the holder (which opens the device and creates the processor), the
        content, and places the window from "windowX"/"windowY". */
    StandaloneFilterWindow (const String& title,
                            Colour backgroundColour,
                            PropertySet* settingsToUse,
                            bool takeOwnershipOfSettings,
                            const String& preferredDefaultDeviceName = String(),
                            const AudioDeviceManager::AudioDeviceSetup* preferredSetupOptions = nullptr,
                            const Array<StandalonePluginHolder::PluginInOuts>& constrainToConfiguration = {},
                            bool autoOpenMidiDevices = false);

    /** Writes "windowX"/"windowY", then tears down the content before the holder. */
    ~StandaloneFilterWindow() override;

    void resized() override;

    /** Saves the processor state and stops the message loop. */
    void closeButtonPressed() override;

    /** The holder; null only while the destructor runs. */
    virtual StandalonePluginHolder* getPluginHolder() { return pluginHolder.get(); }

    /** Receives the Options menu's result: 0 or anything outside 1..4, or a deleted window, does nothing. */
    static void menuCallback (int result, StandaloneFilterWindow* window);

    /** Replaces the processor and its editor with fresh ones and forgets "filterState". */
    void resetToDefaultState();

    class MainContentComponent;

    //==============================================================================
    std::unique_ptr<StandalonePluginHolder> pluginHolder;
    std::unique_ptr<Component> taskbarComponent;

private:
    void buttonClicked (Button*) override;
    void handleMenuResult (int result);
    void placeWindow();

    TextButton optionsButton;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (StandaloneFilterWindow)
};

//==============================================================================
/**
    The main window's content: the processor's editor and, above it, a 30-pixel
    bar that shows while the input is muted and a feedback loop is possible. Its
    size is the editor's size plus the bar's height while the bar shows.

    Message thread only.
*/
class StandaloneFilterWindow::MainContentComponent : public Component,
                                                     private Value::Listener,
                                                     private Button::Listener,
                                                     private ComponentListener
{
public:
    explicit MainContentComponent (StandaloneFilterWindow& filterWindow);
    ~MainContentComponent() override;

    void resized() override;

    /** Shows or hides the bar, updates the window's resize limits and the content size. */
    void inputMutedChanged (bool newInputMutedValue);

    /** The bar: a label and a "Settings..." button on a light yellow strip. */
    class NotificationArea : public Component
    {
    public:
        static constexpr int height = 30;

        explicit NotificationArea (Button::Listener* settingsButtonListener);
        ~NotificationArea() override;

        void paint (Graphics& g) override;
        void resized() override;

        Label notificationLabel;
        TextButton settingsButton;

    private:
        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (NotificationArea)
    };

    /** The editor shown, or null when the processor gives none. */
    AudioProcessorEditor* getEditor() const noexcept { return editor.get(); }

    /** The bar. */
    NotificationArea& getNotificationArea() noexcept { return notification; }

    bool isShowingNotification() const noexcept { return shouldShowNotification; }

private:
    void valueChanged (Value& value) override;
    void buttonClicked (Button*) override;
    void componentMovedOrResized (Component&, bool wasMoved, bool wasResized) override;

    Rectangle<int> getSizeToContainEditor() const;

    StandaloneFilterWindow& owner;
    NotificationArea notification;
    std::unique_ptr<AudioProcessorEditor> editor;
    Value inputMutedValue;
    bool shouldShowNotification = false;

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainContentComponent)
};
} // namespace juce
