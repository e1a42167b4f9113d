// Reads a whole file into memory, refusing one that is larger than its caller can take.
#pragma once

#include <MacTypes.h>

#include <string>
#include <vector>

// The file's bytes. Throws std::runtime_error with what is wrong ("cannot open: No such file or
// directory", "is a directory", "larger than 64 MiB"), without the path. [host-thread]
std::vector<Byte> ReadFileBytes(const std::string& path, size_t maxSize);

// Writes bytes to the file at path, replacing it. Throws std::runtime_error with what is wrong,
// without the path. [host-thread]
void WriteFileBytes(const std::string& path, const std::vector<Byte>& bytes);
