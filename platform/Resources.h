// Read-only data compiled into the plug-in's own binary, found by type and by
// numeric id or name (Windows: resources from the .rc file; elsewhere a table
// of bytes assembled into the library).
#pragma once

#include <cstddef>

// Finds the resource of `type` with numeric `id` (when `name` is null) or with
// `name`. On success stores its bytes and size and returns true. The bytes stay
// valid while the module is loaded.
bool FindModuleResource(const char* type, int id, const char* name, const void** data, size_t* size);
