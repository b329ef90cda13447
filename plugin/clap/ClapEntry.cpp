// The module's one export for CLAP hosts, clap_entry, its plug-in factory and
// this product's descriptor.
#include <cstring>

#include "VeltraneVersion.h"
#include "plugin/clap/IPlugCLAP.h"

#if defined(_WIN32)
#define VELTRANE_EXPORT
#else
#define VELTRANE_EXPORT __attribute__((visibility("default")))
#endif

namespace {

const char* const kFeatures[] = {CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_FREQUENCY_SHIFTER,
                                 CLAP_PLUGIN_FEATURE_PITCH_SHIFTER, CLAP_PLUGIN_FEATURE_STEREO, nullptr};

const clap_plugin_descriptor_t kDescriptor = {
    kClapVersion,
    "com.quorvel.veltrane",
    "Quorvel Veltrane",
    "Quorvel",
    "http://www.quorvel.com",
    "",
    "",
    kVeltraneVersionText,
    "Stereo frequency shifter with a tempo-synced LFO",
    kFeatures,
};

uint32_t CLAP_ABI PluginCount(const clap_plugin_factory_t* factory) { return factory != nullptr ? 1 : 0; }

const clap_plugin_descriptor_t* CLAP_ABI PluginDescriptor(const clap_plugin_factory_t* factory, uint32_t index) {
  return factory != nullptr && index == 0 ? &kDescriptor : nullptr;
}

const clap_plugin_t* CLAP_ABI CreateClapPlugin(const clap_plugin_factory_t* factory, const clap_host_t* host,
                                               const char* pluginId) {
  if (factory == nullptr || host == nullptr || pluginId == nullptr || std::strcmp(pluginId, kDescriptor.id) != 0 ||
      !ClapVersionIsCompatible(host->clap_version))
    return nullptr;
  const HostConnection connection{host};
  IPlugCLAP* plug = CreateInstance<IPlugCLAP>(&connection);
  return plug != nullptr ? plug->ClapPlugin() : nullptr;
}

const clap_plugin_factory_t kFactory = {&PluginCount, &PluginDescriptor, &CreateClapPlugin};

// Nothing to set up or tear down beyond what each instance owns.
bool CLAP_ABI EntryInit(const char* pluginPath) { return true; }
void CLAP_ABI EntryDeinit() {}

const void* CLAP_ABI EntryFactory(const char* factoryId) {
  return factoryId != nullptr && std::strcmp(factoryId, CLAP_PLUGIN_FACTORY_ID) == 0 ? &kFactory : nullptr;
}

}  // namespace

const clap_plugin_descriptor_t* ProductClapDescriptor() { return &kDescriptor; }

extern "C" VELTRANE_EXPORT const clap_plugin_entry_t clap_entry = {kClapVersion, &EntryInit, &EntryDeinit,
                                                                    &EntryFactory};
