// The library's exported entry points for LV2 hosts: the plug-in's
// descriptor and its editor's.
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>

#include <cmath>
#include <cstring>

#include "plugin/lv2/IPlugLV2.h"

namespace {

IPlugLV2* Of(LV2_Handle handle) { return static_cast<IPlugLV2*>(handle); }

LV2_Handle Instantiate(const LV2_Descriptor*, double sampleRate, const char*, const LV2_Feature* const* features) {
  // A rate that is not a positive number is refused, not guessed.
  if (!(sampleRate > 0.0) || !std::isfinite(sampleRate)) return nullptr;
  HostConnection host;
  host.role = HostConnection::Role::kAudio;
  host.sampleRate = sampleRate;
  host.features = features;
  IPlugLV2* plug = CreateInstance<IPlugLV2>(&host);
  if (plug != nullptr) plug->PrepareAudio();
  return plug;
}

void ConnectPort(LV2_Handle handle, uint32_t port, void* data) { Of(handle)->ConnectPort(port, data); }
void Activate(LV2_Handle handle) { Of(handle)->Activate(); }
void Run(LV2_Handle handle, uint32_t frames) { Of(handle)->Run(frames); }
void Deactivate(LV2_Handle handle) { Of(handle)->Deactivate(); }

void Cleanup(LV2_Handle handle) {
  IPlugLV2* plug = Of(handle);
  // The section must not be held while the object goes away.
  plug->Lock().Enter();
  plug->Lock().Leave();
  delete plug;
}

LV2_State_Status Save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                      const LV2_Feature* const*) {
  return Of(handle)->SaveState(store, state);
}

LV2_State_Status Restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state, uint32_t,
                         const LV2_Feature* const*) {
  return Of(handle)->RestoreState(retrieve, state);
}

const LV2_State_Interface kStateInterface = {Save, Restore};

const void* ExtensionData(const char* uri) {
  if (uri != nullptr && std::strcmp(uri, LV2_STATE__interface) == 0) return &kStateInterface;
  return nullptr;
}

const LV2_Descriptor kDescriptor = {kLv2PluginUri, Instantiate, ConnectPort, Activate,
                                    Run,           Deactivate,  Cleanup,     ExtensionData};

// The editor

LV2UI_Handle EditorInstantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*,
                               LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                               const LV2_Feature* const* features) {
  if (pluginUri == nullptr || std::strcmp(pluginUri, kLv2PluginUri) != 0 || write == nullptr) return nullptr;
  HostConnection host;
  host.role = HostConnection::Role::kEditor;
  host.features = features;
  host.write = write;
  host.controller = controller;
  IPlugLV2* plug = CreateInstance<IPlugLV2>(&host);
  if (plug == nullptr) return nullptr;
  if (!plug->OpenEditor(widget)) {
    delete plug;
    return nullptr;
  }
  return plug;
}

void EditorCleanup(LV2UI_Handle handle) {
  IPlugLV2* plug = static_cast<IPlugLV2*>(handle);
  plug->CloseEditor();
  delete plug;
}

void EditorPortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  static_cast<IPlugLV2*>(handle)->PortEvent(port, size, format, buffer);
}

int EditorIdle(LV2UI_Handle handle) { return static_cast<IPlugLV2*>(handle)->Idle(); }

const LV2UI_Idle_Interface kIdleInterface = {EditorIdle};

const void* EditorExtensionData(const char* uri) {
  if (uri != nullptr && std::strcmp(uri, LV2_UI__idleInterface) == 0) return &kIdleInterface;
  return nullptr;
}

const LV2UI_Descriptor kEditorDescriptor = {kLv2EditorUri, EditorInstantiate, EditorCleanup, EditorPortEvent,
                                            EditorExtensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kEditorDescriptor : nullptr;
}
