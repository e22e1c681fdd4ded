#include "QuitRequestSignal.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <unistd.h>

namespace
{
/** Run in a process of its own, as the handlers stay for the process's life: raises the
    signal while the framework has taken it, while a listener waits, and after the
    listener has gone. Exits with the number of requests the listener heard. */
[[noreturn]] void raiseAtEveryStage (int signal)
{
    tarrowby::QuitRequestSignal::install();
    std::signal (signal, SIG_DFL);
    std::raise (signal);
    tarrowby::QuitRequestSignal::release();

    int requests = 0;

    {
        tarrowby::QuitRequestSignal listener ([&] { ++requests; });
        tarrowby::test::pumpMessages (50);
        std::raise (signal);
        tarrowby::test::pumpMessages (50);
    }

    std::raise (signal);
    tarrowby::test::pumpMessages (50);
    _exit (requests);
}
} // namespace

TEST (QuitRequestSignal, EachSignalFromStartToEndIsOneRequestOrIgnoredButNeverEndsTheProcess)
{
    GTEST_FLAG_SET (death_test_style, "threadsafe");

    for (const auto signal : { SIGINT, SIGTERM, SIGHUP })
        EXPECT_EXIT (raiseAtEveryStage (signal), ::testing::ExitedWithCode (2), "") << strsignal (signal);
}
