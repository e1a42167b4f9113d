// The UTF-8 text of a CoreFoundation string, as the platform services keep names and values.
#pragma once

#include <CoreFoundation/CoreFoundation.h>

#include <optional>
#include <string>

// The string's text; nothing for NULL or a string that does not convert. [any-thread]
inline std::optional<std::string> CFStringText(CFStringRef string)
{
    if (string == nullptr) {
        return std::nullopt;
    }
    const CFIndex capacity =
        CFStringGetMaximumSizeForEncoding(CFStringGetLength(string), kCFStringEncodingUTF8) + 1;
    std::string text(static_cast<size_t>(capacity), '\0');
    if (!CFStringGetCString(string, text.data(), capacity, kCFStringEncodingUTF8)) {
        return std::nullopt;
    }
    text.resize(std::char_traits<char>::length(text.c_str()));
    return text;
}
