// A look at serialized property-list data before libplist parses it: libplist frees a tree
// recursively, expands every shared reference of a binary list and aborts on a dictionary key
// with a zero character, so a deeply nested, self-multiplying or such keyed document would
// exhaust the stack or the memory of a reader, or end it.
#pragma once

#include <cstddef>
#include <string>

// Whether the data nests at most maxLevels values deep (the top value being the first level)
// and, for the binary form, expands to at most maxNodes values (or to its own number of objects,
// when that is larger) and has no key with a zero character; problem says why not. Malformed data
// passes when its shape is harmless, so that libplist gives its own verdict. [any-thread]
bool CFPropertyListShapeIsReadable(const char* bytes, size_t length, bool binary, int maxLevels,
                                   size_t maxNodes, std::string& problem);
