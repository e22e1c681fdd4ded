#include "PluginEditor.h"

#include <gtest/gtest.h>

using PopupLookAndFeel = JuceDemoPluginAudioProcessor::JuceDemoPluginAudioProcessorEditor::ForcePopupsInParentWindow;

TEST (PopupLookAndFeel, MenuOpensInTheParentTheOptionsName)
{
    PopupLookAndFeel lookAndFeel;
    juce::Component parent;

    EXPECT_EQ (lookAndFeel.getParentComponentForMenuOptions (juce::PopupMenu::Options()), nullptr);
    EXPECT_EQ (lookAndFeel.getParentComponentForMenuOptions (juce::PopupMenu::Options().withParentComponent (&parent)), &parent);
}

TEST (PopupLookAndFeel, OtherwiseDrawsAsTheV4LookAndFeel)
{
    PopupLookAndFeel lookAndFeel;
    juce::LookAndFeel_V4 reference;

    for (const int id : { (int) juce::TextButton::buttonColourId, (int) juce::TextButton::buttonOnColourId,
                           (int) juce::TextButton::textColourOnId, (int) juce::TextButton::textColourOffId,
                           (int) juce::ResizableWindow::backgroundColourId })
        EXPECT_EQ (lookAndFeel.findColour (id), reference.findColour (id));
}
