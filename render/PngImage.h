// PNG images: decoding from memory into LICE_MemBitmaps, and loading the
// module's "PNG" resources.
//
// Any thread may decode; decodes share no state. The caller owns every
// bitmap returned and deletes it.
#pragma once

#include <cstddef>

#include "render/Bitmap.h"

// Largest decoded pixel block accepted (width x height x 4 bytes). The
// editor's largest image is under 1 MiB; a header that claims more is taken
// as damaged rather than allocated for.
inline constexpr size_t kMaxPngPixelBytes = size_t(64) << 20;

// Decodes a complete PNG file into 32-bit pixels (bytes blue, green, red,
// alpha; straight alpha, 255 where the image has none). Answers null for
// anything that is not a well-formed PNG of at most kMaxPngPixelBytes:
// no signature, corrupt or truncated data, a refused allocation.
LICE_MemBitmap* DecodePngMemory(const void* data, size_t length);

// Decodes the module's resource of type "PNG" with this identifier; null
// when it is missing, 7 bytes or shorter, or does not decode.
LICE_MemBitmap* LoadPngResource(int identifier);

// True when the text after the last '.' of name is "png" in any case. For a
// name without a '.', the name minus its first character is compared.
bool HasPngExtension(const char* name);

// The editor window's image loader: PNG resource `identifier` (low 16 bits)
// when the name has the png extension, null otherwise. The name only picks
// the format; images never come from files.
LICE_IBitmap* LoadImageResource(int identifier, const char* name);
