#include "ValidationContext.h"

#include <mutex>
#include <unistd.h>

namespace {

// Findings from a check's second thread and from its main thread go out whole, one at a time.
std::mutex sSendMutex;

} // namespace

ValidationContext::ValidationContext(AudioComponent component, std::uint64_t seed,
                                     const std::string& checkName, int report)
    : mComponent(component), mRandom(CheckSeed(seed, checkName)), mReport(report)
{
}

long ValidationContext::RandomBetween(long first, long last)
{
    return std::uniform_int_distribution<long>(first, last)(mRandom);
}

void ValidationContext::Fail(const std::string& what)
{
    std::lock_guard<std::mutex> lock(sSendMutex);
    ++mFailures;
    Send('F', what);
}

bool ValidationContext::Expect(bool condition, const std::string& what)
{
    if (!condition)
        Fail(what);
    return condition;
}

void ValidationContext::Skip(const std::string& why)
{
    std::lock_guard<std::mutex> lock(sSendMutex);
    Send('S', why);
}

void ValidationContext::Note(const std::string& remark)
{
    std::lock_guard<std::mutex> lock(sSendMutex);
    Send('N', remark);
}

void ValidationContext::Finish()
{
    std::lock_guard<std::mutex> lock(sSendMutex);
    Send('E', "");
}

void ValidationContext::Send(char kind, const std::string& text)
{
    // One finding is one line: a line end inside the text would split it.
    std::string line(1, kind);
    for (const char c : text)
        line += (c == '\n' || c == '\r') ? ' ' : c;
    line += '\n';
    for (size_t sent = 0; sent < line.size();) {
        const ssize_t wrote = write(mReport, line.data() + sent, line.size() - sent);
        if (wrote <= 0)
            return; // The parent is gone; nobody is left to tell.
        sent += size_t(wrote);
    }
}

std::uint64_t CheckSeed(std::uint64_t runSeed, const std::string& checkName)
{
    // FNV-1a: the same in every build, unlike std::hash.
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (const char c : checkName)
        hash = (hash ^ std::uint8_t(c)) * 0x100000001b3ULL;
    return hash ^ runSeed;
}
