#include "CAFlushDenormals.h"

#include <gtest/gtest.h>

namespace {

constexpr int kFlush = CAFlushDenormalsScope::kFlushBits;
#if defined(__x86_64__) || defined(__i386__)
constexpr int kRoundTowardZero = 0x6000;
#elif defined(__aarch64__)
constexpr int kRoundTowardZero = 3 << 22;
#else
constexpr int kRoundTowardZero = 0;
#endif

TEST(CAFlushDenormalsScope, FlushesInsideAndLeavesTheRegisterAsItFoundIt)
{
    if (kFlush == 0 || kRoundTowardZero == 0)
        GTEST_SKIP() << "no control register on this processor";
    const struct {
        const char* name;
        int setBefore;   // bits set in the register when the scope begins
        int setInside;   // bits the code in the scope sets
        int clearInside; // bits the code in the scope clears
    } cases[] = {
        {"not flushing", 0, 0, 0},
        {"flushing already", kFlush, 0, 0},
        {"flushing, rounding changed inside", kFlush, kRoundTowardZero, 0},
        {"flushing, flushing stopped inside", kFlush, 0, kFlush},
        {"not flushing, rounding changed inside", 0, kRoundTowardZero, 0},
        {"rounding toward zero", kRoundTowardZero, 0, 0},
    };
    const int original = GETCSR();
    for (const auto& c : cases) {
        const int start = (original & ~(kFlush | kRoundTowardZero)) | c.setBefore;
        SETCSR(start);
        int inside = 0;
        {
            CAFlushDenormalsScope scope;
            inside = GETCSR();
            SETCSR((inside | c.setInside) & ~c.clearInside);
        }
        const int after = GETCSR();
        SETCSR(original);
        EXPECT_EQ(inside & kFlush, kFlush) << c.name;
        EXPECT_EQ(inside & kRoundTowardZero, start & kRoundTowardZero) << c.name;
        EXPECT_EQ(after, start) << c.name;
    }
}

} // namespace
