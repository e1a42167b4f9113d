// A lock-free stack of intrusively linked nodes, the building block of lists that a real-time
// thread shares with other threads. A node type T provides `T* Next() const` and
// `void SetNext(T*)`. The atomic operations change the head only through a full-barrier 64-bit
// compare-and-swap; the _NA ("non-atomic") twins serve a stack that one thread owns.
#pragma once

#include <libkern/OSAtomic.h>

#include <stddef.h>
#include <stdint.h>

template <class T> class TAtomicStack {
public:
    TAtomicStack() = default;
    TAtomicStack(const TAtomicStack&) = delete;
    TAtomicStack& operator=(const TAtomicStack&) = delete;

    // [any-thread]
    void push_atomic(T* item) { push_multiple_atomic(item); }

    // Pushes a chain linked through Next(), keeping its order on top of the stack. [any-thread]
    void push_multiple_atomic(T* chain)
    {
        T* last = chain;
        while (last->Next() != nullptr)
            last = last->Next();
        T* head;
        do {
            head = LoadHead();
            last->SetNext(head);
        } while (!CompareAndSwap(head, chain));
    }

    // Takes the whole chain, most recently pushed first. [any-thread]
    T* pop_all()
    {
        T* head;
        do {
            head = LoadHead();
            if (head == nullptr)
                return nullptr;
        } while (!CompareAndSwap(head, nullptr));
        return head;
    }

    // Takes the whole chain and pushes back all but its first node, so that a node's Next() is
    // only read while this thread owns it: a concurrent pop and re-push of the same node (the
    // ABA case) cannot hand out a stale successor. [any-thread]
    T* pop_atomic()
    {
        T* first = pop_all();
        if (first == nullptr)
            return nullptr;
        T* rest = first->Next();
        first->SetNext(nullptr);
        if (rest != nullptr)
            push_multiple_atomic(rest);
        return first;
    }

    // Single-owner twins, for a stack no other thread can see. [any-thread] (its owner only)
    void push_NA(T* item)
    {
        item->SetNext(reinterpret_cast<T*>(mHead));
        mHead = reinterpret_cast<int64_t>(item);
    }

    T* pop_NA()
    {
        T* head = reinterpret_cast<T*>(mHead);
        if (head != nullptr) {
            mHead = reinterpret_cast<int64_t>(head->Next());
            head->SetNext(nullptr);
        }
        return head;
    }

    // The number of nodes; exact only while no other thread changes the stack.
    size_t size_NA() const
    {
        size_t count = 0;
        for (const T* node = LoadHead(); node != nullptr; node = node->Next())
            ++count;
        return count;
    }

private:
    T* LoadHead() const { return reinterpret_cast<T*>(__atomic_load_n(&mHead, __ATOMIC_ACQUIRE)); }

    bool CompareAndSwap(T* expected, T* desired)
    {
        return OSAtomicCompareAndSwap64Barrier(reinterpret_cast<int64_t>(expected),
                                               reinterpret_cast<int64_t>(desired), &mHead);
    }

    static_assert(sizeof(int64_t) >= sizeof(T*), "a node pointer fits the 64-bit head");
    volatile int64_t mHead = 0;
};
