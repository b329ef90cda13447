#include <dlfcn.h>

#include <cstring>

#include "platform/Module.h"

void* PluginModuleHandle() { return nullptr; }

std::string PluginModulePath(int maxChars) {
  Dl_info info;
  std::memset(&info, 0, sizeof info);
  // Any address inside this library names it.
  if (dladdr(reinterpret_cast<void*>(&PluginModulePath), &info) == 0 || info.dli_fname == nullptr)
    return std::string();
  std::string path(info.dli_fname);
  if (maxChars <= 0 || path.size() >= static_cast<size_t>(maxChars)) return std::string();
  return path;
}

std::string PluginModuleFolder() { return FolderOfModulePath(PluginModulePath(256), '/'); }

bool PinPluginModule() {
  Dl_info info;
  std::memset(&info, 0, sizeof info);
  if (dladdr(reinterpret_cast<void*>(&PinPluginModule), &info) == 0 || info.dli_fname == nullptr) return false;
  // A reference that is never given back; RTLD_NODELETE keeps the code
  // mapped even if someone closes it too often.
  return dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE) != nullptr;
}
