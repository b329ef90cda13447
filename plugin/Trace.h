// Trace records of key framework operations. The sink is empty: the calls
// keep their format checks and cost nothing.
#pragma once

#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
inline void Trace(const char* operation, const char* format, ...) {
  (void)operation;
  (void)format;
}
