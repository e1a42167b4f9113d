// The fuzzer's input read front to back as the bytes and words a target's calls take.
#pragma once

#include <CoreAudio/CoreAudioTypes.h>

#include <cstddef>
#include <cstdint>
#include <vector>

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
    // The next `count` bytes.
    std::vector<UInt8> Bytes(size_t count)
    {
        std::vector<UInt8> bytes(count);
        Fill(bytes.data(), bytes.size());
        return bytes;
    }
    // Small numbers most of the time, any 32-bit number now and then.
    UInt32 SmallOrAny(UInt32 small)
    {
        const uint8_t choice = Byte();
        return choice < 240 ? UInt32(choice % small) : Word();
    }
    // One of `choices` most of the time, now and then any 32-bit number with `anyBits` set.
    template <size_t N> UInt32 OneOfOrAny(const UInt32 (&choices)[N], UInt32 anyBits = 0)
    {
        const uint8_t choice = Byte();
        return choice < 250 ? choices[choice % N] : anyBits | Word();
    }

private:
    const uint8_t* mData;
    size_t mSize;
    size_t mPosition = 0;
};
