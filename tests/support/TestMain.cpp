#include "TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace
{
thread_local bool countingAllocations = false;
thread_local long long allocationCount = 0;

void* allocate (std::size_t size)
{
    if (countingAllocations)
        ++allocationCount;

    if (size == 0)
        size = 1;

    if (auto* p = std::malloc (size))
        return p;

    throw std::bad_alloc();
}

void* allocateAligned (std::size_t size, std::align_val_t alignment)
{
    if (countingAllocations)
        ++allocationCount;

    const auto align = static_cast<std::size_t> (alignment);
    const auto rounded = ((size == 0 ? 1 : size) + align - 1) / align * align;

    if (auto* p = std::aligned_alloc (align, rounded))
        return p;

    throw std::bad_alloc();
}

/** Turns every framework assertion into a failure of the running test. */
class AssertionFailingLogger final : public juce::Logger
{
    void logMessage (const juce::String& message) override
    {
        if (message.startsWith ("JUCE Assertion failure"))
            ADD_FAILURE() << message;
    }
};
} // namespace

void* operator new (std::size_t size) { return allocate (size); }
void* operator new[] (std::size_t size) { return allocate (size); }
void* operator new (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (...) { return nullptr; }
}
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept
{
    try { return allocate (size); } catch (...) { return nullptr; }
}
void* operator new (std::size_t size, std::align_val_t a) { return allocateAligned (size, a); }
void* operator new[] (std::size_t size, std::align_val_t a) { return allocateAligned (size, a); }
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
ScopedAllocationCounter::ScopedAllocationCounter()
    : startCount (allocationCount), wasCounting (countingAllocations)
{
    countingAllocations = true;
}

ScopedAllocationCounter::~ScopedAllocationCounter()
{
    countingAllocations = wasCounting;
}

long long ScopedAllocationCounter::getCount() const noexcept
{
    return allocationCount - startCount;
}

void pumpMessages (int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil (milliseconds);
}

bool pumpMessagesUntil (const std::function<bool()>& predicate, int timeoutMilliseconds)
{
    const auto end = juce::Time::getMillisecondCounter() + (juce::uint32) timeoutMilliseconds;

    while (! predicate())
    {
        if (juce::Time::getMillisecondCounter() >= end)
            return predicate();

        pumpMessages (5);
    }

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
