#include "CommandLine/CommandLineChecks.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

namespace {

std::string Range(double first, double last)
{
    char text[64];
    std::snprintf(text, sizeof text, "%g to %g", first, last);
    return text;
}

} // namespace

CLI::Validator WholeNumberFrom(long first, long last, const std::string& what)
{
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            const bool digits = !text.empty() && text.size() <= 9 &&
                                text.find_first_not_of("0123456789") == std::string::npos;
            const long value = digits ? std::strtol(text.c_str(), nullptr, 10) : first - 1;
            if (value >= first && value <= last) {
                return "";
            }
            return "\"" + text + "\" is not " + what + ": a whole number from " +
                   Range(double(first), double(last));
        },
        "");
}

CLI::Validator NumberFrom(double first, double last, const std::string& what)
{
    return CLI::Validator(
        [=](std::string& text) -> std::string {
            char* end = nullptr;
            errno = 0;
            const double value = std::strtod(text.c_str(), &end);
            if (!text.empty() && *end == '\0' && errno == 0 && std::isfinite(value) &&
                value >= first && value <= last) {
                return "";
            }
            return "\"" + text + "\" is not " + what + ": a number from " + Range(first, last);
        },
        "");
}
