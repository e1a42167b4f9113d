// Reading and writing a property value in the bytes a host hands over: the host's buffer need
// not be aligned for the value's type, so every access goes through a copy.
#pragma once

#include <cstring>

template <class T> T ReadValue(const void* data)
{
    T value;
    std::memcpy(&value, data, sizeof(T));
    return value;
}

template <class T> void WriteValue(void* data, const T& value)
{
    std::memcpy(data, &value, sizeof(T));
}
