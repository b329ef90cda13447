#include <windows.h>

#include <vector>

#include "platform/ProfileSettings.h"

std::string ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              int maxChars, const char* path) {
  if (maxChars <= 0) return std::string();
  std::vector<char> buffer(static_cast<size_t>(maxChars) + 1, '\0');
  const DWORD length = GetPrivateProfileStringA(section, key, defaultValue, buffer.data(),
                                                static_cast<DWORD>(buffer.size()), path);
  return std::string(buffer.data(), length);
}
