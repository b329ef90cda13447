// Flushes subnormal numbers to zero (FTZ and DAZ) for the life of a scope and
// restores the host's floating-point state afterwards. Held across a whole
// processing call, conversions included, so the output's bits do not depend
// on how the host set up its audio thread, and filter tails cost no time.
#pragma once

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>

class DenormalGuard {
 public:
  DenormalGuard() : mSaved(_mm_getcsr()) { _mm_setcsr(mSaved | 0x8040u); }
  ~DenormalGuard() { _mm_setcsr(mSaved); }
  DenormalGuard(const DenormalGuard&) = delete;
  DenormalGuard& operator=(const DenormalGuard&) = delete;

 private:
  unsigned int mSaved;
};
#else
class DenormalGuard {};
#endif
