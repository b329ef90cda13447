#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <climits>

#include "tools/veltrane-render/PluginModule.h"

namespace vhost {

void* OpenModule(const std::string& path, std::string& error) {
  // A path without a slash would make dlopen search the library path, which
  // is not what a user naming a file means.
  const std::string name = path.find('/') == std::string::npos ? "./" + path : path;
  dlerror();
  // RTLD_LOCAL: keep the plug-in's symbols to itself, as hosts do.
  void* module = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (module == nullptr) {
    const char* why = dlerror();
    error = why != nullptr ? why : "the library could not be loaded";
  }
  return module;
}

void* FindModuleSymbol(void* module, const char* name) {
  if (module == nullptr) return nullptr;
  dlerror();
  void* symbol = dlsym(module, name);
  if (symbol == nullptr) return nullptr;
  // dlsym also searches the library's dependencies; "main" of some other
  // object is no entry point.
  link_map* own = nullptr;
  link_map* defining = nullptr;
  Dl_info info;
  if (dlinfo(module, RTLD_DI_LINKMAP, &own) != 0 ||
      dladdr1(symbol, &info, reinterpret_cast<void**>(&defining), RTLD_DL_LINKMAP) == 0 || defining != own) {
    return nullptr;
  }
  return symbol;
}

void CloseModule(void* module) {
  if (module != nullptr) dlclose(module);
}

std::string ExecutableFolder() {
  char path[PATH_MAX + 1];
  const ssize_t length = readlink("/proc/self/exe", path, PATH_MAX);
  if (length <= 0) return std::string();
  path[length] = '\0';
  std::string folder(path, static_cast<size_t>(length));
  const size_t slash = folder.rfind('/');
  if (slash == std::string::npos) return std::string();
  return folder.substr(0, slash + 1);
}

}  // namespace vhost
