#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace
{
thread_local bool countingAllocations = false;
thread_local long long allocationCount = 0;

void* allocate (std::size_t size, std::size_t alignment = 0) noexcept
{
    allocationCount += countingAllocations ? 1 : 0;
    size = size == 0 ? 1 : size;
    return alignment == 0 ? std::malloc (size) : std::aligned_alloc (alignment, (size + alignment - 1) / alignment * alignment);
}

void* allocateOrThrow (std::size_t size, std::size_t alignment = 0)
{
    if (auto* p = allocate (size, alignment))
        return p;

    throw std::bad_alloc();
}

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

// Every form, so that none falls through to the sanitizer's own allocator.
void* operator new (std::size_t size) { return allocateOrThrow (size); }
void* operator new[] (std::size_t size) { return allocateOrThrow (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept { return allocate (size); }
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept { return allocate (size); }
void* operator new (std::size_t size, std::align_val_t a) { return allocateOrThrow (size, (std::size_t) a); }
void* operator new[] (std::size_t size, std::align_val_t a) { return allocateOrThrow (size, (std::size_t) a); }
void operator delete (void* p) noexcept { std::free (p); }
void operator delete[] (void* p) noexcept { std::free (p); }
void operator delete (void* p, std::size_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t) noexcept { std::free (p); }
void operator delete (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::align_val_t) noexcept { std::free (p); }
void operator delete (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }
void operator delete[] (void* p, std::size_t, std::align_val_t) noexcept { std::free (p); }

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
    ::testing::InitGoogleTest (&argc, argv);
    juce::ScopedJuceInitialiser_GUI framework;
    AssertionFailingLogger logger;
    juce::Logger::setCurrentLogger (&logger);
    const auto result = RUN_ALL_TESTS();
    juce::Logger::setCurrentLogger (nullptr);
    juce::DeletedAtShutdown::deleteAll();
    return result;
}
