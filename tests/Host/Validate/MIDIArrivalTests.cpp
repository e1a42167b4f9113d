// The validator's judgement of what reached its monitor: stamps exact to the tick (with the one
// tolerance a computation in double precision needs), and every message once and in order.
#include "MIDIArrival.h"

#include <gtest/gtest.h>

namespace {

constexpr MIDITimeStamp kAnchor = 1'000'000'000'000;
constexpr StampClock kClock{kAnchor, 1'000'000'000, 44100};

} // namespace

TEST(MIDIArrival, AStampIsExactOnlyAtTheTickItsPositionNames)
{
    const struct {
        UInt64 mPosition;
        MIDITimeStamp mStamp;
        bool mExact;
    } kCases[] = {
        {0, kAnchor, true},
        {0, kAnchor + 1, false},
        {44100, kAnchor + 1'000'000'000, true},
        {44100, kAnchor + 1'000'000'001, false},
        // 22675.73... ticks: truncated, never rounded.
        {1, kAnchor + 22675, true},
        {1, kAnchor + 22676, false},
        {1, kAnchor + 22674, false},
        // Exactly on a tick (10^7): the tick before is what a double may give.
        {441, kAnchor + 10'000'000, true},
        {441, kAnchor + 9'999'999, true},
        {441, kAnchor + 10'000'001, false},
    };
    for (const auto& [position, stamp, exact] : kCases)
        EXPECT_EQ(StampIsExact(kClock, position, stamp), exact) << position << " " << stamp;
}

TEST(MIDIArrival, ComparisonNamesTheFirstMessageLostReorderedOrLate)
{
    const std::vector<SentMessage> sent = {
        {{0x90, 0x3C, 0x64}, 0}, {{0xC1, 0x05}, 441}, {{0x80, 0x3C, 0x40}, 44100}};
    const std::vector<ArrivedMessage> exact = {{{0x90, 0x3C, 0x64}, kAnchor},
                                               {{0xC1, 0x05}, kAnchor + 10'000'000},
                                               {{0x80, 0x3C, 0x40}, kAnchor + 1'000'000'000}};
    auto with = [&](auto change) {
        std::vector<ArrivedMessage> arrived = exact;
        change(arrived);
        return arrived;
    };
    const struct {
        const char* mWhat;
        std::vector<ArrivedMessage> mArrived;
        std::vector<std::string> mProblems;
    } kCases[] = {
        {"exact", exact, {}},
        {"lost", with([](auto& a) { a.pop_back(); }), {"3 messages sent, 2 arrived"}},
        {"twice",
         with([](auto& a) { a.insert(a.begin() + 1, a[0]); }),
         {"3 messages sent, 4 arrived", "message 2 (C1 05 at sample 441) arrived as 90 3C 64"}},
        {"reordered",
         with([](auto& a) { std::swap(a[1], a[2]); }),
         {"message 2 (C1 05 at sample 441) arrived as 80 3C 40"}},
        {"late",
         with([](auto& a) { a[2].mStamp += 2; }),
         {"message 3 (80 3C 40 at sample 44100): stamp 1001000000002, due at "
          "1001000000000.000 (+2 ticks)"}},
    };
    for (const auto& [what, arrived, problems] : kCases)
        EXPECT_EQ(CompareArrivals(sent, arrived, kClock), problems) << what;

    std::vector<ArrivedMessage> allLate = exact;
    for (ArrivedMessage& message : allLate)
        message.mStamp += 5;
    const std::vector<std::string> shown = CompareArrivals(sent, allLate, kClock, 2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_NE(shown[1].find("; and 1 more"), std::string::npos) << shown[1];
}
