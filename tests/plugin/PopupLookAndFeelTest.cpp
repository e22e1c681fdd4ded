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
