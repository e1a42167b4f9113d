#include "CFText.h"

#include "CoreFoundation/CFStringText.h"

std::string TextOf(CFStringRef string)
{
    if (string == nullptr)
        return "<null>";
    return CFStringText(string).value_or("<no text>");
}
