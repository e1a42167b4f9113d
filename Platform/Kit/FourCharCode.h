// Four-character codes (the types, subtypes and makers of components) read from their text, as a
// bundle's manifest and a command line write them.
#pragma once

#include <MacTypes.h>

#include <algorithm>
#include <string>

// The code of four printable ASCII characters ("aumu"); false for any other text. [any-thread]
inline bool FourCharCodeFromText(const std::string& text, OSType& code)
{
    auto isPrintable = [](unsigned char c) { return c >= 0x20 && c <= 0x7e; };
    if (text.size() != 4 || !std::all_of(text.begin(), text.end(), isPrintable)) {
        return false;
    }
    code = 0;
    for (unsigned char c : text) {
        code = (code << 8) | c;
    }
    return true;
}
