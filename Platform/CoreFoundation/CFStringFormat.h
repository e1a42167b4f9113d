// The formatter behind CFStringCreateWithFormat and CFStringAppendFormat.
#pragma once

#include <cstdarg>
#include <string>

// The text of a printf-style format with its arguments; %@ takes a CFTypeRef and inserts its
// description, %C a UniChar and %S a zero-terminated UniChar string.
std::string CFFormatText(const std::string& format, va_list arguments);
