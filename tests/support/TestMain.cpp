#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>

namespace
{
thread_local bool countingAllocations = false;
thread_local long long allocationCount = 0;

void* allocate (std::size_t size, std::size_t alignment = 0)
{
    if (countingAllocations)
        ++allocationCount;

    size = size == 0 ? 1 : size;

    if (auto* p = alignment == 0 ? std::malloc (size) : std::aligned_alloc (alignment, (size + alignment - 1) / alignment * alignment))
        return p;

    throw std::bad_alloc();
}

void* allocateOrNull (std::size_t size) noexcept
{
    try
    {
        return allocate (size);
    }
    catch (...)
    {
        return nullptr;
    }
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
void* operator new (std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull (size); }
void* operator new[] (std::size_t size, const std::nothrow_t&) noexcept { return allocateOrNull (size); }
void* operator new (std::size_t size, std::align_val_t a) { return allocate (size, (std::size_t) a); }
void* operator new[] (std::size_t size, std::align_val_t a) { return allocate (size, (std::size_t) a); }
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

ScopedAllocationCounter::~ScopedAllocationCounter() { countingAllocations = wasCounting; }
long long ScopedAllocationCounter::getCount() const noexcept { return allocationCount - startCount; }

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
