// Flushes subnormal numbers to zero for the life of a scope and restores the
// host's floating-point state afterwards. Held across a whole processing
// call, conversions included, so the output's bits do not depend on how the
// host set up its audio thread, and filter tails cost no time. On x86 that
// is MXCSR's FTZ and DAZ; on 64-bit ARM, FPCR's FZ, which flushes subnormal
// operands and results alike, so both give the same bits.
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
#elif defined(__aarch64__)
#include <cstdint>

class DenormalGuard {
 public:
  static constexpr uint64_t kFlushToZero = uint64_t{1} << 24;  // FPCR.FZ

  static uint64_t Read() {
    uint64_t fpcr;
    asm volatile("mrs %0, fpcr" : "=r"(fpcr));
    return fpcr;
  }
  // The memory clobber keeps the compiler from moving loads and stores of
  // samples across the switch.
  static void Write(uint64_t fpcr) { asm volatile("msr fpcr, %0" : : "r"(fpcr) : "memory"); }

  DenormalGuard() : mSaved(Read()) { Write(mSaved | kFlushToZero); }
  ~DenormalGuard() { Write(mSaved); }
  DenormalGuard(const DenormalGuard&) = delete;
  DenormalGuard& operator=(const DenormalGuard&) = delete;

 private:
  uint64_t mSaved;
};
#else
class DenormalGuard {};
#endif
