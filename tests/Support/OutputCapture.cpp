#include "OutputCapture.h"

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <unistd.h>

OutputCapture::OutputCapture(Stream stream) : mFd(stream)
{
    Flush();
    FILE* file = tmpfile();
    if (file == nullptr)
        throw std::runtime_error("OutputCapture: no temporary file");
    mFileFd = dup(fileno(file));
    fclose(file);
    mSavedFd = dup(mFd);
    dup2(mFileFd, mFd);
}

OutputCapture::~OutputCapture()
{
    Flush();
    dup2(mSavedFd, mFd);
    close(mSavedFd);
    close(mFileFd);
}

void OutputCapture::Flush()
{
    fflush(mFd == kStdout ? stdout : stderr);
}

std::string OutputCapture::Take()
{
    Flush();
    std::string text;
    char chunk[4096];
    for (;;) {
        ssize_t got = pread(mFileFd, chunk, sizeof chunk, mReadOffset);
        if (got <= 0)
            break;
        text.append(chunk, static_cast<size_t>(got));
        mReadOffset += got;
    }
    return text;
}
