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
  // Every missing folder of the path, like mkdir -p (the drive's root exists).
  const std::string target = path;
  for (size_t at = target.find_first_of("\\/", 3); at != std::string::npos;
       at = target.find_first_of("\\/", at + 1)) {
    const std::string folder = target.substr(0, at);
    if (CreateDirectoryA(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS) continue;
    // Folders above the user's may refuse creation while they exist.
    const DWORD attributes = GetFileAttributesA(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return false;
  }
  return WritePrivateProfileStringA(section, key, value, path) != 0;
}
