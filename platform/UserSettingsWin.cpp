#include <windows.h>

#include <cstdlib>
#include <string>

#include "platform/UserSettings.h"

std::string UserSettingsPath(const char* folder, const char* file) {
  char base[MAX_PATH];
  const DWORD length = GetEnvironmentVariableA("APPDATA", base, sizeof base);
  if (length == 0 || length >= sizeof base) return std::string();
  return std::string(base) + "\\" + (folder != nullptr ? folder : "") + "\\" + (file != nullptr ? file : "");
}

bool WriteProfileValue(const char* section, const char* key, const char* value, const char* path) {
  if (section == nullptr || key == nullptr || value == nullptr || path == nullptr || path[0] == '\0') return false;
  const std::string target = path;
  const size_t separator = target.find_last_of("\\/");
  if (separator != std::string::npos && separator > 0) {
    const std::string folder = target.substr(0, separator);
    if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return WritePrivateProfileStringA(section, key, value, path) != 0;
}
