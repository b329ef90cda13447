// The plug-in's own library file: where it lies and its module handle.
#pragma once

#include <string>

// The opaque module handle stored by the module entry (Windows: the HINSTANCE
// given to DllMain; elsewhere null).
void* PluginModuleHandle();

// Full path of the library file that holds this code, at most `maxChars`
// characters; empty when it cannot be obtained.
std::string PluginModulePath(int maxChars = 256);

// The folder of a module path up to and including its last path separator;
// empty when there is none or the path ends in one.
std::string FolderOfModulePath(const std::string& path, char separator);

// `FolderOfModulePath` of this library, with the platform's separator.
std::string PluginModuleFolder();

// Keeps this library loaded until the process ends, whatever the host
// unloads: for a worker thread that may still run its code after the last
// instance is gone. False when the system refused.
bool PinPluginModule();
