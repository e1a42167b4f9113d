#include "DynamicLibrary.h"

#include <dlfcn.h>

namespace DynamicLibrary {

namespace {

// The loader's last message for this thread, or a fallback when it has none.
std::string LastLoaderError(const char* fallback)
{
    const char* message = dlerror();
    return message != nullptr ? message : fallback;
}

} // namespace

void* Open(const std::string& path, std::string& error)
{
    // Local symbols: two bundles built on the same framework keep separate copies of it.
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        error = LastLoaderError("cannot open the library");
    }
    return library;
}

void* FindSymbol(void* library, const std::string& name, std::string& error)
{
    dlerror();
    void* address = dlsym(library, name.c_str());
    if (address == nullptr) {
        error = LastLoaderError("the symbol is null");
    }
    return address;
}

void Close(void* library)
{
    dlclose(library);
}

} // namespace DynamicLibrary
