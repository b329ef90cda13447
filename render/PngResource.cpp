// The module's "PNG" resources, found through the platform resource seam.
#include "platform/Resources.h"
#include "render/PngImage.h"

LICE_MemBitmap* LoadPngResource(int identifier) {
  const void* data = nullptr;
  size_t size = 0;
  if (!FindModuleResource("PNG", identifier, nullptr, &data, &size)) return nullptr;
  if (!data || size <= 7) return nullptr;
  return DecodePngMemory(data, size);
}

bool HasPngExtension(const char* name) {
  if (!name || !*name) return false;
  const char* p = name;
  while (p[1]) ++p;
  while (*p != '.' && p != name) --p;
  const char* ext = p + 1;
  static const char kPng[] = "png";
  for (int i = 0; i < 4; ++i) {
    char c = ext[i];
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');  // ASCII only: no locale
    if (c != kPng[i]) return false;
  }
  return true;
}

LICE_IBitmap* LoadImageResource(int identifier, const char* name) {
  if (!HasPngExtension(name)) return nullptr;
  return LoadPngResource(identifier & 0xFFFF);
}
