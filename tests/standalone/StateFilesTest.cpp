#include "HostTestSupport.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

using namespace tarrowby::test;
using juce::StandalonePluginHolder;

namespace
{
struct StateFiles : ::testing::Test
{
    StateFiles()
        : holder (makeHolder (&settings.get())),
          probe (installProbe (*holder)),
          folder (settings.getFolder().getChildFile ("states")),
          previousHome (juce::SystemStats::getEnvironmentVariable ("HOME", {}))
    {
        folder.createDirectory();

        // A home of the test's own, with a documents folder.
        const auto home = settings.getFolder().getChildFile ("home");
        home.getChildFile ("Documents").createDirectory();
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    }

    ~StateFiles() override
    {
        closeModalWindows();
        setenv ("HOME", previousHome.toRawUTF8(), 1);
    }

    /** The warning on the desktop, if one shows, with its title and message. */
    static juce::String getWarning()
    {
        if (auto* alert = findOnDesktop<juce::AlertWindow>())
            return alert->getName() + " / " + alert->getDescription().fromFirstOccurrenceOf (". ", false, false);

        return {};
    }

    /** Every name in the folder, hidden ones included. */
    juce::StringArray getFolderContents() const
    {
        juce::StringArray names;

        for (const auto& f : folder.findChildFiles (juce::File::findFilesAndDirectories, false, "*"))
            names.add (f.getFileName());

        names.sort (false);
        return names;
    }

    TempSettings settings;
    std::unique_ptr<StandalonePluginHolder> holder;
    ProbeProcessor& probe;
    juce::File folder;
    juce::String previousHome;

    static constexpr const char* saveWarning = "Error whilst saving / Couldn't write to the specified file!";
    static constexpr const char* loadWarning = "Error whilst loading / Couldn't read from the specified file!";
};

/** The non-native file dialog on the desktop, if one is open. */
juce::FileChooserDialogBox* findFileDialog (const juce::String& title)
{
    return findOnDesktop<juce::FileChooserDialogBox> (title);
}

/** Types a name into the open file dialog and presses its action button. */
void chooseInDialog (juce::FileChooserDialogBox& dialog, const juce::File& file, const juce::String& action)
{
    auto* browser = findChildren<juce::FileBrowserComponent> (dialog).getFirst();
    ASSERT_NE (browser, nullptr);
    browser->setFileName (file.getFullPathName());

    for (auto* button : findChildren<juce::TextButton> (dialog))
        if (button->getButtonText() == action)
            button->onClick();
}
} // namespace

TEST_F (StateFiles, SavesExactlyTheProcessorsBytesAndReplacesTheTarget)
{
    const auto target = folder.getChildFile ("one.state");
    ASSERT_TRUE (target.replaceWithText ("old contents that are longer than the new ones, by far, really"));

    probe.stateToWrite = makeBytes (20000);
    EXPECT_TRUE (holder->saveStateTo (target));

    juce::MemoryBlock written;
    ASSERT_TRUE (target.loadFileAsData (written));
    EXPECT_EQ (written, probe.stateToWrite);
    EXPECT_EQ (getWarning(), "");
    EXPECT_EQ (getFolderContents(), juce::StringArray ("one.state"));
}

TEST_F (StateFiles, AFileThatCannotBeWrittenShowsTheSaveWarning)
{
    probe.stateToWrite = makeBytes (10);

    EXPECT_FALSE (holder->saveStateTo (folder.getChildFile ("missing").getChildFile ("one.state")));
    EXPECT_EQ (getWarning(), saveWarning);
    closeModalWindows();

    // A folder with files in it cannot be replaced by a file.
    const auto inTheWay = folder.getChildFile ("taken");
    ASSERT_TRUE (inTheWay.getChildFile ("inside").create());
    EXPECT_FALSE (holder->saveStateTo (inTheWay));
    EXPECT_EQ (getWarning(), saveWarning);
    EXPECT_TRUE (inTheWay.getChildFile ("inside").existsAsFile());
    EXPECT_EQ (getFolderContents(), juce::StringArray ("taken"));
}

TEST_F (StateFiles, AWriteThatStopsPartWayLeavesTheTargetAlone)
{
    const auto target = folder.getChildFile ("one.state");
    ASSERT_TRUE (target.replaceWithText ("previous state"));

    // Let the file system refuse anything past 4 KB, as a full disk would.
    const auto previousHandler = std::signal (SIGXFSZ, SIG_IGN);
    rlimit previousLimit {};
    ASSERT_EQ (getrlimit (RLIMIT_FSIZE, &previousLimit), 0);

    for (const auto size : { (size_t) 6000, (size_t) 100000 })
    {
        probe.stateToWrite = makeBytes (size);

        rlimit small = previousLimit;
        small.rlim_cur = 4096;
        ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);
        const auto saved = holder->saveStateTo (target);
        setrlimit (RLIMIT_FSIZE, &previousLimit);

        EXPECT_FALSE (saved) << size;
        EXPECT_EQ (target.loadFileAsString(), "previous state") << size;
        EXPECT_EQ (getWarning(), saveWarning) << size;
        EXPECT_EQ (getFolderContents(), juce::StringArray ("one.state")) << size;
        closeModalWindows();
    }

    std::signal (SIGXFSZ, previousHandler);
}

TEST_F (StateFiles, LoadsTheFileBytesUnchanged)
{
    const auto file = folder.getChildFile ("state.bin");
    const auto bytes = makeBytes (5000);
    ASSERT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));

    EXPECT_TRUE (holder->loadStateFrom (file));
    EXPECT_EQ (probe.numStateReads, 1);
    EXPECT_EQ (probe.lastStateRead, bytes);
    EXPECT_EQ (getWarning(), "");

    // An empty file goes to the processor too, which decides what it accepts.
    const auto empty = folder.getChildFile ("empty");
    ASSERT_TRUE (empty.create());
    EXPECT_TRUE (holder->loadStateFrom (empty));
    EXPECT_EQ (probe.numStateReads, 2);
    EXPECT_EQ (probe.lastStateRead.getSize(), 0u);
    EXPECT_EQ (getWarning(), "");
}

TEST_F (StateFiles, AFileThatCannotBeReadShowsTheLoadWarningAndLeavesTheProcessor)
{
    for (const auto& file : { folder.getChildFile ("missing"), folder })
    {
        EXPECT_FALSE (holder->loadStateFrom (file));
        EXPECT_EQ (probe.numStateReads, 0);
        EXPECT_EQ (getWarning(), loadWarning);
        closeModalWindows();
    }
}

TEST_F (StateFiles, SaveThenLoadRestoresTheRealProcessorsState)
{
    holder->stopPlayback();
    holder->deletePlugin();
    holder->createPlugin();
    holder->startPlayback();

    auto* parameter = holder->processor->getParameters()[0];
    const auto before = parameter->getValue();
    const auto file = folder.getChildFile ("real.state");

    juce::MemoryBlock expected;
    holder->processor->getStateInformation (expected);
    ASSERT_TRUE (holder->saveStateTo (file));

    juce::MemoryBlock written;
    file.loadFileAsData (written);
    EXPECT_EQ (written, expected);

    // The file holds what "filterState" holds before encoding.
    holder->savePluginState();
    juce::MemoryBlock decoded;
    ASSERT_TRUE (decoded.fromBase64Encoding (settings.get().getValue ("filterState")));
    EXPECT_EQ (decoded, written);

    parameter->setValueNotifyingHost (before > 0.5f ? 0.1f : 0.9f);
    ASSERT_TRUE (holder->loadStateFrom (file));
    EXPECT_NEAR (holder->processor->getParameters()[0]->getValue(), before, 1.0e-6f);
}

//==============================================================================
TEST_F (StateFiles, DialogsStartInTheDocumentsFolderUntilAFileIsChosen)
{
    const auto documents = juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);
    EXPECT_EQ (documents, settings.getFolder().getChildFile ("home").getChildFile ("Documents"));
    EXPECT_EQ (holder->getLastFile(), documents);

    settings.get().setValue ("lastStateFile", "");
    EXPECT_EQ (holder->getLastFile(), documents);

    settings.get().setValue ("lastStateFile", "relative/name.state");
    EXPECT_EQ (holder->getLastFile(), documents);

    const auto chosen = folder.getChildFile ("chosen.state");
    settings.get().setValue ("lastStateFile", chosen.getFullPathName());
    EXPECT_EQ (holder->getLastFile(), chosen);
}

TEST_F (StateFiles, CancellingEitherDialogDoesNothing)
{
    if (juce::FileChooser::isPlatformDialogAvailable())
        GTEST_SKIP() << "a platform file dialog cannot be driven here";

    settings.get().setValue ("lastStateFile", folder.getChildFile ("last.state").getFullPathName());
    probe.stateToWrite = makeBytes (10);

    holder->askUserToSaveState();
    auto* save = findFileDialog ("Save current state");
    ASSERT_NE (save, nullptr);
    EXPECT_TRUE (save->isCurrentlyModal());
    closeModalWindows();

    holder->askUserToLoadState();
    ASSERT_NE (findFileDialog ("Load a saved state"), nullptr);
    closeModalWindows();

    EXPECT_EQ (settings.get().getValue ("lastStateFile"), folder.getChildFile ("last.state").getFullPathName());
    EXPECT_EQ (probe.numStateReads, 0);
    EXPECT_TRUE (folder.findChildFiles (juce::File::findFiles, false, "*").isEmpty());
    EXPECT_EQ (getWarning(), "");
}

TEST_F (StateFiles, ChoosingAFileSavesAndLoadsItAndRemembersIt)
{
    if (juce::FileChooser::isPlatformDialogAvailable())
        GTEST_SKIP() << "a platform file dialog cannot be driven here";

    const auto file = folder.getChildFile ("chosen.state");
    probe.stateToWrite = makeBytes (300);

    holder->askUserToSaveState();
    auto* save = findFileDialog ("Save current state");
    ASSERT_NE (save, nullptr);
    auto* saveBrowser = findChildren<juce::FileBrowserComponent> (*save).getFirst();
    ASSERT_NE (saveBrowser, nullptr);
    EXPECT_EQ (saveBrowser->getRoot(), juce::File::getSpecialLocation (juce::File::userDocumentsDirectory));
    EXPECT_TRUE (saveBrowser->isSaveMode());

    chooseInDialog (*save, file, "Save");
    ASSERT_TRUE (pumpMessagesUntil ([&] { return file.existsAsFile(); }, 2000));
    EXPECT_EQ (settings.get().getValue ("lastStateFile"), file.getFullPathName());

    juce::MemoryBlock written;
    file.loadFileAsData (written);
    EXPECT_EQ (written, probe.stateToWrite);

    // The next dialog starts at that file and reads it back.
    holder->askUserToLoadState();
    auto* load = findFileDialog ("Load a saved state");
    ASSERT_NE (load, nullptr);
    auto* loadBrowser = findChildren<juce::FileBrowserComponent> (*load).getFirst();
    ASSERT_NE (loadBrowser, nullptr);
    EXPECT_EQ (loadBrowser->getRoot(), folder);
    EXPECT_FALSE (loadBrowser->isSaveMode());

    chooseInDialog (*load, file, "Open");
    ASSERT_TRUE (pumpMessagesUntil ([&] { return probe.numStateReads == 1; }, 2000));
    EXPECT_EQ (probe.lastStateRead, probe.stateToWrite);

    // Saving over it asks first.
    holder->askUserToSaveState();
    save = findFileDialog ("Save current state");
    ASSERT_NE (save, nullptr);
    chooseInDialog (*save, file, "Save");
    EXPECT_TRUE (pumpMessagesUntil ([] { return findOnDesktop<juce::AlertWindow>() != nullptr; }, 2000));
    closeModalWindows();

    // A failed save still remembers the file it tried.
    const auto unreachable = folder.getChildFile ("missing").getChildFile ("x.state");
    holder->askUserToSaveState();
    save = findFileDialog ("Save current state");
    ASSERT_NE (save, nullptr);
    chooseInDialog (*save, unreachable, "Save");
    EXPECT_TRUE (pumpMessagesUntil ([] { return getWarning() == saveWarning; }, 2000));
    EXPECT_EQ (settings.get().getValue ("lastStateFile"), unreachable.getFullPathName());
    EXPECT_EQ (holder->getLastFile(), unreachable);
}
