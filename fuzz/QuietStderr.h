// Closes the fuzz target's standard error for the run: the framework explains every refused
// argument there, and at fuzzing speed that text would drown the fuzzer's own report (the fuzzer
// keeps a copy of the stream for its messages and crash reports).
#pragma once

#include <vector>

// Call from LLVMFuzzerInitialize: adds the fuzzer's flag that closes the target's stderr, and
// with `alsoStdout` its standard output too (for a target whose unit logs there).
inline void AddCloseStderrFlag(int* argc, char*** argv, bool alsoStdout = false)
{
    static char stderrOnly[] = "-close_fd_mask=2";
    static char both[] = "-close_fd_mask=3";
    char* flag = alsoStdout ? both : stderrOnly;
    static std::vector<char*> arguments(*argv, *argv + *argc);
    arguments.insert(arguments.begin() + 1, flag);
    arguments.push_back(nullptr);
    *argc = static_cast<int>(arguments.size()) - 1;
    *argv = arguments.data();
}
