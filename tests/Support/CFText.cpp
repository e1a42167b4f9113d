#include "CFText.h"

#include "CFStringText.h"

std::string TextOf(CFStringRef string)
{
    if (string == nullptr)
        return "<null>";
    return CFStringText(string).value_or("<no text>");
}
