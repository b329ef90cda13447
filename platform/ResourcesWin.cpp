#include <windows.h>

#include "platform/Module.h"
#include "platform/Resources.h"

bool FindModuleResource(const char* type, int id, const char* name, const void** data, size_t* size) {
  if (type == nullptr || data == nullptr || size == nullptr) return false;
  HMODULE module = static_cast<HMODULE>(PluginModuleHandle());
  HRSRC info = FindResourceA(module, name != nullptr ? name : MAKEINTRESOURCEA(id), type);
  if (info == nullptr) return false;
  HGLOBAL handle = LoadResource(module, info);
  if (handle == nullptr) return false;
  const DWORD bytes = SizeofResource(module, info);
  const void* locked = LockResource(handle);
  if (locked == nullptr) return false;
  *data = locked;
  *size = bytes;
  return true;
}
