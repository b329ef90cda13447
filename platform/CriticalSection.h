// A re-entrant lock: the thread that holds it may enter it again.
// Windows: a critical section; elsewhere a recursive mutex.
#pragma once

class CriticalSection {
 public:
  CriticalSection();
  ~CriticalSection();
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

  void Enter();
  // Takes the section only when no other thread holds it; never waits.
  bool TryEnter();
  void Leave();

 private:
  // Room for a CRITICAL_SECTION or a std::recursive_mutex on every target.
  alignas(8) unsigned char mStorage[64];
};

// Holds a section for the lifetime of a scope.
class CriticalSectionGuard {
 public:
  explicit CriticalSectionGuard(CriticalSection& section) : mSection(section) { mSection.Enter(); }
  ~CriticalSectionGuard() { mSection.Leave(); }
  CriticalSectionGuard(const CriticalSectionGuard&) = delete;
  CriticalSectionGuard& operator=(const CriticalSectionGuard&) = delete;

 private:
  CriticalSection& mSection;
};
