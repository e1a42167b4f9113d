#include "ProgramRun.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// A temporary file that collects one output stream of the program.
class Capture {
public:
    Capture() : mFile(std::tmpfile())
    {
        if (mFile == nullptr) {
            throw std::runtime_error("RunProgram: no temporary file");
        }
    }
    ~Capture() { std::fclose(mFile); }
    Capture(const Capture&) = delete;
    Capture& operator=(const Capture&) = delete;

    int Descriptor() const { return fileno(mFile); }
    std::string Text() const
    {
        std::string text;
        char chunk[4096];
        off_t offset = 0;
        ssize_t got;
        while ((got = pread(Descriptor(), chunk, sizeof chunk, offset)) > 0) {
            text.append(chunk, static_cast<size_t>(got));
            offset += got;
        }
        return text;
    }

private:
    std::FILE* mFile;
};

std::vector<std::string> MergedEnvironment(const std::vector<std::string>& overrides)
{
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('=') + 1);
        bool replaced = false;
        for (const std::string& override : overrides) {
            replaced = replaced || override.compare(0, name.size(), name) == 0;
        }
        if (!replaced) {
            merged.push_back(text);
        }
    }
    merged.insert(merged.end(), overrides.begin(), overrides.end());
    return merged;
}

std::vector<char*> Pointers(std::vector<std::string>& texts)
{
    std::vector<char*> pointers;
    for (std::string& text : texts) {
        pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
}

} // namespace

ProgramResult RunProgram(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment)
{
    Capture out, err;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out.Descriptor(), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err.Descriptor(), STDERR_FILENO);

    std::vector<std::string> argumentTexts = arguments;
    std::vector<std::string> environmentTexts = MergedEnvironment(environment);
    std::vector<char*> argv = Pointers(argumentTexts);
    std::vector<char*> envp = Pointers(environmentTexts);
    pid_t child = 0;
    const int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        throw std::runtime_error("RunProgram: cannot start " + arguments[0] + ": " +
                                 std::strerror(failed));
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ProgramResult result;
    result.mExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.mOut = out.Text();
    result.mErr = err.Text();
    return result;
}
