// Byte files written as readable text, for corpora of binary test inputs, and the files that
// programs read them from. The text holds:
//   3C 0000 FF   hex digits, two per byte, in runs of any even length
//   "MThd"       the ASCII bytes between the quotes
//   [ ... ]      the bytes inside, preceded by their count as 4 big-endian bytes
//   # ...        a comment up to the end of the line
//   #> ...       an expectation: what a test must find, in the test's own words
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The bytes the text describes. Throws std::invalid_argument naming the first bad token.
std::vector<uint8_t> BytesFromHexText(const std::string& text);

struct HexFile {
    std::vector<uint8_t> mBytes;
    std::vector<std::string> mExpectations; // the text after each #>, in file order
};

// A file of such text. Throws std::runtime_error when it cannot be read.
HexFile ReadHexFile(const std::string& path);

// Writes bytes to a file of that name in this process's temporary folder, for programs that
// read files, and returns its path. Throws std::runtime_error when it cannot.
std::string WriteTemporaryFile(const std::string& name, const std::vector<uint8_t>& bytes);

// Bytes as text, "90 3C 64", for readable expectations.
std::string HexText(const uint8_t* bytes, size_t count);
