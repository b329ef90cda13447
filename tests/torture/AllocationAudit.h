// Counts the heap calls one thread makes while it is armed, so a test can
// show that a processing call neither allocates nor frees.
//
// Natively every allocation of the process is seen (the test program
// replaces malloc and friends, or installs the sanitizer's hooks), so the
// test host's own work on the armed thread counts too. Under Windows the
// plug-in DLL's imports of the C runtime's heap functions are redirected, so
// only the plug-in's own calls count.
#pragma once

#include <string>

#include "tests/host/TestHost.h"

namespace torture {

struct HeapCounts {
  long allocations = 0;
  long frees = 0;
};

// Sets counting up for the loaded plug-in (once per process is enough).
// False, with the reason, where this build cannot count.
bool PrepareAllocationAudit(const testhost::PluginModule& module, std::string& why);
// The same for a plug-in module of another format, named by any address
// inside it (its entry).
bool PrepareAllocationAuditAt(const void* addressInModule, std::string& why);

// Starts counting the calling thread's heap calls.
void ArmAllocationAudit();
// Stops counting and returns what was counted since ArmAllocationAudit.
HeapCounts DisarmAllocationAudit();

// Where the first counted allocation since the last PrepareAllocationAudit
// was made, when this build can tell; empty otherwise.
std::string FirstAllocationSite();

}  // namespace torture
