// Proves that rendering allocates nothing: this program replaces the C allocator's entry points
// and the global operator new with counting versions, so it lives in a folder of its own.
#include "../AUBase/AUBaseTestUnit.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define PLENKO_ALLOCATOR_IS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define PLENKO_ALLOCATOR_IS_SANITIZED 1
#endif
#endif

namespace {

// Only the thread under test counts, and only while it asks to.
thread_local bool tCounting = false;
std::atomic<long> sAllocations{0};

class CountAllocations {
public:
    CountAllocations()
    {
        sAllocations = 0;
        tCounting = true;
    }
    ~CountAllocations() { tCounting = false; }
    long Count() const { return sAllocations.load(); }
};

} // namespace

#ifndef PLENKO_ALLOCATOR_IS_SANITIZED
namespace {

void NoteAllocation()
{
    if (tCounting)
        sAllocations.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* old, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void __libc_free(void* memory);

void* malloc(size_t size)
{
    NoteAllocation();
    return __libc_malloc(size);
}

void* calloc(size_t count, size_t size)
{
    NoteAllocation();
    return __libc_calloc(count, size);
}

void* realloc(void* old, size_t size)
{
    NoteAllocation();
    return __libc_realloc(old, size);
}

void* aligned_alloc(size_t alignment, size_t size)
{
    NoteAllocation();
    return __libc_memalign(alignment, size);
}

int posix_memalign(void** result, size_t alignment, size_t size)
{
    NoteAllocation();
    *result = __libc_memalign(alignment, size);
    return *result != nullptr ? 0 : ENOMEM;
}
}

void* operator new(size_t size)
{
    NoteAllocation();
    if (void* memory = __libc_malloc(size != 0 ? size : 1))
        return memory;
    throw std::bad_alloc();
}

void* operator new[](size_t size)
{
    return operator new(size);
}

void* operator new(size_t size, const std::nothrow_t&) noexcept
{
    NoteAllocation();
    return __libc_malloc(size != 0 ? size : 1);
}

void* operator new[](size_t size, const std::nothrow_t& tag) noexcept
{
    return operator new(size, tag);
}

void operator delete(void* memory) noexcept
{
    __libc_free(memory);
}

void operator delete[](void* memory) noexcept
{
    __libc_free(memory);
}

void operator delete(void* memory, size_t) noexcept
{
    __libc_free(memory);
}

void operator delete[](void* memory, size_t) noexcept
{
    __libc_free(memory);
}
#endif

namespace {

using aubase_test::SampleTime;
using aubase_test::TestBuffers;
using aubase_test::TestUnit;

constexpr UInt32 kFrames = 512;
constexpr int kWarmUpCalls = 16;
constexpr int kCountedCalls = 10000;

OSStatus CountCall(void* refCon, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32, UInt32,
                   AudioBufferList*)
{
    ++*static_cast<long*>(refCon);
    return noErr;
}

#ifdef PLENKO_ALLOCATOR_IS_SANITIZED
#define SKIP_WHEN_SANITIZED()                                                                      \
    GTEST_SKIP() << "the sanitizer owns the allocator, so this program cannot count its calls; "   \
                    "the plain build runs the count"
#else
#define SKIP_WHEN_SANITIZED()
#endif

TEST(RenderAllocation, TheCounterSeesAllocationsOfTheCountingThread)
{
    SKIP_WHEN_SANITIZED();
    CountAllocations counter;
    auto* value = new int(7);
    void* block = malloc(16);
    EXPECT_GE(counter.Count(), 2);
    free(block);
    delete value;
}

TEST(RenderAllocation, RenderingWithNotificationsAllocatesNothingAfterWarmUp)
{
    SKIP_WHEN_SANITIZED();
    auto unit = std::make_unique<TestUnit>();
    unit->PostConstructor();
    unit->SetWantsRenderThreadID(true);
    ASSERT_EQ(unit->DoInitialize(), noErr);
    long notifications[2] = {0, 0};
    ASSERT_EQ(unit->SetRenderNotification(CountCall, &notifications[0]), noErr);
    ASSERT_EQ(unit->SetRenderNotification(CountCall, &notifications[1]), noErr);

    TestBuffers callerBuffers(kFrames);
    TestBuffers nullBuffers(kFrames, 2, false);
    AudioUnitRenderActionFlags flags = 0;
    Float64 sampleTime = 0;
    for (int i = 0; i < kWarmUpCalls; ++i, sampleTime += kFrames)
        ASSERT_EQ(unit->DoRender(flags, SampleTime(sampleTime), 0, kFrames, callerBuffers.List()),
                  noErr);

    long allocations = 0;
    OSStatus status = noErr;
    {
        CountAllocations counter;
        for (int i = 0; i < kCountedCalls && status == noErr; ++i, sampleTime += kFrames) {
            // Alternate the caller's own buffers with a request for the unit's.
            AudioBufferList& list = (i % 2 == 0) ? callerBuffers.List() : nullBuffers.List();
            for (UInt32 b = 0; b < list.mNumberBuffers && (i % 2 != 0); ++b)
                list.mBuffers[b].mData = nullptr;
            status = unit->DoRender(flags, SampleTime(sampleTime), 0, kFrames, list);
        }
        allocations = counter.Count();
    }
    ASSERT_EQ(status, noErr);
    EXPECT_EQ(allocations, 0) << "render calls allocated";
    EXPECT_EQ(unit->mRenderCalls, kWarmUpCalls + kCountedCalls);
    EXPECT_EQ(notifications[0], 2L * (kWarmUpCalls + kCountedCalls));
    EXPECT_EQ(notifications[1], notifications[0]);
}

} // namespace
