// Captures what the process writes to standard output or standard error (through stdio or
// straight to the file descriptor) while an object lives, so tests can check diagnostic lines.
#pragma once

#include <string>

class OutputCapture {
public:
    enum Stream { kStdout = 1, kStderr = 2 };

    explicit OutputCapture(Stream stream);
    ~OutputCapture();
    OutputCapture(const OutputCapture&) = delete;
    OutputCapture& operator=(const OutputCapture&) = delete;

    // Everything written since construction or the last Take(); capture goes on.
    std::string Take();

private:
    void Flush();

    int mFd;
    int mSavedFd;
    int mFileFd;
    long mReadOffset = 0;
};
