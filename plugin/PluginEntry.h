// What every format binding and the product agree on: the binding's entry
// point receives its host's connection (HostConnection, defined by the binding)
// and asks the product for a new plug-in; the product defines CreatePlugin.
#pragma once

#include "platform/CriticalSection.h"

class IPlugBase;

// Defined by each binding: what its host handed to the entry point.
struct HostConnection;

// Defined by the product: a new instance of the effect, or null. Called by
// the binding's entry point under its creation lock.
IPlugBase* CreatePlugin(const HostConnection* host);

// Defined by each binding: whether an instance made for this connection
// gets an editor. Formats that run the editor in an instance of its own
// (LV2) make their audio instances without one.
bool InstanceHasEditor(const HostConnection* host);

// Creation of instances is serialised across the module.
inline CriticalSection& InstanceCreationLock() {
  static CriticalSection section;
  return section;
}

// What every binding's entry point does to make an instance: the product's
// CreatePlugin under the creation lock, then the empty presets filled. In a
// build for a format the product derives from that format's binding class,
// `Binding`. Null when none was made; no exception reaches the host.
template <class Binding>
Binding* CreateInstance(const HostConnection* host) {
  CriticalSectionGuard guard(InstanceCreationLock());
  IPlugBase* created = nullptr;
  try {
    created = CreatePlugin(host);
  } catch (...) {
    return nullptr;
  }
  if (created == nullptr) return nullptr;
  Binding* plug = static_cast<Binding*>(created);
  plug->FillEmptyPresets(plug->NumPresets());
  return plug;
}
