#include "plugin/vst3/Vst3Text.h"

#include <cstdint>

namespace vst3bind {
namespace {

// The code point of the UTF-8 sequence at text[0..], and its length; a
// byte that starts no valid sequence is itself (Latin-1).
uint32_t DecodeOne(const unsigned char* text, int* length) {
  const uint32_t lead = text[0];
  int count = 0;
  uint32_t point = 0;
  if (lead >= 0xC2 && lead <= 0xDF) {
    count = 1;
    point = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    count = 2;
    point = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    count = 3;
    point = lead & 0x07;
  }
  for (int i = 1; i <= count; ++i) {
    if ((text[i] & 0xC0) != 0x80) {
      count = 0;
      break;
    }
    point = (point << 6) | (text[i] & 0x3Fu);
  }
  const bool overlong = (count == 2 && point < 0x800) || (count == 3 && (point < 0x10000 || point > 0x10FFFF));
  if (count == 0 || overlong || (point >= 0xD800 && point <= 0xDFFF)) {
    *length = 1;
    return lead;
  }
  *length = count + 1;
  return point;
}

}  // namespace

void ToUtf16(const char* text, vst3::char16* out, int capacity) {
  if (out == nullptr || capacity <= 0) return;
  int used = 0;
  const unsigned char* at = reinterpret_cast<const unsigned char*>(text != nullptr ? text : "");
  while (*at != 0) {
    int length = 1;
    const uint32_t point = DecodeOne(at, &length);
    if (point >= 0x10000) {
      if (used + 2 > capacity - 1) break;
      out[used++] = static_cast<vst3::char16>(0xD800 + ((point - 0x10000) >> 10));
      out[used++] = static_cast<vst3::char16>(0xDC00 + ((point - 0x10000) & 0x3FF));
    } else {
      if (used + 1 > capacity - 1) break;
      out[used++] = static_cast<vst3::char16>(point);
    }
    at += length;
  }
  out[used] = 0;
}

void FromUtf16(const vst3::char16* text, int maxUnits, char* out, int size) {
  if (out == nullptr || size <= 0) return;
  int used = 0;
  for (int i = 0; text != nullptr && i < maxUnits && text[i] != 0; ++i) {
    uint32_t point = text[i];
    if (point >= 0xD800 && point <= 0xDBFF && i + 1 < maxUnits && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF) {
      point = 0x10000 + ((point - 0xD800) << 10) + (text[i + 1] - 0xDC00u);
      ++i;
    } else if (point >= 0xD800 && point <= 0xDFFF) {
      point = 0xFFFD;
    }
    unsigned char bytes[4];
    int count;
    if (point < 0x80) {
      bytes[0] = static_cast<unsigned char>(point);
      count = 1;
    } else if (point < 0x800) {
      bytes[0] = static_cast<unsigned char>(0xC0 | (point >> 6));
      bytes[1] = static_cast<unsigned char>(0x80 | (point & 0x3F));
      count = 2;
    } else if (point < 0x10000) {
      bytes[0] = static_cast<unsigned char>(0xE0 | (point >> 12));
      bytes[1] = static_cast<unsigned char>(0x80 | ((point >> 6) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | (point & 0x3F));
      count = 3;
    } else {
      bytes[0] = static_cast<unsigned char>(0xF0 | (point >> 18));
      bytes[1] = static_cast<unsigned char>(0x80 | ((point >> 12) & 0x3F));
      bytes[2] = static_cast<unsigned char>(0x80 | ((point >> 6) & 0x3F));
      bytes[3] = static_cast<unsigned char>(0x80 | (point & 0x3F));
      count = 4;
    }
    if (used + count > size - 1) break;
    for (int k = 0; k < count; ++k) out[used++] = static_cast<char>(bytes[k]);
  }
  out[used] = '\0';
}

}  // namespace vst3bind
