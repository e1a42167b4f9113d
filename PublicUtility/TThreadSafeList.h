// A list that non-real-time threads change while one real-time thread walks it. Changes are
// queued as add and remove events on a lock-free stack and applied by the walking thread in
// update(); nodes are recycled through a second lock-free stack, so once enough nodes exist
// neither side allocates. T needs equality and must be trivially copyable.
#pragma once

#include "CAAllocation.h"
#include "TAtomicStack.h"

#include <atomic>
#include <cstdlib>
#include <new>
#include <type_traits>

template <class T> class TThreadSafeList {
    enum EventType { kAdd = 0, kRemove = 1 };

    class Node {
    public:
        Node* Next() const { return mNext; }
        void SetNext(Node* next) { mNext = next; }

        Node* mNext = nullptr;
        int mEventType = kAdd;
        T mObject{};
    };

public:
    static_assert(std::is_trivially_copyable<T>::value, "entries are copied between threads");

    class iterator {
    public:
        explicit iterator(Node* node = nullptr) : mNode(node) {}
        const T& operator*() const { return mNode->mObject; }
        const T* operator->() const { return &mNode->mObject; }
        iterator& operator++()
        {
            mNode = mNode->Next();
            return *this;
        }
        bool operator==(const iterator& other) const { return mNode == other.mNode; }
        bool operator!=(const iterator& other) const { return mNode != other.mNode; }

    private:
        Node* mNode;
    };

    TThreadSafeList() = default;
    TThreadSafeList(const TThreadSafeList&) = delete;
    TThreadSafeList& operator=(const TThreadSafeList&) = delete;

    ~TThreadSafeList()
    {
        FreeChain(mActiveList);
        FreeChain(mPendingList.pop_all());
        FreeChain(mFreeList.pop_all());
    }

    // Queues adding `object`; it becomes active at the next update(). Allocates only when no
    // recycled node is free. [any-thread]
    void deferred_add(const T& object) { QueueEvent(kAdd, object); }

    // Queues removing the entry equal to `object`; nothing happens at update() if none is
    // active. [any-thread]
    void deferred_remove(const T& object) { QueueEvent(kRemove, object); }

    // Applies the queued events in the order they were queued. An entry is never active twice.
    // [render-thread] (no allocation)
    void update()
    {
        TAtomicStack<Node> inOrder;
        for (Node* node = mPendingList.pop_all(); node != nullptr;) {
            Node* next = node->Next();
            inOrder.push_NA(node);
            node = next;
        }
        while (Node* event = inOrder.pop_NA()) {
            if (event->mEventType == kAdd)
                ApplyAdd(event);
            else
                ApplyRemove(event);
        }
    }

    // The active entries in the order they were added. [render-thread]
    iterator begin() const { return iterator(mActiveList); }
    iterator end() const { return iterator(nullptr); }

    // How many nodes were ever allocated, and how many the list holds now in its active,
    // pending and free chains. The two are equal whenever no thread is inside an operation.
    // [any-thread] / [host-thread] while no other thread uses the list
    size_t AllocatedNodeCount() const { return mAllocatedNodes.load(std::memory_order_relaxed); }
    size_t HeldNodeCount() const
    {
        return ChainLength(mActiveList) + mPendingList.size_NA() + mFreeList.size_NA();
    }

private:
    void QueueEvent(EventType type, const T& object)
    {
        Node* node = mFreeList.pop_atomic();
        if (node == nullptr) {
            node = new (CA_malloc(sizeof(Node))) Node;
            mAllocatedNodes.fetch_add(1, std::memory_order_relaxed);
        }
        node->mEventType = type;
        node->mObject = object;
        mPendingList.push_atomic(node);
    }

    void ApplyAdd(Node* event)
    {
        Node** link = &mActiveList;
        for (; *link != nullptr; link = &(*link)->mNext) {
            if ((*link)->mObject == event->mObject) {
                Recycle(event);
                return;
            }
        }
        event->SetNext(nullptr);
        *link = event;
    }

    void ApplyRemove(Node* event)
    {
        for (Node** link = &mActiveList; *link != nullptr; link = &(*link)->mNext) {
            Node* node = *link;
            if (node->mObject == event->mObject) {
                *link = node->Next();
                Recycle(node);
                break;
            }
        }
        Recycle(event);
    }

    void Recycle(Node* node)
    {
        node->SetNext(nullptr);
        mFreeList.push_atomic(node);
    }

    static void FreeChain(Node* node)
    {
        while (node != nullptr) {
            Node* next = node->Next();
            node->~Node();
            std::free(node);
            node = next;
        }
    }

    static size_t ChainLength(const Node* node)
    {
        size_t count = 0;
        for (; node != nullptr; node = node->Next())
            ++count;
        return count;
    }

    Node* mActiveList = nullptr;
    TAtomicStack<Node> mPendingList;
    TAtomicStack<Node> mFreeList;
    std::atomic<size_t> mAllocatedNodes{0};
};
