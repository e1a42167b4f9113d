// Text conversions of the string type: UTF-8 (the storage form), UTF-16 (what ranges and
// characters count in) and the single-byte encodings.
#pragma once

#include <CoreFoundation/CFString.h>

#include <string>
#include <vector>

namespace CFUnicode {

void AppendUTF8(std::string& out, UInt32 codePoint);
bool IsValidUTF8(const std::string& text);
bool IsASCII(const std::string& text);
// The UTF-16 units of valid UTF-8 text.
std::vector<UniChar> ToUTF16(const std::string& text);
// Lone surrogates cannot be kept in UTF-8; they become U+FFFD.
std::string FromUTF16(const UniChar* units, size_t count);
// Bytes in an encoding to UTF-8; false when they are not valid in it.
bool DecodeBytes(const char* bytes, size_t length, CFStringEncoding encoding, std::string& text);
// UTF-8 text to bytes in an encoding; false when a character has no byte there.
bool EncodeText(const std::string& text, CFStringEncoding encoding, std::string& bytes);

} // namespace CFUnicode
