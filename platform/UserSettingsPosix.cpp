#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/IniText.h"
#include "platform/UserSettings.h"

namespace {

// Makes every missing folder of a path, like mkdir -p.
bool MakeFolders(const std::string& folder) {
  for (size_t at = 1; at <= folder.size(); ++at) {
    if (at < folder.size() && folder[at] != '/') continue;
    const std::string part = folder.substr(0, at);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
  }
  return true;
}

const long kMaxSettingsFileBytes = 1 << 20;

}  // namespace

std::string UserSettingsPath(const char* folder, const char* file) {
  std::string base;
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg != nullptr && xdg[0] == '/') {
    base = xdg;
  } else {
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/') return std::string();
    base = std::string(home) + "/.config";
  }
  return base + "/" + (folder != nullptr ? folder : "") + "/" + (file != nullptr ? file : "");
}

bool WriteProfileValue(const char* section, const char* key, const char* value, const char* path) {
  if (section == nullptr || key == nullptr || value == nullptr || path == nullptr || path[0] == '\0') return false;
  const std::string target = path;
  const size_t slash = target.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(target.substr(0, slash))) return false;

  std::vector<std::string> lines;
  if (std::FILE* in = std::fopen(path, "rb")) {
    std::string contents;
    char block[4096];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, in)) > 0 && contents.size() < size_t(kMaxSettingsFileBytes))
      contents.append(block, got);
    std::fclose(in);
    size_t start = 0;
    while (start < contents.size()) {
      size_t end = contents.find('\n', start);
      if (end == std::string::npos) end = contents.size();
      std::string line = contents.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      start = end + 1;
    }
  }

  const std::string wantedSection = section, wantedKey = key;
  const std::string entry = wantedKey + "=" + value;
  bool inSection = false, done = false;
  size_t sectionEnd = std::string::npos;  // where a new key of the section goes
  for (size_t i = 0; i < lines.size() && !done; ++i) {
    const std::string line = TrimBlanks(lines[i]);
    if (!line.empty() && line.front() == '[') {
      if (inSection) break;
      const size_t close = line.find(']');
      inSection = close != std::string::npos && SameNameIgnoringCase(TrimBlanks(line.substr(1, close - 1)), wantedSection);
      if (inSection) sectionEnd = i + 1;
      continue;
    }
    if (!inSection) continue;
    const size_t equals = line.find('=');
    if (equals != std::string::npos && SameNameIgnoringCase(TrimBlanks(line.substr(0, equals)), wantedKey)) {
      lines[i] = entry;
      done = true;
    } else if (!line.empty()) {
      sectionEnd = i + 1;
    }
  }
  if (!done) {
    if (sectionEnd == std::string::npos) {
      lines.push_back("[" + wantedSection + "]");
      lines.push_back(entry);
    } else {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(sectionEnd), entry);
    }
  }

  // A whole new file, renamed over the old one: a crash leaves one or the other.
  const std::string temporary = target + ".tmp";
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (out == nullptr) return false;
  bool written = true;
  for (const std::string& line : lines) written = written && std::fprintf(out, "%s\n", line.c_str()) >= 0;
  written = std::fclose(out) == 0 && written;
  if (!written || std::rename(temporary.c_str(), path) != 0) {
    std::remove(temporary.c_str());
    return false;
  }
  return true;
}
