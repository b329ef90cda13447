// The editor's rectangle record, shared by drawing and the graphics core.
#pragma once

#include <cstdint>

// Left, top, right, bottom in pixels; right and bottom are exclusive.
struct PixelRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;
};
