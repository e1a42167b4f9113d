#include "JackMidiDump.h"

#include <cstdio>
#include <sstream>

std::vector<DumpedMessage> ParseJackMidiDump(const std::string& output)
{
    std::vector<DumpedMessage> messages;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        unsigned long long frame = 0;
        int consumed = 0;
        if (std::sscanf(line.c_str(), " %llu:%n", &frame, &consumed) != 1)
            continue;
        DumpedMessage message{frame, {}};
        // The bytes are the two-digit hex words up to the first word of the description.
        std::istringstream words(line.substr(size_t(consumed)));
        std::string word;
        unsigned value = 0;
        while (words >> word && word.size() == 2 && std::sscanf(word.c_str(), "%2x", &value) == 1 &&
               word.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos)
            message.bytes.push_back(Byte(value));
        if (!message.bytes.empty())
            messages.push_back(std::move(message));
    }
    return messages;
}
