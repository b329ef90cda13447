// Loading a plug-in binary and finding its entry point: the only OS code of
// the host layer.
#pragma once

#include <string>

namespace vhost {

// Opens the library at path; on failure returns null and says why in error.
void* OpenModule(const std::string& path, std::string& error);

// The symbol as the library itself defines it (not one of its dependencies'),
// or null.
void* FindModuleSymbol(void* module, const char* name);

void CloseModule(void* module);

// The folder of the running executable, ending with '/', or "" if unknown.
std::string ExecutableFolder();

}  // namespace vhost
