#include <windows.h>

#include <string>

#include "tests/host/HostModule.h"

namespace testhost {
namespace {

// CTest hands us unix paths; under Wine drive Z: is the unix root.
std::string WindowsPath(const std::string& path) {
  std::string out = path;
  if (!out.empty() && out[0] == '/') out = "Z:" + out;
  for (char& c : out) {
    if (c == '/') c = '\\';
  }
  return out;
}

}  // namespace

void* OpenLibrary(const std::string& path, std::string& error) {
  const std::string windowsPath = WindowsPath(path);
  HMODULE module = LoadLibraryA(windowsPath.c_str());
  if (!module) error = "LoadLibraryA(" + windowsPath + ") failed, error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(module);
}

void* FindSymbol(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

}  // namespace testhost
