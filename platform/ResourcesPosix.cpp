#include <cstring>

#include "platform/Resources.h"

// Bytes assembled into the library by resources/ResourcesPosix.S.
extern "C" {
extern const unsigned char veltrane_resource_proginit[];
extern const unsigned char veltrane_resource_proginit_end[];
extern const unsigned char veltrane_resource_png_1[];
extern const unsigned char veltrane_resource_png_1_end[];
extern const unsigned char veltrane_resource_png_100[];
extern const unsigned char veltrane_resource_png_100_end[];
extern const unsigned char veltrane_resource_png_101[];
extern const unsigned char veltrane_resource_png_101_end[];
extern const unsigned char veltrane_resource_png_102[];
extern const unsigned char veltrane_resource_png_102_end[];
extern const unsigned char veltrane_resource_png_103[];
extern const unsigned char veltrane_resource_png_103_end[];
extern const unsigned char veltrane_resource_png_104[];
extern const unsigned char veltrane_resource_png_104_end[];
extern const unsigned char veltrane_resource_png_105[];
extern const unsigned char veltrane_resource_png_105_end[];
extern const unsigned char veltrane_resource_png_201[];
extern const unsigned char veltrane_resource_png_201_end[];
extern const unsigned char veltrane_resource_png_300[];
extern const unsigned char veltrane_resource_png_300_end[];
extern const unsigned char veltrane_resource_png_301[];
extern const unsigned char veltrane_resource_png_301_end[];
extern const unsigned char veltrane_resource_png_302[];
extern const unsigned char veltrane_resource_png_302_end[];
extern const unsigned char veltrane_resource_png_303[];
extern const unsigned char veltrane_resource_png_303_end[];
extern const unsigned char veltrane_resource_png_304[];
extern const unsigned char veltrane_resource_png_304_end[];
extern const unsigned char veltrane_resource_png_305[];
extern const unsigned char veltrane_resource_png_305_end[];
}

namespace {

struct ResourceEntry {
  const char* type;
  int id;            // used when name is null
  const char* name;  // resource name, or null for numbered resources
  const unsigned char* begin;
  const unsigned char* end;
};

const ResourceEntry kResources[] = {
    {"PROGDATA", 0, "PROGINIT", veltrane_resource_proginit, veltrane_resource_proginit_end},
    {"PNG", 1, nullptr, veltrane_resource_png_1, veltrane_resource_png_1_end},
    {"PNG", 100, nullptr, veltrane_resource_png_100, veltrane_resource_png_100_end},
    {"PNG", 101, nullptr, veltrane_resource_png_101, veltrane_resource_png_101_end},
    {"PNG", 102, nullptr, veltrane_resource_png_102, veltrane_resource_png_102_end},
    {"PNG", 103, nullptr, veltrane_resource_png_103, veltrane_resource_png_103_end},
    {"PNG", 104, nullptr, veltrane_resource_png_104, veltrane_resource_png_104_end},
    {"PNG", 105, nullptr, veltrane_resource_png_105, veltrane_resource_png_105_end},
    // The 2x set.
    {"PNG", 201, nullptr, veltrane_resource_png_201, veltrane_resource_png_201_end},
    {"PNG", 300, nullptr, veltrane_resource_png_300, veltrane_resource_png_300_end},
    {"PNG", 301, nullptr, veltrane_resource_png_301, veltrane_resource_png_301_end},
    {"PNG", 302, nullptr, veltrane_resource_png_302, veltrane_resource_png_302_end},
    {"PNG", 303, nullptr, veltrane_resource_png_303, veltrane_resource_png_303_end},
    {"PNG", 304, nullptr, veltrane_resource_png_304, veltrane_resource_png_304_end},
    {"PNG", 305, nullptr, veltrane_resource_png_305, veltrane_resource_png_305_end},
};

}  // namespace

bool FindModuleResource(const char* type, int id, const char* name, const void** data, size_t* size) {
  if (type == nullptr || data == nullptr || size == nullptr) return false;
  for (const ResourceEntry& entry : kResources) {
    if (std::strcmp(entry.type, type) != 0) continue;
    const bool match = name != nullptr ? (entry.name != nullptr && std::strcmp(entry.name, name) == 0)
                                       : (entry.name == nullptr && entry.id == id);
    if (!match) continue;
    *data = entry.begin;
    *size = static_cast<size_t>(entry.end - entry.begin);
    return true;
  }
  return false;
}
