#include "MIDIFile/FileBytes.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>

namespace {

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::runtime_error SystemError(const char* what)
{
    return std::runtime_error(std::string(what) + ": " + std::strerror(errno));
}

std::string SizeText(size_t bytes)
{
    return (bytes % (size_t(1) << 20)) == 0 ? std::to_string(bytes >> 20) + " MiB"
                                            : std::to_string(bytes) + " bytes";
}

} // namespace

std::vector<Byte> ReadFileBytes(const std::string& path, size_t maxSize)
{
    File file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw SystemError("cannot open");
    }
    struct stat status;
    if (fstat(fileno(file.get()), &status) == 0 && S_ISDIR(status.st_mode)) {
        throw std::runtime_error("is a directory");
    }
    // Stops as soon as the limit is passed: a huge file, or a device that never ends, is not
    // read whole.
    std::vector<Byte> bytes;
    Byte chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) {
        if (bytes.size() + got > maxSize) {
            throw std::runtime_error("larger than " + SizeText(maxSize));
        }
        bytes.insert(bytes.end(), chunk, chunk + got);
    }
    if (std::ferror(file.get())) {
        throw SystemError("cannot read");
    }
    return bytes;
}

void WriteFileBytes(const std::string& path, const std::vector<Byte>& bytes)
{
    File file(std::fopen(path.c_str(), "wb"));
    if (!file) {
        throw SystemError("cannot create");
    }
    if (std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size() ||
        std::fflush(file.get()) != 0) {
        throw SystemError("cannot write");
    }
}
