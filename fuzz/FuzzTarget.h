// What the fuzz targets share around their own calls: standard error closed for the run (the
// framework explains every refused argument there, and at fuzzing speed that text would drown
// the fuzzer's own report; the fuzzer keeps a copy of the stream for its messages and crash
// reports) and the entry of a target that runs one session per input.
#pragma once

#include <cstddef>
#include <cstdint>
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

// Defines the target's LLVMFuzzerInitialize, which only closes the output named above.
#define PLENKO_FUZZ_CLOSE_OUTPUT(alsoStdout)                                                       \
    extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)                                   \
    {                                                                                              \
        AddCloseStderrFlag(argc, argv, alsoStdout);                                                \
        return 0;                                                                                  \
    }

// One input, one fresh session over it, run to the end.
template <class Session> int RunFuzzSession(const uint8_t* data, size_t size)
{
    Session session(data, size);
    session.Run();
    return 0;
}
