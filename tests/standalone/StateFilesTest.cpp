#include "HostTestSupport.h"
#include "TestFifo.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

using namespace tarrowby::test;
using juce::StandalonePluginHolder;

namespace
{
constexpr const char* saveWarning = "Error whilst saving / Couldn't write to the specified file!";
constexpr const char* loadWarning = "Error whilst loading / Couldn't read from the specified file!";

/** The warning on the desktop, as "title / message", or empty; closes it. */
juce::String takeWarning()
{
    juce::String text;

    if (auto* alert = findOnDesktop<juce::AlertWindow>())
        text = alert->getName() + " / " + alert->getDescription().fromFirstOccurrenceOf (". ", false, false);

    closeModalWindows();
    return text;
}

/** A holder with a probe, a folder for state files and a home with a documents folder, all of the test's own. */
struct StateFiles : ::testing::Test
{
    StateFiles()
        : holder (makeHolder (&settings.get())),
          probe (installProbe (*holder)),
          folder (settings.getFolder().getChildFile ("states")),
          previousHome (juce::SystemStats::getEnvironmentVariable ("HOME", {}))
    {
        folder.createDirectory();
        const auto home = settings.getFolder().getChildFile ("home");
        home.getChildFile ("Documents").createDirectory();
        setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);
    }

    ~StateFiles() override
    {
        closeModalWindows();
        setenv ("HOME", previousHome.toRawUTF8(), 1);
    }

    /** Every name in the folder, hidden ones included. */
    juce::StringArray folderContents() const
    {
        juce::StringArray names;

        for (const auto& f : folder.findChildFiles (juce::File::findFilesAndDirectories, false, "*"))
            names.add (f.getFileName());

        return names;
    }

    /** Opens the save or load dialog and returns it with its browser. */
    std::pair<juce::FileChooserDialogBox*, juce::FileBrowserComponent*> openDialog (bool save)
    {
        save ? holder->askUserToSaveState() : holder->askUserToLoadState();
        auto* dialog = findOnDesktop<juce::FileChooserDialogBox> (save ? "Save current state" : "Load a saved state");
        return { dialog, dialog != nullptr ? findChildren<juce::FileBrowserComponent> (*dialog).getFirst() : nullptr };
    }

    /** Opens a dialog, types the file's name into it and presses its action button. */
    void choose (bool save, const juce::File& file)
    {
        auto [dialog, browser] = openDialog (save);
        ASSERT_NE (browser, nullptr);
        browser->setFileName (file.getFullPathName());
        findChild<juce::TextButton> (*dialog, [&] (auto& b) { return b.getButtonText() == (save ? "Save" : "Open"); })->onClick();
    }

    TempSettings settings;
    std::unique_ptr<StandalonePluginHolder> holder;
    ProbeProcessor& probe;
    juce::File folder;
    juce::String previousHome;
};
} // namespace

TEST_F (StateFiles, SavingWritesExactlyTheProcessorsBytesOrWarnsAndLeavesTheTarget)
{
    const auto target = folder.getChildFile ("one.state");
    ASSERT_TRUE (target.replaceWithText ("old contents that are longer than the new ones, by far, really"));
    probe.stateToWrite = makeBytes (20000);
    EXPECT_TRUE (holder->saveStateTo (target));

    juce::MemoryBlock written;
    ASSERT_TRUE (target.loadFileAsData (written));
    EXPECT_EQ (written, probe.stateToWrite);
    EXPECT_EQ (takeWarning(), "");
    EXPECT_EQ (folderContents(), juce::StringArray ("one.state"));

    // A folder that does not exist, and a folder with files in it that a file cannot replace.
    const auto inTheWay = folder.getChildFile ("taken");
    ASSERT_TRUE (inTheWay.getChildFile ("inside").create());

    for (const auto& unwritable : { folder.getChildFile ("missing").getChildFile ("one.state"), inTheWay })
    {
        EXPECT_FALSE (holder->saveStateTo (unwritable));
        EXPECT_EQ (takeWarning(), saveWarning);
    }

    EXPECT_TRUE (inTheWay.getChildFile ("inside").existsAsFile());

    // A write that stops part-way, as on a full disk, leaves the old file and no temporary one.
    ASSERT_TRUE (target.replaceWithText ("previous state"));
    const auto previousHandler = std::signal (SIGXFSZ, SIG_IGN);
    rlimit previousLimit {};
    ASSERT_EQ (getrlimit (RLIMIT_FSIZE, &previousLimit), 0);

    for (const auto size : { (size_t) 6000, (size_t) 100000 })
    {
        probe.stateToWrite = makeBytes (size);
        auto small = previousLimit;
        small.rlim_cur = 4096;
        ASSERT_EQ (setrlimit (RLIMIT_FSIZE, &small), 0);
        const auto saved = holder->saveStateTo (target);
        setrlimit (RLIMIT_FSIZE, &previousLimit);

        EXPECT_FALSE (saved) << size;
        EXPECT_EQ (target.loadFileAsString(), "previous state") << size;
        EXPECT_EQ (takeWarning(), saveWarning) << size;
        EXPECT_EQ (folderContents().size(), 2) << folderContents().joinIntoString (" ");
    }

    std::signal (SIGXFSZ, previousHandler);
}

TEST_F (StateFiles, LoadingHandsTheFileBytesToTheProcessorOrWarnsAndLeavesIt)
{
    const auto file = folder.getChildFile ("state.bin");
    const auto bytes = makeBytes (5000);
    ASSERT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));
    EXPECT_TRUE (holder->loadStateFrom (file));
    EXPECT_EQ (probe.lastStateRead, bytes);

    // An empty file goes to the processor too, which decides what it accepts.
    const auto empty = folder.getChildFile ("empty");
    ASSERT_TRUE (empty.create());
    EXPECT_TRUE (holder->loadStateFrom (empty));
    EXPECT_EQ (probe.lastStateRead.getSize(), 0u);
    EXPECT_EQ (takeWarning(), "");

    // Only a regular file of a state's size is read: never a device, a pipe or a folder, and never waiting.
    const auto pipe = folder.getChildFile ("pipe");
    TestFifo fifo (pipe);
    ASSERT_TRUE (fifo.made);
    const auto tooLarge = folder.getChildFile ("too-large");
    ASSERT_TRUE (tooLarge.replaceWithData (makeBytes (1024 * 1024 + 1).getData(), 1024 * 1024 + 1));

    for (const auto& unreadable : { folder.getChildFile ("missing"), folder, juce::File ("/dev/zero"), pipe, tooLarge })
    {
        EXPECT_FALSE (holder->loadStateFrom (unreadable)) << unreadable.getFullPathName();
        EXPECT_EQ (takeWarning(), loadWarning);
    }

    EXPECT_EQ (probe.numStateReads, 2);
}

TEST_F (StateFiles, TheRealProcessorsStateRoundTripsAndMatchesTheSavedSetting)
{
    holder->createPlugin();
    auto* parameter = holder->processor->getParameters()[0];
    const auto before = parameter->getValue();
    const auto file = folder.getChildFile ("real.state");
    ASSERT_TRUE (holder->saveStateTo (file));

    // The file holds what "filterState" holds before encoding.
    holder->savePluginState();
    juce::MemoryBlock written, decoded;
    file.loadFileAsData (written);
    ASSERT_TRUE (decoded.fromBase64Encoding (settings.get().getValue ("filterState")));
    EXPECT_EQ (decoded, written);

    parameter->setValueNotifyingHost (before > 0.5f ? 0.1f : 0.9f);
    ASSERT_TRUE (holder->loadStateFrom (file));
    EXPECT_EQ (holder->processor->getParameters()[0]->getValue(), before);
}

//==============================================================================
TEST_F (StateFiles, DialogsStartInTheDocumentsFolderUntilAFileIsChosen)
{
    const auto documents = juce::File::getSpecialLocation (juce::File::userDocumentsDirectory);
    EXPECT_EQ (documents, settings.getFolder().getChildFile ("home").getChildFile ("Documents"));

    for (const auto* unusable : { "", "relative/name.state" })
    {
        settings.get().setValue ("lastStateFile", unusable);
        EXPECT_EQ (holder->getLastFile(), documents);
    }

    const auto chosen = folder.getChildFile ("chosen.state");
    settings.get().setValue ("lastStateFile", chosen.getFullPathName());
    EXPECT_EQ (holder->getLastFile(), chosen);
}

TEST_F (StateFiles, ChoosingAFileSavesOrLoadsItAndRemembersItAndCancellingDoesNothing)
{
    if (juce::FileChooser::isPlatformDialogAvailable())
        GTEST_SKIP() << "a platform file dialog cannot be driven here";

    // Cancelled dialogs.
    probe.stateToWrite = makeBytes (300);

    for (const auto save : { true, false })
    {
        auto [dialog, browser] = openDialog (save);
        ASSERT_NE (browser, nullptr);
        EXPECT_TRUE (dialog->isCurrentlyModal());
        EXPECT_EQ (browser->getRoot(), juce::File::getSpecialLocation (juce::File::userDocumentsDirectory));
        EXPECT_EQ (browser->isSaveMode(), save);
        closeModalWindows();
    }

    EXPECT_FALSE (settings.get().containsKey ("lastStateFile"));
    EXPECT_EQ (probe.numStateReads, 0);
    EXPECT_TRUE (folderContents().isEmpty());

    const auto file = folder.getChildFile ("chosen.state");
    choose (true, file);
    ASSERT_TRUE (pumpMessagesUntil ([&] { return file.existsAsFile(); }, 2000));
    EXPECT_EQ (settings.get().getValue ("lastStateFile"), file.getFullPathName());

    // The next dialog starts at that file and reads it back.
    EXPECT_EQ (openDialog (false).second->getRoot(), folder);
    closeModalWindows();
    choose (false, file);
    ASSERT_TRUE (pumpMessagesUntil ([&] { return probe.numStateReads == 1; }, 2000));
    EXPECT_EQ (probe.lastStateRead, probe.stateToWrite);

    // Saving over it asks first.
    choose (true, file);
    EXPECT_TRUE (pumpMessagesUntil ([] { return findOnDesktop<juce::AlertWindow>() != nullptr; }, 2000));
    closeModalWindows();

    // A failed save warns and still remembers the file it tried.
    const auto unreachable = folder.getChildFile ("missing").getChildFile ("x.state");
    choose (true, unreachable);
    EXPECT_TRUE (pumpMessagesUntil ([] { return findOnDesktop<juce::AlertWindow>() != nullptr; }, 2000));
    EXPECT_EQ (takeWarning(), saveWarning);
    EXPECT_EQ (settings.get().getValue ("lastStateFile"), unreachable.getFullPathName());
}
