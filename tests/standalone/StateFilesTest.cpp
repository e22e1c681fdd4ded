#include "HostTestSupport.h"
#include "TestFifo.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <sys/resource.h>

using namespace tarrowby::test;

namespace
{
/** The warning's title on the desktop, or empty; closes it. */
juce::String takeWarning()
{
    auto* alert = findOnDesktop<juce::AlertWindow>();
    const auto title = alert != nullptr ? alert->getName() : juce::String();
    closeModalWindows();
    return title;
}

/** A holder with a probe, a folder for state files and a home with a documents folder, all of the test's own. */
struct StateFiles : ::testing::Test
{
    StateFiles()
    {
        folder.createDirectory();
        settings.folder.getChildFile ("home/Documents").createDirectory();
        setenv ("HOME", settings.folder.getChildFile ("home").getFullPathName().toRawUTF8(), 1);
    }

    ~StateFiles() override { closeModalWindows(), setenv ("HOME", previousHome.toRawUTF8(), 1); }

    int numFiles() const { return folder.findChildFiles (juce::File::findFilesAndDirectories, false, "*").size(); }

    /** Closes the save or load dialog with the given file, or cancels it if none. */
    void choose (bool save, const juce::File& file = {})
    {
        save ? holder->askUserToSaveState() : holder->askUserToLoadState();
        auto* dialog = findOnDesktop<juce::FileChooserDialogBox>();
        ASSERT_NE (dialog, nullptr);
        findChildren<juce::FileBrowserComponent> (*dialog).getFirst()->setFileName (file.getFullPathName());
        dialog->exitModalState (file == juce::File() ? 0 : 1);
        pumpMessages (50);
    }

    juce::String previousHome = juce::SystemStats::getEnvironmentVariable ("HOME", {});
    TempSettings settings;
    std::unique_ptr<juce::StandalonePluginHolder> holder = makeHolder (&settings.get());
    ProbeProcessor& probe = installProbe (*holder);
    juce::File folder = settings.folder.getChildFile ("states");
};
} // namespace

TEST_F (StateFiles, SavingWritesExactlyTheProcessorsBytesThroughATemporaryFileOrWarnsAndLeavesTheTarget)
{
    const auto target = folder.getChildFile ("one.state");
    ASSERT_TRUE (target.replaceWithText ("old contents that are longer than the new ones, by far, really"));
    probe.stateToWrite = makeBytes (20000);
    EXPECT_TRUE (holder->saveStateTo (target));
    EXPECT_EQ (takeWarning(), "");
    juce::MemoryBlock written;
    ASSERT_TRUE (target.loadFileAsData (written));
    EXPECT_EQ (written, probe.stateToWrite);
    EXPECT_EQ (numFiles(), 1);

    EXPECT_FALSE (holder->saveStateTo (folder.getChildFile ("missing/one.state")));
    EXPECT_EQ (takeWarning(), "Error whilst saving");

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
        EXPECT_EQ (takeWarning(), "Error whilst saving") << size;
        EXPECT_EQ (numFiles(), 1);
    }

    std::signal (SIGXFSZ, previousHandler);
}

TEST_F (StateFiles, LoadingHandsOnlyARegularFileOfAStatesSizeToTheProcessorAndWarnsOtherwise)
{
    const auto file = folder.getChildFile ("state.bin");
    const auto bytes = makeBytes (5000);
    ASSERT_TRUE (file.replaceWithData (bytes.getData(), bytes.getSize()));
    EXPECT_TRUE (holder->loadStateFrom (file));
    EXPECT_EQ (probe.lastStateRead, bytes);
    EXPECT_EQ (takeWarning(), "");

    const auto pipe = folder.getChildFile ("pipe");
    TestFifo fifo (pipe);
    ASSERT_TRUE (fifo.made);
    const auto tooLarge = folder.getChildFile ("too-large");
    ASSERT_TRUE (tooLarge.replaceWithData (makeBytes (1024 * 1024 + 1).getData(), 1024 * 1024 + 1));

    for (const auto& unreadable : { folder.getChildFile ("missing"), folder, juce::File ("/dev/zero"), pipe, tooLarge })
    {
        EXPECT_FALSE (holder->loadStateFrom (unreadable)) << unreadable.getFullPathName();
        EXPECT_EQ (takeWarning(), "Error whilst loading");
    }

    EXPECT_EQ (probe.numStateReads, 1);
}

TEST_F (StateFiles, AChosenFileIsSavedOrLoadedAndRememberedAndACancelledDialogDoesNothing)
{
    if (juce::FileChooser::isPlatformDialogAvailable())
        GTEST_SKIP() << "a platform file dialog cannot be closed from here";

    const auto documents = settings.folder.getChildFile ("home/Documents");
    settings.get().setValue ("lastStateFile", "relative/name.state");
    EXPECT_EQ (holder->getLastFile(), documents);

    probe.stateToWrite = makeBytes (300);
    choose (true);
    choose (false);
    EXPECT_EQ (settings.get().getValue ("lastStateFile"), "relative/name.state");
    EXPECT_EQ (probe.numStateReads, 0);
    EXPECT_EQ (numFiles(), 0);

    const auto file = folder.getChildFile ("chosen.state");
    choose (true, file);
    EXPECT_TRUE (file.existsAsFile());
    EXPECT_EQ (holder->getLastFile(), file);
    choose (false, file);
    EXPECT_EQ (probe.lastStateRead, probe.stateToWrite);
}
