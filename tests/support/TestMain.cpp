#include "TestSupport.h"

#include <gtest/gtest.h>

// Every test build runs under a sanitizer, whose allocator reports each allocation to these hooks.
extern "C" int __sanitizer_install_malloc_and_free_hooks (void (*) (const volatile void*, size_t), void (*) (const volatile void*));

namespace
{
thread_local bool countingAllocations = false;
thread_local long long allocationCount = 0;

/** Turns every framework assertion into a failure of the running test. */
struct AssertionFailingLogger final : juce::Logger
{
    void logMessage (const juce::String& message) override
    {
        if (message.startsWith ("JUCE Assertion failure"))
            ADD_FAILURE() << message;
    }
};
} // namespace

namespace tarrowby::test
{
ScopedAllocationCounter::ScopedAllocationCounter() : startCount (allocationCount), wasCounting (countingAllocations) { countingAllocations = true; }
ScopedAllocationCounter::~ScopedAllocationCounter() { countingAllocations = wasCounting; }
long long ScopedAllocationCounter::getCount() const noexcept { return allocationCount - startCount; }
void pumpMessages (int milliseconds) { juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds); }

bool pumpMessagesUntil (const std::function<bool()>& predicate, int timeoutMilliseconds)
{
    for (const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMilliseconds; ! predicate(); pumpMessages (5))
        if (juce::Time::getMillisecondCounter() >= end)
            return predicate();

    return true;
}
} // namespace tarrowby::test

int main (int argc, char** argv)
{
    __sanitizer_install_malloc_and_free_hooks ([] (const volatile void*, size_t) { allocationCount += countingAllocations ? 1 : 0; }, [] (const volatile void*) {});
    ::testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI framework;
    AssertionFailingLogger logger;
    juce::Logger::setCurrentLogger (&logger);
    const auto result = RUN_ALL_TESTS();
    juce::Logger::setCurrentLogger (nullptr), juce::DeletedAtShutdown::deleteAll();
    return result;
}
