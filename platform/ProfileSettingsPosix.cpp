#include <cstdio>
#include <string>

#include "platform/IniText.h"
#include "platform/ProfileSettings.h"

namespace {

std::string Bounded(std::string text, int maxChars) {
  if (text.size() > static_cast<size_t>(maxChars)) text.resize(static_cast<size_t>(maxChars));
  return text;
}

// Settings files are small; anything beyond this is not ours.
const long kMaxSettingsFileBytes = 1 << 20;

}  // namespace

std::string ReadProfileString(const char* section, const char* key, const char* defaultValue,
                              int maxChars, const char* path) {
  if (maxChars <= 0) return std::string();
  std::string fallback = defaultValue != nullptr ? defaultValue : "";
  while (!fallback.empty() && fallback.back() == ' ') fallback.pop_back();
  fallback = Bounded(fallback, maxChars);
  if (section == nullptr || key == nullptr || path == nullptr) return fallback;

  std::FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return fallback;
  std::string contents;
  char block[4096];
  size_t got;
  while ((got = std::fread(block, 1, sizeof block, file)) > 0 &&
         contents.size() < static_cast<size_t>(kMaxSettingsFileBytes))
    contents.append(block, got);
  std::fclose(file);

  bool inSection = false, sectionSeen = false;
  size_t lineStart = 0;
  while (lineStart <= contents.size()) {
    size_t lineEnd = contents.find_first_of("\r\n", lineStart);
    if (lineEnd == std::string::npos) lineEnd = contents.size();
    const std::string line = TrimBlanks(contents.substr(lineStart, lineEnd - lineStart));
    lineStart = lineEnd + 1;

    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      const size_t close = line.find(']');
      const std::string name = TrimBlanks(line.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      // The first section of that name answers, as the Windows call does.
      if (sectionSeen && inSection) break;
      inSection = SameNameIgnoringCase(name, section);
      if (inSection) sectionSeen = true;
      continue;
    }
    if (!inSection) continue;
    const size_t equals = line.find('=');
    const std::string name = TrimBlanks(line.substr(0, equals));
    if (!SameNameIgnoringCase(name, key)) continue;
    std::string value = equals == std::string::npos ? std::string() : TrimBlanks(line.substr(equals + 1));
    if (value.size() > 1 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
      value = value.substr(1, value.size() - 2);
    return Bounded(value, maxChars);
  }
  return fallback;
}
