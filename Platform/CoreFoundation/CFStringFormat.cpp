// printf-style formatting for CFStringCreateWithFormat: each conversion is handed to the C
// library with its own argument, except %@, which inserts the description of a CF object.
#include "CFStringFormat.h"

#include "CFRuntime.h"
#include "CFUnicode.h"

#include <cstdio>
#include <cstring>
#include <vector>

using namespace CFUnicode;

namespace {

template <class T>
void AppendPrintf(std::string& out, const std::string& directive, const std::vector<int>& stars,
                  T value)
{
    char small[128];
    const auto print = [&](char* buffer, size_t size) {
        switch (stars.size()) {
        case 0:
            return snprintf(buffer, size, directive.c_str(), value);
        case 1:
            return snprintf(buffer, size, directive.c_str(), stars[0], value);
        default:
            return snprintf(buffer, size, directive.c_str(), stars[0], stars[1], value);
        }
    };
    const int length = print(small, sizeof small);
    if (length < 0) {
        return;
    }
    if (static_cast<size_t>(length) < sizeof small) {
        out.append(small, static_cast<size_t>(length));
        return;
    }
    std::vector<char> large(static_cast<size_t>(length) + 1);
    print(large.data(), large.size());
    out.append(large.data(), static_cast<size_t>(length));
}

// One conversion of a format: its text (length modifier 'q' spelled 'll' for the C library),
// the values of its '*' width and precision, its length modifier and conversion character.
struct Conversion {
    std::string directive;
    std::vector<int> stars;
    std::string length;
    char type = 0;
};

// Parses the conversion starting at format[i] == '%'; false when the format ends inside it.
bool ParseConversion(const std::string& format, size_t& i, va_list& args, Conversion& conversion)
{
    const size_t start = i++;
    const auto at = [&](const char* set) {
        return i < format.size() && format[i] != '\0' && strchr(set, format[i]) != nullptr;
    };
    while (at("-+ #0'")) {
        ++i;
    }
    for (int field = 0; field < 2; ++field) {
        if (field == 1) {
            if (!at(".")) {
                break;
            }
            ++i;
        }
        if (at("*")) {
            conversion.stars.push_back(va_arg(args, int));
            ++i;
        } else {
            while (at("0123456789")) {
                ++i;
            }
        }
    }
    const size_t lengthStart = i;
    while (at("hlqjztL")) {
        ++i;
    }
    conversion.length = format.substr(lengthStart, i - lengthStart);
    if (i >= format.size()) {
        return false;
    }
    conversion.type = format[i++];
    conversion.directive = format.substr(start, lengthStart - start);
    conversion.directive += conversion.length == "q" ? "ll" : conversion.length;
    conversion.directive += conversion.type;
    return true;
}

void AppendSigned(std::string& out, const Conversion& c, va_list& args)
{
    const std::string& l = c.length;
    if (l == "l") {
        AppendPrintf(out, c.directive, c.stars, va_arg(args, long));
    } else if (l == "ll" || l == "q" || l == "j") {
        AppendPrintf(out, c.directive, c.stars, va_arg(args, long long));
    } else if (l == "z" || l == "t") {
        AppendPrintf(out, c.directive, c.stars, va_arg(args, ptrdiff_t));
    } else {
        AppendPrintf(out, c.directive, c.stars, va_arg(args, int));
    }
}

void AppendUnsigned(std::string& out, const Conversion& c, va_list& args)
{
    const std::string& l = c.length;
    if (l == "l") {
        AppendPrintf(out, c.directive, c.stars, va_arg(args, unsigned long));
    } else if (l == "ll" || l == "q" || l == "j") {
        AppendPrintf(out, c.directive, c.stars, va_arg(args, unsigned long long));
    } else if (l == "z" || l == "t") {
        AppendPrintf(out, c.directive, c.stars, va_arg(args, size_t));
    } else {
        AppendPrintf(out, c.directive, c.stars, va_arg(args, unsigned int));
    }
}

} // namespace

std::string CFFormatText(const std::string& format, va_list arguments)
{
    std::string out;
    va_list args;
    va_copy(args, arguments);
    for (size_t i = 0; i < format.size();) {
        if (format[i] != '%') {
            out += format[i++];
            continue;
        }
        const size_t start = i;
        Conversion c;
        if (!ParseConversion(format, i, args, c)) {
            out.append(format, start, std::string::npos);
            break;
        }
        switch (c.type) {
        case '%':
            out += '%';
            break;
        case '@':
            out += CFDescribe(va_arg(args, CFTypeRef));
            break;
        case 'd':
        case 'i':
            AppendSigned(out, c, args);
            break;
        case 'o':
        case 'u':
        case 'x':
        case 'X':
            AppendUnsigned(out, c, args);
            break;
        case 'c':
            AppendPrintf(out, c.directive, c.stars, va_arg(args, int));
            break;
        case 'C':
            AppendUTF8(out, static_cast<UniChar>(va_arg(args, int)));
            break;
        case 'e':
        case 'E':
        case 'f':
        case 'F':
        case 'g':
        case 'G':
        case 'a':
        case 'A':
            if (c.length == "L") {
                AppendPrintf(out, c.directive, c.stars, va_arg(args, long double));
            } else {
                AppendPrintf(out, c.directive, c.stars, va_arg(args, double));
            }
            break;
        case 's':
            AppendPrintf(out, c.directive, c.stars, va_arg(args, const char*));
            break;
        case 'p':
            AppendPrintf(out, c.directive, c.stars, va_arg(args, void*));
            break;
        case 'S': {
            const UniChar* units = va_arg(args, const UniChar*);
            size_t count = 0;
            while (units && units[count] != 0) {
                ++count;
            }
            out += units ? FromUTF16(units, count) : std::string("(null)");
            break;
        }
        case 'n':
            va_arg(args, void*);
            break; // never written through
        default:
            out.append(format, start, i - start);
            break;
        }
    }
    va_end(args);
    return out;
}
