// Linux: the test program owns malloc. An executable that defines malloc,
// calloc, realloc and free is what every library of the process, the
// plug-in's operator new included (libstdc++ allocates through malloc),
// ends up calling. Sanitizer builds own malloc already; there their hooks
// report each allocation and free instead.
#include "tests/torture/AllocationAudit.h"

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <execinfo.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define TORTURE_SANITIZER_HOOKS 1
#endif

namespace torture {
namespace {

std::atomic<int> gArmedThreads{0};
thread_local bool tArmed = false;
std::atomic<long> gAllocations{0};
std::atomic<long> gFrees{0};

// The first counted allocation's call stack, taken once per preparation.
std::atomic<bool> gSiteTaken{false};
void* gSite[32];
int gSiteDepth = 0;

inline bool Armed() { return gArmedThreads.load(std::memory_order_relaxed) > 0 && tArmed; }

void NoteAllocation() {
  gAllocations.fetch_add(1, std::memory_order_relaxed);
  if (gSiteTaken.exchange(true)) return;
  // backtrace may allocate the first time it runs: not counted.
  tArmed = false;
  gSiteDepth = backtrace(gSite, 32);
  tArmed = true;
}

}  // namespace
}  // namespace torture

#if defined(TORTURE_SANITIZER_HOOKS)

extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*malloc_hook)(const volatile void*, size_t),
                                                         void (*free_hook)(const volatile void*));

namespace torture {
namespace {

void MallocHook(const volatile void*, size_t) {
  if (Armed()) NoteAllocation();
}

void FreeHook(const volatile void*) {
  if (Armed()) gFrees.fetch_add(1, std::memory_order_relaxed);
}

}  // namespace

bool PrepareAllocationAudit(const testhost::PluginModule& module, std::string& why) {
  return PrepareAllocationAuditAt(reinterpret_cast<const void*>(module.entry()), why);
}

bool PrepareAllocationAuditAt(const void*, std::string& why) {
  static const bool installed = __sanitizer_install_malloc_and_free_hooks(&MallocHook, &FreeHook) != 0;
  if (!installed) why = "the sanitizer runtime refused the allocation hooks";
  gSiteTaken = false;
  return installed;
}

}  // namespace torture

#else

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* ptr, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
void* __libc_valloc(size_t size);
void* __libc_pvalloc(size_t size);
void __libc_free(void* ptr);

// Exported from the test program (linked with -rdynamic), so the plug-in's
// calls resolve here.
__attribute__((visibility("default"))) void* malloc(size_t size) {
  if (torture::Armed()) torture::NoteAllocation();
  return __libc_malloc(size);
}

__attribute__((visibility("default"))) void* calloc(size_t count, size_t size) {
  if (torture::Armed()) torture::NoteAllocation();
  return __libc_calloc(count, size);
}

__attribute__((visibility("default"))) void* realloc(void* ptr, size_t size) {
  if (torture::Armed()) {
    torture::NoteAllocation();
    if (ptr != nullptr) torture::gFrees.fetch_add(1, std::memory_order_relaxed);
  }
  return __libc_realloc(ptr, size);
}

__attribute__((visibility("default"))) void* memalign(size_t alignment, size_t size) {
  if (torture::Armed()) torture::NoteAllocation();
  return __libc_memalign(alignment, size);
}

__attribute__((visibility("default"))) void* aligned_alloc(size_t alignment, size_t size) {
  if (torture::Armed()) torture::NoteAllocation();
  return __libc_memalign(alignment, size);
}

__attribute__((visibility("default"))) int posix_memalign(void** out, size_t alignment, size_t size) {
  if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return 22;  // EINVAL
  if (torture::Armed()) torture::NoteAllocation();
  void* p = __libc_memalign(alignment, size);
  if (p == nullptr) return 12;  // ENOMEM
  *out = p;
  return 0;
}

__attribute__((visibility("default"))) void* valloc(size_t size) {
  if (torture::Armed()) torture::NoteAllocation();
  return __libc_valloc(size);
}

__attribute__((visibility("default"))) void* pvalloc(size_t size) {
  if (torture::Armed()) torture::NoteAllocation();
  return __libc_pvalloc(size);
}

__attribute__((visibility("default"))) void free(void* ptr) {
  if (ptr != nullptr && torture::Armed()) torture::gFrees.fetch_add(1, std::memory_order_relaxed);
  __libc_free(ptr);
}
}  // extern "C"

namespace torture {

bool PrepareAllocationAudit(const testhost::PluginModule& module, std::string& why) {
  return PrepareAllocationAuditAt(reinterpret_cast<const void*>(module.entry()), why);
}

bool PrepareAllocationAuditAt(const void*, std::string&) {
  // Loads what backtrace needs now, not inside a counted call.
  void* frames[4];
  backtrace(frames, 4);
  gSiteTaken = false;
  return true;
}

}  // namespace torture

#endif

namespace torture {

void ArmAllocationAudit() {
  gAllocations = 0;
  gFrees = 0;
  tArmed = true;
  gArmedThreads.fetch_add(1);
}

HeapCounts DisarmAllocationAudit() {
  tArmed = false;
  gArmedThreads.fetch_sub(1);
  HeapCounts counts;
  counts.allocations = gAllocations.load();
  counts.frees = gFrees.load();
  return counts;
}

std::string FirstAllocationSite() {
  if (!gSiteTaken || gSiteDepth <= 0) return "";
  std::string text;
  char** names = backtrace_symbols(gSite, gSiteDepth);
  for (int i = 0; i < gSiteDepth; ++i) {
    text += "  ";
    if (names != nullptr) {
      text += names[i];
    } else {
      char address[32];
      std::snprintf(address, sizeof address, "%p", gSite[i]);
      text += address;
    }
    text += "\n";
  }
  std::free(names);
  return text;
}

}  // namespace torture
