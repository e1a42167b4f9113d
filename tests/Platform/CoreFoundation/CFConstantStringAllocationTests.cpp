// Proves that CFSTR of a constant made before allocates nothing, since the unit may call it on the
// render thread: this program replaces the global operator new with a counting one.
#include <CoreFoundation/CFString.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
// Only the thread under test counts, and only while it asks to.
thread_local bool tCounting = false;
std::atomic<long> sAllocations{0};
} // namespace

// A sanitizer owns the allocator (g++ names it by these macros); the test is skipped there.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
// The replaced new and delete are a matched pair over malloc and free, which g++ cannot see.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size)
{
    if (tCounting)
        sAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* memory = std::malloc(size != 0 ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept
{
    std::free(memory);
}

void operator delete(void* memory, std::size_t) noexcept
{
    std::free(memory);
}
#pragma GCC diagnostic pop
#endif

TEST(CFString, ConstantMadeBeforeIsFoundWithoutAllocating)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer owns the allocator";
#endif
    const CFStringRef made = CFSTR("a constant longer than any short-string buffer");
    sAllocations = 0;
    tCounting = true;
    const CFStringRef found = CFSTR("a constant longer than any short-string buffer");
    tCounting = false;
    EXPECT_EQ(found, made);
    EXPECT_EQ(sAllocations.load(), 0);
}
