// Hashed maps with optional retain/release/equal/hash callbacks for keys and values.
#include "CFRuntime.h"

#include <CoreFoundation/CFDictionary.h>
#include <CoreFoundation/CFString.h>

#include <unordered_map>

namespace {

// Hashing and comparing keys through the dictionary's key callbacks (pointer identity without).
struct KeyHash {
    const CFDictionaryKeyCallBacks* mCallBacks;
    size_t operator()(const void* key) const
    {
        return mCallBacks->hash ? mCallBacks->hash(key) : std::hash<const void*>()(key);
    }
};

struct KeyEqual {
    const CFDictionaryKeyCallBacks* mCallBacks;
    bool operator()(const void* a, const void* b) const
    {
        return a == b || (mCallBacks->equal && mCallBacks->equal(a, b));
    }
};

constexpr CFDictionaryKeyCallBacks kNoKeyCallBacks = {0,       nullptr, nullptr,
                                                      nullptr, nullptr, nullptr};
constexpr CFDictionaryValueCallBacks kNoValueCallBacks = {0, nullptr, nullptr, nullptr, nullptr};

} // namespace

struct __CFDictionary final : CFObject {
    static constexpr CFTypeID kTypeID = kCFRuntimeDictionaryTypeID;
    using Map = std::unordered_map<const void*, const void*, KeyHash, KeyEqual>;

    __CFDictionary(const CFDictionaryKeyCallBacks* keyCallBacks,
                   const CFDictionaryValueCallBacks* valueCallBacks, bool isMutable)
        : CFObject(kTypeID, Lifetime::Counted),
          mKeyCallBacks(keyCallBacks ? *keyCallBacks : kNoKeyCallBacks),
          mValueCallBacks(valueCallBacks ? *valueCallBacks : kNoValueCallBacks),
          mEntries(0, KeyHash{&mKeyCallBacks}, KeyEqual{&mKeyCallBacks}), mMutable(isMutable)
    {
    }
    ~__CFDictionary() override { Clear(); }

    void Clear();
    // Sets the value of a key, retaining what it keeps; may throw before changing anything.
    void Set(const void* key, const void* value);
    void Remove(Map::iterator entry);
    bool ValuesEqual(const void* a, const void* b) const
    {
        return a == b || (mValueCallBacks.equal && mValueCallBacks.equal(a, b));
    }

    bool Equals(const CFObject& other) const override;
    CFHashCode Hash() const override { return mEntries.size(); }
    std::string Describe() const override;

    const CFDictionaryKeyCallBacks mKeyCallBacks;
    const CFDictionaryValueCallBacks mValueCallBacks;
    Map mEntries;
    const bool mMutable;
};

void __CFDictionary::Clear()
{
    Map old(0, KeyHash{&mKeyCallBacks}, KeyEqual{&mKeyCallBacks});
    old.swap(mEntries);
    for (const auto& entry : old) {
        if (mKeyCallBacks.release) {
            mKeyCallBacks.release(nullptr, entry.first);
        }
        if (mValueCallBacks.release) {
            mValueCallBacks.release(nullptr, entry.second);
        }
    }
}

void __CFDictionary::Set(const void* key, const void* value)
{
    const auto found = mEntries.find(key);
    if (found == mEntries.end()) {
        // The stored key is what the retain callback gives (a copy, for copying callbacks).
        const void* storedKey = mKeyCallBacks.retain ? mKeyCallBacks.retain(nullptr, key) : key;
        try {
            mEntries.emplace(storedKey, value);
        } catch (...) {
            if (mKeyCallBacks.release) {
                mKeyCallBacks.release(nullptr, storedKey);
            }
            throw;
        }
        if (mValueCallBacks.retain) {
            mValueCallBacks.retain(nullptr, value);
        }
        return;
    }
    const void* old = found->second;
    found->second = mValueCallBacks.retain ? mValueCallBacks.retain(nullptr, value) : value;
    if (mValueCallBacks.release) {
        mValueCallBacks.release(nullptr, old);
    }
}

void __CFDictionary::Remove(Map::iterator entry)
{
    const void* key = entry->first;
    const void* value = entry->second;
    mEntries.erase(entry);
    if (mKeyCallBacks.release) {
        mKeyCallBacks.release(nullptr, key);
    }
    if (mValueCallBacks.release) {
        mValueCallBacks.release(nullptr, value);
    }
}

bool __CFDictionary::Equals(const CFObject& other) const
{
    const __CFDictionary& dictionary = static_cast<const __CFDictionary&>(other);
    if (dictionary.mEntries.size() != mEntries.size()) {
        return false;
    }
    for (const auto& entry : mEntries) {
        const auto found = dictionary.mEntries.find(entry.first);
        if (found == dictionary.mEntries.end() || !ValuesEqual(entry.second, found->second)) {
            return false;
        }
    }
    return true;
}

std::string __CFDictionary::Describe() const
{
    std::string text = "{";
    for (const auto& entry : mEntries) {
        const std::string key = mKeyCallBacks.copyDescription ? CFDescribe(entry.first)
                                                              : CFDescribePointer(entry.first);
        const std::string value = mValueCallBacks.copyDescription ? CFDescribe(entry.second)
                                                                  : CFDescribePointer(entry.second);
        text += "\n    " + key + " = " + value + ";";
    }
    return text + (mEntries.empty() ? "}" : "\n}");
}

namespace {

// Keeps an immutable copy of string keys, so that changing a mutable key string later cannot
// change the dictionary.
const void* CopyStringKey(CFAllocatorRef, const void* value)
{
    return CFGetTypeID(value) == CFStringGetTypeID()
               ? CFStringCreateCopy(nullptr, static_cast<CFStringRef>(value))
               : CFRetain(value);
}

const __CFDictionary* AsDictionary(CFTypeRef cf)
{
    return CFAs<__CFDictionary>(cf);
}

__CFDictionary* Create(const void** keys, const void** values, CFIndex count,
                       const CFDictionaryKeyCallBacks* keyCallBacks,
                       const CFDictionaryValueCallBacks* valueCallBacks, bool isMutable)
{
    if (count < 0 || ((!keys || !values) && count > 0)) {
        return nullptr;
    }
    return CFCreateOrNull([&] {
        __CFDictionary* dictionary = new __CFDictionary(keyCallBacks, valueCallBacks, isMutable);
        try {
            for (CFIndex i = 0; i < count; ++i) {
                dictionary->Set(keys[i], values[i]);
            }
        } catch (...) {
            delete dictionary;
            throw;
        }
        return dictionary;
    });
}

__CFDictionary* CreateCopy(CFDictionaryRef theDict, bool isMutable)
{
    const __CFDictionary* dictionary = AsDictionary(theDict);
    if (!dictionary) {
        return nullptr;
    }
    return CFCreateOrNull([&] {
        __CFDictionary* copy =
            new __CFDictionary(&dictionary->mKeyCallBacks, &dictionary->mValueCallBacks, isMutable);
        try {
            for (const auto& entry : dictionary->mEntries) {
                copy->Set(entry.first, entry.second);
            }
        } catch (...) {
            delete copy;
            throw;
        }
        return copy;
    });
}

// What the three setting calls do with a present and an absent key.
enum class SetMode { AddOnly, ReplaceOnly, Always };

void SetValue(CFMutableDictionaryRef theDict, const void* key, const void* value, SetMode mode,
              const char* function)
{
    __CFDictionary* dictionary = CFAsMutable<__CFDictionary>(theDict, function);
    if (!dictionary) {
        return;
    }
    const bool present = dictionary->mEntries.count(key) != 0;
    if ((present && mode == SetMode::AddOnly) || (!present && mode == SetMode::ReplaceOnly)) {
        return;
    }
    try {
        dictionary->Set(key, value);
    } catch (...) {
        CFReportMisuse(function, "out of memory");
    }
}

} // namespace

extern "C" {

const CFDictionaryKeyCallBacks kCFTypeDictionaryKeyCallBacks = {
    0, CFRetainCallBackForCFType, CFReleaseCallBackForCFType, CFCopyDescription, CFEqual, CFHash};
const CFDictionaryKeyCallBacks kCFCopyStringDictionaryKeyCallBacks = {
    0, CopyStringKey, CFReleaseCallBackForCFType, CFCopyDescription, CFEqual, CFHash};
const CFDictionaryValueCallBacks kCFTypeDictionaryValueCallBacks = {
    0, CFRetainCallBackForCFType, CFReleaseCallBackForCFType, CFCopyDescription, CFEqual};

CFTypeID CFDictionaryGetTypeID(void)
{
    return kCFRuntimeDictionaryTypeID;
}

CFDictionaryRef CFDictionaryCreate(CFAllocatorRef, const void** keys, const void** values,
                                   CFIndex numValues, const CFDictionaryKeyCallBacks* keyCallBacks,
                                   const CFDictionaryValueCallBacks* valueCallBacks)
{
    return Create(keys, values, numValues, keyCallBacks, valueCallBacks, false);
}

CFDictionaryRef CFDictionaryCreateCopy(CFAllocatorRef, CFDictionaryRef theDict)
{
    return CreateCopy(theDict, false);
}

CFMutableDictionaryRef CFDictionaryCreateMutable(CFAllocatorRef, CFIndex,
                                                 const CFDictionaryKeyCallBacks* keyCallBacks,
                                                 const CFDictionaryValueCallBacks* valueCallBacks)
{
    return Create(nullptr, nullptr, 0, keyCallBacks, valueCallBacks, true);
}

CFMutableDictionaryRef CFDictionaryCreateMutableCopy(CFAllocatorRef, CFIndex,
                                                     CFDictionaryRef theDict)
{
    return CreateCopy(theDict, true);
}

CFIndex CFDictionaryGetCount(CFDictionaryRef theDict)
{
    const __CFDictionary* dictionary = AsDictionary(theDict);
    return dictionary ? CFIndex(dictionary->mEntries.size()) : 0;
}

CFIndex CFDictionaryGetCountOfKey(CFDictionaryRef theDict, const void* key)
{
    return CFDictionaryContainsKey(theDict, key) ? 1 : 0;
}

Boolean CFDictionaryContainsKey(CFDictionaryRef theDict, const void* key)
{
    return CFDictionaryGetValueIfPresent(theDict, key, nullptr);
}

Boolean CFDictionaryContainsValue(CFDictionaryRef theDict, const void* value)
{
    const __CFDictionary* dictionary = AsDictionary(theDict);
    if (!dictionary) {
        return false;
    }
    for (const auto& entry : dictionary->mEntries) {
        if (dictionary->ValuesEqual(entry.second, value)) {
            return true;
        }
    }
    return false;
}

const void* CFDictionaryGetValue(CFDictionaryRef theDict, const void* key)
{
    const void* value = nullptr;
    CFDictionaryGetValueIfPresent(theDict, key, &value);
    return value;
}

Boolean CFDictionaryGetValueIfPresent(CFDictionaryRef theDict, const void* key, const void** value)
{
    const __CFDictionary* dictionary = AsDictionary(theDict);
    if (!dictionary) {
        return false;
    }
    const auto found = dictionary->mEntries.find(key);
    if (found == dictionary->mEntries.end()) {
        return false;
    }
    if (value) {
        *value = found->second;
    }
    return true;
}

void CFDictionaryGetKeysAndValues(CFDictionaryRef theDict, const void** keys, const void** values)
{
    const __CFDictionary* dictionary = AsDictionary(theDict);
    if (!dictionary) {
        return;
    }
    size_t i = 0;
    for (const auto& entry : dictionary->mEntries) {
        if (keys) {
            keys[i] = entry.first;
        }
        if (values) {
            values[i] = entry.second;
        }
        ++i;
    }
}

void CFDictionaryApplyFunction(CFDictionaryRef theDict, CFDictionaryApplierFunction applier,
                               void* context)
{
    const __CFDictionary* dictionary = AsDictionary(theDict);
    if (!dictionary || !applier) {
        return;
    }
    for (const auto& entry : dictionary->mEntries) {
        applier(entry.first, entry.second, context);
    }
}

void CFDictionaryAddValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    SetValue(theDict, key, value, SetMode::AddOnly, __func__);
}

void CFDictionarySetValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    SetValue(theDict, key, value, SetMode::Always, __func__);
}

void CFDictionaryReplaceValue(CFMutableDictionaryRef theDict, const void* key, const void* value)
{
    SetValue(theDict, key, value, SetMode::ReplaceOnly, __func__);
}

void CFDictionaryRemoveValue(CFMutableDictionaryRef theDict, const void* key)
{
    __CFDictionary* dictionary = CFAsMutable<__CFDictionary>(theDict, __func__);
    if (!dictionary) {
        return;
    }
    const auto found = dictionary->mEntries.find(key);
    if (found != dictionary->mEntries.end()) {
        dictionary->Remove(found);
    }
}

void CFDictionaryRemoveAllValues(CFMutableDictionaryRef theDict)
{
    __CFDictionary* dictionary = CFAsMutable<__CFDictionary>(theDict, __func__);
    if (dictionary) {
        dictionary->Clear();
    }
}

} // extern "C"
