// UTF-8 validation and the conversions between UTF-8, UTF-16 and the byte encodings strings are
// made from and read into.
#include "CFUnicode.h"

namespace CFUnicode {

namespace {

// Decodes the UTF-8 sequence at text[i]; false for a malformed, overlong or surrogate sequence.
bool DecodeUTF8(const std::string& text, size_t& i, UInt32& codePoint)
{
    const auto byte = [&](size_t k) { return static_cast<UInt8>(text[k]); };
    const UInt8 lead = byte(i);
    size_t extra = 0;
    UInt32 minimum = 0;
    if (lead < 0x80) {
        codePoint = lead;
    } else if ((lead & 0xE0) == 0xC0) {
        codePoint = lead & 0x1F, extra = 1, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        codePoint = lead & 0x0F, extra = 2, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        codePoint = lead & 0x07, extra = 3, minimum = 0x10000;
    } else {
        return false;
    }
    if (i + extra >= text.size()) {
        return false;
    }
    for (size_t k = 1; k <= extra; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) {
            return false;
        }
        codePoint = (codePoint << 6) | (byte(i + k) & 0x3F);
    }
    i += extra + 1;
    const bool surrogate = codePoint >= 0xD800 && codePoint <= 0xDFFF;
    return codePoint >= minimum && codePoint <= 0x10FFFF && !surrogate;
}

} // namespace

void AppendUTF8(std::string& out, UInt32 codePoint)
{
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool IsValidUTF8(const std::string& text)
{
    UInt32 codePoint = 0;
    for (size_t i = 0; i < text.size();) {
        if (!DecodeUTF8(text, i, codePoint)) {
            return false;
        }
    }
    return true;
}

bool IsASCII(const std::string& text)
{
    for (char c : text) {
        if (static_cast<UInt8>(c) >= 0x80) {
            return false;
        }
    }
    return true;
}

// The UTF-16 units of valid UTF-8 text.
std::vector<UniChar> ToUTF16(const std::string& text)
{
    std::vector<UniChar> units;
    UInt32 codePoint = 0;
    for (size_t i = 0; i < text.size() && DecodeUTF8(text, i, codePoint);) {
        if (codePoint >= 0x10000) {
            codePoint -= 0x10000;
            units.push_back(static_cast<UniChar>(0xD800 + (codePoint >> 10)));
            units.push_back(static_cast<UniChar>(0xDC00 + (codePoint & 0x3FF)));
        } else {
            units.push_back(static_cast<UniChar>(codePoint));
        }
    }
    return units;
}

// Lone surrogates cannot be kept in UTF-8; they become U+FFFD.
std::string FromUTF16(const UniChar* units, size_t count)
{
    std::string text;
    for (size_t i = 0; i < count; ++i) {
        UInt32 codePoint = units[i];
        const bool high = codePoint >= 0xD800 && codePoint <= 0xDBFF;
        if (high && i + 1 < count && units[i + 1] >= 0xDC00 && units[i + 1] <= 0xDFFF) {
            codePoint = 0x10000 + ((codePoint - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (codePoint >= 0xD800 && codePoint <= 0xDFFF) {
            codePoint = 0xFFFD;
        }
        AppendUTF8(text, codePoint);
    }
    return text;
}

// Bytes in an encoding to UTF-8; false when they are not valid in it.
bool DecodeBytes(const char* bytes, size_t length, CFStringEncoding encoding, std::string& text)
{
    std::string raw(bytes, length);
    switch (encoding) {
    case kCFStringEncodingUTF8:
        text = std::move(raw);
        return IsValidUTF8(text);
    case kCFStringEncodingASCII:
    case kCFStringEncodingMacRoman:
        text = std::move(raw);
        return IsASCII(text);
    case kCFStringEncodingISOLatin1:
        text.clear();
        for (char c : raw) {
            AppendUTF8(text, static_cast<UInt8>(c));
        }
        return true;
    default:
        return false;
    }
}

// UTF-8 text to bytes in an encoding; false when a character has no byte there.
bool EncodeText(const std::string& text, CFStringEncoding encoding, std::string& bytes)
{
    switch (encoding) {
    case kCFStringEncodingUTF8:
        bytes = text;
        return true;
    case kCFStringEncodingASCII:
    case kCFStringEncodingMacRoman:
        bytes = text;
        return IsASCII(text);
    case kCFStringEncodingISOLatin1: {
        bytes.clear();
        UInt32 codePoint = 0;
        for (size_t i = 0; i < text.size() && DecodeUTF8(text, i, codePoint);) {
            if (codePoint > 0xFF) {
                return false;
            }
            bytes += static_cast<char>(codePoint);
        }
        return true;
    }
    default:
        return false;
    }
}

} // namespace CFUnicode
