#include "TAtomicStack.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

namespace {

struct StackNode {
    StackNode* Next() const { return mNext; }
    void SetNext(StackNode* next) { mNext = next; }
    StackNode* mNext = nullptr;
    int mValue = 0;
};

std::vector<int> Values(StackNode* chain)
{
    std::vector<int> values;
    for (; chain != nullptr; chain = chain->Next())
        values.push_back(chain->mValue);
    return values;
}

void PushInTurn(TAtomicStack<StackNode>& stack, std::initializer_list<StackNode*> nodes)
{
    for (StackNode* node : nodes)
        stack.push_atomic(node);
}

TEST(TAtomicStack, PopAllReturnsTheChainMostRecentFirstAndEmptiesTheStack)
{
    TAtomicStack<StackNode> stack;
    StackNode a{nullptr, 1}, b{nullptr, 2}, c{nullptr, 3};
    PushInTurn(stack, {&a, &b, &c});
    EXPECT_EQ(Values(stack.pop_all()), (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(stack.pop_all(), nullptr);
    EXPECT_EQ(stack.size_NA(), 0u);
}

TEST(TAtomicStack, PopAtomicTakesTheTopAndKeepsTheRestInOrder)
{
    TAtomicStack<StackNode> stack;
    StackNode a{nullptr, 1}, b{nullptr, 2}, c{nullptr, 3};
    PushInTurn(stack, {&a, &b, &c});
    StackNode* top = stack.pop_atomic();
    ASSERT_EQ(top, &c);
    EXPECT_EQ(top->Next(), nullptr) << "a popped node must not point into the shared stack";
    EXPECT_EQ(Values(stack.pop_all()), (std::vector<int>{2, 1}));
    EXPECT_EQ(stack.pop_atomic(), nullptr);
}

TEST(TAtomicStack, PushMultipleKeepsTheChainOrderOnTop)
{
    TAtomicStack<StackNode> stack;
    StackNode bottom{nullptr, 9};
    stack.push_atomic(&bottom);
    StackNode c{nullptr, 3}, b{&c, 2}, a{&b, 1};
    stack.push_multiple_atomic(&a);
    EXPECT_EQ(stack.size_NA(), 4u);
    EXPECT_EQ(Values(stack.pop_all()), (std::vector<int>{1, 2, 3, 9}));
}

TEST(TAtomicStack, NonAtomicTwinsBehaveAsAStack)
{
    TAtomicStack<StackNode> stack;
    StackNode a{nullptr, 1}, b{nullptr, 2};
    stack.push_NA(&a);
    stack.push_NA(&b);
    EXPECT_EQ(stack.pop_NA(), &b);
    EXPECT_EQ(b.Next(), nullptr);
    EXPECT_EQ(stack.pop_NA(), &a);
    EXPECT_EQ(stack.pop_NA(), nullptr);
}

} // namespace
