// The fuzzer's input read front to back as the bytes and words a target's calls take.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>

#include <cstddef>
#include <cstdint>

// Reads the input in order; zeros once it runs out.
class Input {
public:
    Input(const uint8_t* data, size_t size) : mData(data), mSize(size) {}
    bool Empty() const { return mPosition >= mSize; }
    uint8_t Byte() { return mPosition < mSize ? mData[mPosition++] : 0; }
    UInt32 Word()
    {
        UInt32 value = 0;
        for (int i = 0; i < 4; ++i)
            value = (value << 8) | Byte();
        return value;
    }
    void Fill(void* out, size_t size)
    {
        auto* bytes = static_cast<uint8_t*>(out);
        for (size_t i = 0; i < size; ++i)
            bytes[i] = Byte();
    }
    // Small numbers most of the time, any 32-bit number now and then.
    UInt32 SmallOrAny(UInt32 small)
    {
        const uint8_t choice = Byte();
        return choice < 240 ? UInt32(choice % small) : Word();
    }

private:
    const uint8_t* mData;
    size_t mSize;
    size_t mPosition = 0;
};
