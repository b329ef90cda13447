#include <windows.h>

#include "platform/Module.h"

static HINSTANCE gModuleInstance = nullptr;

// Module entry: every reason code stores the instance handle that resources
// and the editor window are loaded from.
extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reason;
  (void)reserved;
  gModuleInstance = instance;
  return TRUE;
}

void* PluginModuleHandle() { return gModuleInstance; }

std::string PluginModulePath(int maxChars) {
  if (maxChars <= 0) return std::string();
  std::string buffer(static_cast<size_t>(maxChars) + 1, '\0');
  const DWORD length = GetModuleFileNameA(gModuleInstance, &buffer[0], static_cast<DWORD>(maxChars));
  if (length == 0 || length >= static_cast<DWORD>(maxChars)) return std::string();
  buffer.resize(length);
  return buffer;
}

std::string PluginModuleFolder() { return FolderOfModulePath(PluginModulePath(256), '\\'); }

bool PinPluginModule() {
  HMODULE pinned = nullptr;
  return GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&PinPluginModule), &pinned) != 0;
}
