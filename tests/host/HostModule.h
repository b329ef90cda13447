// The OS part of the test host: load a library by path and find a symbol.
#pragma once

#include <string>

namespace testhost {

// Returns the library handle, or null with a reason in error.
void* OpenLibrary(const std::string& path, std::string& error);
void* FindSymbol(void* library, const char* name);

}  // namespace testhost
