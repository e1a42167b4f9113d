#include "TThreadSafeList.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Entry {
    int mProc;
    int mUserData;
    bool operator==(const Entry& other) const
    {
        return mProc == other.mProc && mUserData == other.mUserData;
    }
};

std::vector<Entry> Active(const TThreadSafeList<Entry>& list)
{
    std::vector<Entry> entries;
    for (auto it = list.begin(); it != list.end(); ++it)
        entries.push_back(*it);
    return entries;
}

TEST(TThreadSafeList, ChangesTakeEffectOnlyAtUpdateInTheOrderQueued)
{
    TThreadSafeList<Entry> list;
    list.deferred_add({1, 0});
    list.deferred_add({2, 0});
    EXPECT_TRUE(Active(list).empty());
    list.update();
    EXPECT_EQ(Active(list), (std::vector<Entry>{{1, 0}, {2, 0}}));

    // Remove then re-add within one batch puts the entry last.
    list.deferred_remove({1, 0});
    list.deferred_add({1, 0});
    list.update();
    EXPECT_EQ(Active(list), (std::vector<Entry>{{2, 0}, {1, 0}}));
}

TEST(TThreadSafeList, AnEntryIsNeverActiveTwiceAndUserDataDistinguishesEntries)
{
    TThreadSafeList<Entry> list;
    list.deferred_add({1, 0});
    list.deferred_add({1, 0});
    list.deferred_add({1, 5});
    list.update();
    EXPECT_EQ(Active(list), (std::vector<Entry>{{1, 0}, {1, 5}}));
}

TEST(TThreadSafeList, RemovingAnAbsentEntryChangesNothing)
{
    TThreadSafeList<Entry> list;
    list.deferred_add({1, 0});
    list.update();
    list.deferred_remove({7, 0});
    list.update();
    EXPECT_EQ(Active(list), (std::vector<Entry>{{1, 0}}));
}

TEST(TThreadSafeList, NodesAreRecycledSoSteadyChurnAllocatesNothingNew)
{
    TThreadSafeList<Entry> list;
    list.deferred_add({1, 0});
    list.deferred_remove({1, 0});
    list.update();
    const size_t allocated = list.AllocatedNodeCount();
    EXPECT_EQ(allocated, 2u);
    for (int i = 0; i < 100; ++i) {
        list.deferred_add({1, 0});
        list.deferred_remove({1, 0});
        list.update();
    }
    EXPECT_EQ(list.AllocatedNodeCount(), allocated);
    EXPECT_EQ(list.HeldNodeCount(), allocated);
    EXPECT_TRUE(Active(list).empty());
}

} // namespace
