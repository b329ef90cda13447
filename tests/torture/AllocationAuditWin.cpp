// Windows: the plug-in DLL carries its own C++ runtime, which allocates
// through the C runtime DLL it imports (malloc, free, ...). Redirecting those
// entries of the DLL's import table to counting wrappers sees every heap call
// the plug-in makes, and none of the test program's.
#include "tests/torture/AllocationAudit.h"

#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace torture {
namespace {

std::atomic<DWORD> gArmedThread{0};
std::atomic<long> gAllocations{0};
std::atomic<long> gFrees{0};

HMODULE gPlugin = nullptr;
std::atomic<bool> gSiteTaken{false};
void* gSite[24];
USHORT gSiteDepth = 0;

inline bool Armed() {
  const DWORD armed = gArmedThread.load(std::memory_order_relaxed);
  return armed != 0 && armed == GetCurrentThreadId();
}

void NoteAllocation() {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (!gSiteTaken.exchange(true)) gSiteDepth = RtlCaptureStackBackTrace(1, 24, gSite, nullptr);
}

void NoteFree() { gFrees.fetch_add(1, std::memory_order_relaxed); }

using MallocFn = void*(__cdecl*)(size_t);
using CallocFn = void*(__cdecl*)(size_t, size_t);
using ReallocFn = void*(__cdecl*)(void*, size_t);
using FreeFn = void(__cdecl*)(void*);
using AlignedMallocFn = void*(__cdecl*)(size_t, size_t);
using AlignedReallocFn = void*(__cdecl*)(void*, size_t, size_t);
using StrdupFn = char*(__cdecl*)(const char*);
using HeapAllocFn = LPVOID(WINAPI*)(HANDLE, DWORD, SIZE_T);
using HeapReAllocFn = LPVOID(WINAPI*)(HANDLE, DWORD, LPVOID, SIZE_T);
using HeapFreeFn = BOOL(WINAPI*)(HANDLE, DWORD, LPVOID);

MallocFn gMalloc = nullptr;
CallocFn gCalloc = nullptr;
ReallocFn gRealloc = nullptr;
FreeFn gFree = nullptr;
AlignedMallocFn gAlignedMalloc = nullptr;
AlignedReallocFn gAlignedRealloc = nullptr;
FreeFn gAlignedFree = nullptr;
StrdupFn gStrdup = nullptr;
StrdupFn gStrdupPosix = nullptr;
HeapAllocFn gHeapAlloc = nullptr;
HeapReAllocFn gHeapReAlloc = nullptr;
HeapFreeFn gHeapFree = nullptr;

void* __cdecl CountMalloc(size_t n) {
  if (Armed()) NoteAllocation();
  return gMalloc(n);
}
void* __cdecl CountCalloc(size_t count, size_t n) {
  if (Armed()) NoteAllocation();
  return gCalloc(count, n);
}
void* __cdecl CountRealloc(void* p, size_t n) {
  if (Armed()) {
    NoteAllocation();
    if (p != nullptr) NoteFree();
  }
  return gRealloc(p, n);
}
void __cdecl CountFree(void* p) {
  if (p != nullptr && Armed()) NoteFree();
  gFree(p);
}
void* __cdecl CountAlignedMalloc(size_t n, size_t alignment) {
  if (Armed()) NoteAllocation();
  return gAlignedMalloc(n, alignment);
}
void* __cdecl CountAlignedRealloc(void* p, size_t n, size_t alignment) {
  if (Armed()) {
    NoteAllocation();
    if (p != nullptr) NoteFree();
  }
  return gAlignedRealloc(p, n, alignment);
}
void __cdecl CountAlignedFree(void* p) {
  if (p != nullptr && Armed()) NoteFree();
  gAlignedFree(p);
}
char* __cdecl CountStrdup(const char* s) {
  if (Armed()) NoteAllocation();
  return gStrdup(s);
}
char* __cdecl CountStrdupPosix(const char* s) {
  if (Armed()) NoteAllocation();
  return gStrdupPosix(s);
}
LPVOID WINAPI CountHeapAlloc(HANDLE heap, DWORD flags, SIZE_T n) {
  if (Armed()) NoteAllocation();
  return gHeapAlloc(heap, flags, n);
}
LPVOID WINAPI CountHeapReAlloc(HANDLE heap, DWORD flags, LPVOID p, SIZE_T n) {
  if (Armed()) {
    NoteAllocation();
    NoteFree();
  }
  return gHeapReAlloc(heap, flags, p, n);
}
BOOL WINAPI CountHeapFree(HANDLE heap, DWORD flags, LPVOID p) {
  if (p != nullptr && Armed()) NoteFree();
  return gHeapFree(heap, flags, p);
}

struct Redirect {
  const char* name;
  void* replacement;
  void** original;
};

const Redirect kRedirects[] = {
    {"malloc", reinterpret_cast<void*>(&CountMalloc), reinterpret_cast<void**>(&gMalloc)},
    {"calloc", reinterpret_cast<void*>(&CountCalloc), reinterpret_cast<void**>(&gCalloc)},
    {"realloc", reinterpret_cast<void*>(&CountRealloc), reinterpret_cast<void**>(&gRealloc)},
    {"free", reinterpret_cast<void*>(&CountFree), reinterpret_cast<void**>(&gFree)},
    {"_aligned_malloc", reinterpret_cast<void*>(&CountAlignedMalloc), reinterpret_cast<void**>(&gAlignedMalloc)},
    {"_aligned_realloc", reinterpret_cast<void*>(&CountAlignedRealloc),
     reinterpret_cast<void**>(&gAlignedRealloc)},
    {"_aligned_free", reinterpret_cast<void*>(&CountAlignedFree), reinterpret_cast<void**>(&gAlignedFree)},
    {"_strdup", reinterpret_cast<void*>(&CountStrdup), reinterpret_cast<void**>(&gStrdup)},
    {"strdup", reinterpret_cast<void*>(&CountStrdupPosix), reinterpret_cast<void**>(&gStrdupPosix)},
    {"HeapAlloc", reinterpret_cast<void*>(&CountHeapAlloc), reinterpret_cast<void**>(&gHeapAlloc)},
    {"HeapReAlloc", reinterpret_cast<void*>(&CountHeapReAlloc), reinterpret_cast<void**>(&gHeapReAlloc)},
    {"HeapFree", reinterpret_cast<void*>(&CountHeapFree), reinterpret_cast<void**>(&gHeapFree)},
};

// Points the module's imports named in kRedirects at the counting wrappers.
// Returns how many entries were redirected and whether malloc was among them.
int RedirectImports(HMODULE module, bool& sawMalloc, std::string& why) {
  auto* base = reinterpret_cast<unsigned char*>(module);
  auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
  if (dos->e_magic != IMAGE_DOS_SIGNATURE) {
    why = "the plug-in module has no DOS header";
    return 0;
  }
  auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (dir.VirtualAddress == 0) {
    why = "the plug-in imports nothing";
    return 0;
  }
  int redirected = 0;
  for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name != 0; ++desc) {
    if (desc->OriginalFirstThunk == 0) continue;  // no names to go by
    auto* names = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk);
    auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
    for (; names->u1.AddressOfData != 0; ++names, ++slots) {
      if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
      const auto* byName = reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names->u1.AddressOfData);
      const char* name = reinterpret_cast<const char*>(byName->Name);
      for (const Redirect& r : kRedirects) {
        if (std::strcmp(name, r.name) != 0 || *r.original != nullptr) continue;
        DWORD old = 0;
        if (!VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, PAGE_READWRITE, &old)) continue;
        *r.original = reinterpret_cast<void*>(slots->u1.Function);
        slots->u1.Function = reinterpret_cast<ULONG_PTR>(r.replacement);
        VirtualProtect(&slots->u1.Function, sizeof slots->u1.Function, old, &old);
        FlushInstructionCache(GetCurrentProcess(), &slots->u1.Function, sizeof slots->u1.Function);
        ++redirected;
        if (std::strcmp(name, "malloc") == 0) sawMalloc = true;
      }
    }
  }
  return redirected;
}

}  // namespace

bool PrepareAllocationAudit(const testhost::PluginModule& module, std::string& why) {
  return PrepareAllocationAuditAt(reinterpret_cast<const void*>(module.entry()), why);
}

bool PrepareAllocationAuditAt(const void* addressInModule, std::string& why) {
  static bool prepared = false;
  static bool ok = false;
  static std::string reason;
  if (!prepared) {
    prepared = true;
    HMODULE handle = nullptr;
    if (addressInModule == nullptr ||
        !GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCSTR>(addressInModule), &handle)) {
      reason = "cannot find the plug-in module";
    } else {
      gPlugin = handle;
      bool sawMalloc = false;
      const int redirected = RedirectImports(handle, sawMalloc, reason);
      ok = redirected > 0 && sawMalloc;
      if (!ok && reason.empty()) reason = "the plug-in imports no malloc to count";
    }
  }
  gSiteTaken = false;
  why = reason;
  return ok;
}

void ArmAllocationAudit() {
  gAllocations = 0;
  gFrees = 0;
  gArmedThread = GetCurrentThreadId();
}

HeapCounts DisarmAllocationAudit() {
  gArmedThread = 0;
  HeapCounts counts;
  counts.allocations = gAllocations.load();
  counts.frees = gFrees.load();
  return counts;
}

std::string FirstAllocationSite() {
  if (!gSiteTaken) return "";
  std::string text;
  const auto base = reinterpret_cast<ULONG_PTR>(gPlugin);
  for (USHORT i = 0; i < gSiteDepth; ++i) {
    char line[96];
    const auto at = reinterpret_cast<ULONG_PTR>(gSite[i]);
    HMODULE owner = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCSTR>(gSite[i]), &owner);
    if (owner == gPlugin && gPlugin != nullptr) {
      std::snprintf(line, sizeof line, "  plug-in+0x%lx\n", static_cast<unsigned long>(at - base));
    } else {
      std::snprintf(line, sizeof line, "  %p\n", gSite[i]);
    }
    text += line;
  }
  return text;
}

}  // namespace torture
