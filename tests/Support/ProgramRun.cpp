#include "ProgramRun.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <spawn.h>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using TemporaryFile = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

std::string Contents(std::FILE* file)
{
    std::string text;
    char chunk[4096];
    std::rewind(file);
    for (size_t got; (got = std::fread(chunk, 1, sizeof chunk, file)) > 0;) {
        text.append(chunk, got);
    }
    return text;
}

} // namespace

ProgramResult RunProgram(const std::vector<std::string>& arguments,
                         const std::vector<std::string>& environment)
{
    // env sets the variables for the program alone.
    std::vector<std::string> command;
    if (!environment.empty()) {
        command.push_back("env");
        command.insert(command.end(), environment.begin(), environment.end());
    }
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : command) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    TemporaryFile out(std::tmpfile(), std::fclose), err(std::tmpfile(), std::fclose);
    if (!out || !err) {
        throw std::runtime_error("RunProgram: no temporary file");
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fileno(out.get()), STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, fileno(err.get()), STDERR_FILENO);
    pid_t child = 0;
    const int failed = posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed != 0) {
        throw std::runtime_error("RunProgram: cannot start " + command[0] + ": " +
                                 std::strerror(failed));
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    ProgramResult result;
    result.mExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    result.mOut = Contents(out.get());
    result.mErr = Contents(err.get());
    return result;
}
