#include <dlfcn.h>
#include <link.h>

#include "tests/host/HostModule.h"

namespace testhost {

void* OpenLibrary(const std::string& path, std::string& error) {
  // RTLD_LOCAL: like a DAW, keep the plug-in's symbols out of the global scope.
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* why = dlerror();
    error = why ? why : "dlopen failed";
  }
  return handle;
}

void* FindSymbol(void* library, const char* name) {
  void* symbol = dlsym(library, name);
  if (!symbol) return nullptr;
  // dlsym also searches the library's dependencies; "main" must be the
  // plug-in's own, not some other object's.
  link_map* own = nullptr;
  link_map* defining = nullptr;
  Dl_info info;
  if (dlinfo(library, RTLD_DI_LINKMAP, &own) != 0 ||
      !dladdr1(symbol, &info, reinterpret_cast<void**>(&defining), RTLD_DL_LINKMAP) || defining != own) {
    return nullptr;
  }
  return symbol;
}

}  // namespace testhost
