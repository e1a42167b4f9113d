// The seam between the component host and the system's loader: the only code that opens
// libraries and looks up symbols.
#pragma once

#include <string>

namespace DynamicLibrary {

// Opens the library at path; NULL and the loader's reason in error when it cannot.
void* Open(const std::string& path, std::string& error);
// The address of a symbol of an opened library; NULL and the reason in error when it is absent.
void* FindSymbol(void* library, const std::string& name, std::string& error);
// Gives back one Open of the library.
void Close(void* library);

} // namespace DynamicLibrary
