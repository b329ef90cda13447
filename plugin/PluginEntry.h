// What every format binding and the product agree on: the binding's entry
// point receives its host's connection (HostConnection, defined by the binding)
// and asks the product for a new plug-in; the product defines CreatePlugin.
#pragma once

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
