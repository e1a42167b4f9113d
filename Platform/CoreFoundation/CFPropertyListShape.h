// A look at serialized property-list data before libplist parses it: libplist frees a tree
// recursively and expands every shared reference of a binary list, so a deeply nested or
// self-multiplying document would exhaust the stack or the memory of a reader.
#pragma once

#include <cstddef>
#include <string>

// Whether the data nests at most maxLevels values deep (the top value being the first level)
// and, for the binary form, expands to at most maxNodes values (or to its own number of objects,
// when that is larger); problem says why not. Malformed data passes when its shape is harmless,
// so that libplist gives its own verdict.
bool CFPropertyListShapeIsReadable(const char* bytes, size_t length, bool binary, int maxLevels,
                                   size_t maxNodes, std::string& problem);
