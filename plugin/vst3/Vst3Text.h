// Texts between the plug-in (UTF-8, bytes that are not UTF-8 taken as
// Latin-1) and VST3's fixed UTF-16 fields. Any thread; no allocation.
#pragma once

#include "plugin/vst3/vst3_interfaces.h"

namespace vst3bind {

// Writes at most capacity - 1 code units and a terminator; a character
// that does not fit whole is left out.
void ToUtf16(const char* text, vst3::char16* out, int capacity);

// Reads up to maxUnits code units (or to a terminator) into at most
// size - 1 bytes of UTF-8 and a terminator; a broken surrogate reads as
// U+FFFD, a character that does not fit whole is left out.
void FromUtf16(const vst3::char16* text, int maxUnits, char* out, int size);

}  // namespace vst3bind
