#include "platform/Module.h"

std::string FolderOfModulePath(const std::string& path, char separator) {
  const std::string::size_type last = path.rfind(separator);
  if (last == std::string::npos || last + 1 == path.size()) return std::string();
  return path.substr(0, last + 1);
}
