#include "HexBytes.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace {

void PutLength(std::vector<uint8_t>& bytes, size_t at)
{
    const size_t length = bytes.size() - at - 4;
    for (int shift = 24, i = 0; shift >= 0; shift -= 8, ++i) {
        bytes[at + static_cast<size_t>(i)] = static_cast<uint8_t>(length >> shift);
    }
}

} // namespace

std::vector<uint8_t> BytesFromHexText(const std::string& text)
{
    std::vector<uint8_t> bytes;
    std::vector<size_t> openBlocks;
    for (size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (std::isspace(static_cast<unsigned char>(c))) {
            ++i;
        } else if (c == '#') {
            i = text.find('\n', i);
        } else if (c == '"') {
            const size_t end = text.find('"', i + 1);
            if (end == std::string::npos) {
                throw std::invalid_argument("unterminated string at " + std::to_string(i));
            }
            bytes.insert(bytes.end(), text.begin() + static_cast<long>(i) + 1,
                         text.begin() + static_cast<long>(end));
            i = end + 1;
        } else if (c == '[') {
            openBlocks.push_back(bytes.size());
            bytes.insert(bytes.end(), 4, 0);
            ++i;
        } else if (c == ']') {
            if (openBlocks.empty()) {
                throw std::invalid_argument("unmatched ] at " + std::to_string(i));
            }
            PutLength(bytes, openBlocks.back());
            openBlocks.pop_back();
            ++i;
        } else {
            size_t end = i;
            while (end < text.size() && std::isxdigit(static_cast<unsigned char>(text[end]))) {
                ++end;
            }
            if (end == i || (end - i) % 2 != 0) {
                throw std::invalid_argument("bad token at " + std::to_string(i) + ": " +
                                            text.substr(i, 12));
            }
            for (; i < end; i += 2) {
                bytes.push_back(static_cast<uint8_t>(std::stoul(text.substr(i, 2), nullptr, 16)));
            }
        }
    }
    if (!openBlocks.empty()) {
        throw std::invalid_argument("unmatched [");
    }
    return bytes;
}

HexFile ReadHexFile(const std::string& path)
{
    std::ifstream file(path);
    if (!file) {
        throw std::runtime_error("cannot read " + path);
    }
    std::stringstream text;
    text << file.rdbuf();
    HexFile hex{BytesFromHexText(text.str()), {}};
    for (std::string line; std::getline(text, line);) {
        const size_t mark = line.find("#>");
        if (mark != std::string::npos) {
            hex.mExpectations.push_back(line.substr(line.find_first_not_of(' ', mark + 2)));
        }
    }
    return hex;
}

std::string WriteTemporaryFile(const std::string& name, const std::vector<uint8_t>& bytes)
{
    // One folder per process, so that test programs running side by side keep their files
    // apart; it goes when the process ends.
    static const struct Folder {
        std::filesystem::path mPath =
            std::filesystem::temp_directory_path() / ("plenko-tests-" + std::to_string(getpid()));
        Folder() { std::filesystem::create_directories(mPath); }
        ~Folder()
        {
            std::error_code ignored;
            std::filesystem::remove_all(mPath, ignored);
        }
    } folder;
    const std::string path = (folder.mPath / name).string();
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    if (!file.flush()) {
        throw std::runtime_error("cannot write " + path);
    }
    return path;
}

std::string HexText(const uint8_t* bytes, size_t count)
{
    std::string text;
    char byte[4];
    for (size_t i = 0; i < count; ++i) {
        std::snprintf(byte, sizeof byte, i == 0 ? "%02X" : " %02X", bytes[i]);
        text += byte;
    }
    return text;
}
