#include "platform/CriticalSection.h"

#include <windows.h>

#include <new>

static_assert(sizeof(CRITICAL_SECTION) <= 64, "critical section storage");

static CRITICAL_SECTION* Section(unsigned char* storage) {
  return reinterpret_cast<CRITICAL_SECTION*>(storage);
}

CriticalSection::CriticalSection() { InitializeCriticalSection(Section(mStorage)); }
CriticalSection::~CriticalSection() { DeleteCriticalSection(Section(mStorage)); }
void CriticalSection::Enter() { EnterCriticalSection(Section(mStorage)); }
bool CriticalSection::TryEnter() { return TryEnterCriticalSection(Section(mStorage)) != 0; }
void CriticalSection::Leave() { LeaveCriticalSection(Section(mStorage)); }
