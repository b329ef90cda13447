// Loads an LV2 bundle the way a host does (lilv), prints the plug-in's
// record, ports, editor and presets, and runs one block of audio through it.
// Links none of the plug-in's code. Exits 1 with the reason when anything
// fails.
//
//   veltrane-lv2-info BUNDLE_FOLDER
#include <lilv/lilv.h>
#include <lv2/presets/presets.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/plugin/lv2/Lv2Host.h"

namespace {

int Fail(const std::string& why) {
  std::fprintf(stderr, "veltrane-lv2-info: %s\n", why.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return Fail("usage: veltrane-lv2-info BUNDLE_FOLDER");
  std::string folder = argv[1];
  if (folder.empty() || folder.back() != '/') folder += '/';
  LilvWorld* world = lilv_world_new();
  LilvNode* bundle = lilv_new_file_uri(world, nullptr, folder.c_str());
  lilv_world_load_bundle(world, bundle);
  lilv_node_free(bundle);
  const LilvPlugins* plugins = lilv_world_get_all_plugins(world);
  if (lilv_plugins_size(plugins) != 1) return Fail("no single plug-in in " + folder);
  const LilvPlugin* plugin = lilv_plugins_get(plugins, lilv_plugins_begin(plugins));

  LilvNode* name = lilv_plugin_get_name(plugin);
  LilvNode* author = lilv_plugin_get_author_name(plugin);
  std::printf("plug-in   %s\nname      %s\nmaker     %s\n", lilv_node_as_uri(lilv_plugin_get_uri(plugin)),
              name != nullptr ? lilv_node_as_string(name) : "?", author != nullptr ? lilv_node_as_string(author) : "?");
  lilv_node_free(name);
  lilv_node_free(author);
  const uint32_t ports = lilv_plugin_get_num_ports(plugin);
  std::vector<float> minimum(ports), maximum(ports), values(ports);
  lilv_plugin_get_port_ranges_float(plugin, minimum.data(), maximum.data(), values.data());
  for (uint32_t i = 0; i < ports; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    LilvNode* label = lilv_port_get_name(plugin, port);
    std::printf("port %-4u %-14s %-14s", i, lilv_node_as_string(lilv_port_get_symbol(plugin, port)),
                lilv_node_as_string(label));
    if (!std::isnan(values[i])) std::printf(" %g .. %g, default %g", minimum[i], maximum[i], values[i]);
    std::printf("\n");
    lilv_node_free(label);
  }
  LilvUIs* uis = lilv_plugin_get_uis(plugin);
  LILV_FOREACH (uis, it, uis) std::printf("editor    %s\n", lilv_node_as_uri(lilv_ui_get_uri(lilv_uis_get(uis, it))));
  lilv_uis_free(uis);
  LilvNode* presetClass = lilv_new_uri(world, LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(plugin, presetClass);
  std::printf("presets   %u\n", lilv_nodes_size(presets));
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);

  // One block of a 1 kHz sine at the defaults, every port connected.
  const LV2_Feature map = {LV2_URID__map, lv2host::UridMap()};
  const LV2_Feature* features[] = {&map, nullptr};
  LilvInstance* instance = lilv_plugin_instantiate(plugin, 48000.0, features);
  if (instance == nullptr) return Fail("the plug-in did not instantiate");
  std::vector<float> in(512), out[2] = {std::vector<float>(512), std::vector<float>(512)};
  for (size_t i = 0; i < in.size(); ++i) in[i] = float(0.5 * std::sin(2 * M_PI * 1000.0 * i / 48000.0));
  LilvNode* audio = lilv_new_uri(world, LV2_CORE__AudioPort);
  LilvNode* input = lilv_new_uri(world, LV2_CORE__InputPort);
  for (uint32_t i = 0, outputs = 0; i < ports; ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    if (!lilv_port_is_a(plugin, port, audio))
      lilv_instance_connect_port(instance, i, std::isnan(values[i]) ? nullptr : &values[i]);
    else if (lilv_port_is_a(plugin, port, input))
      lilv_instance_connect_port(instance, i, in.data());
    else if (outputs < 2)
      lilv_instance_connect_port(instance, i, out[outputs++].data());
  }
  lilv_node_free(audio);
  lilv_node_free(input);
  lilv_instance_activate(instance);
  lilv_instance_run(instance, 512);
  lilv_instance_deactivate(instance);
  lilv_instance_free(instance);
  double energy = 0.0;
  for (const std::vector<float>& channel : out)
    for (float v : channel) energy += double(v) * v;
  lilv_world_free(world);
  if (!(energy > 0.0) || !std::isfinite(energy)) return Fail("one block of audio gave no sound");
  std::printf("audio     one block of 512 frames, energy %.3f\n", energy);
  return 0;
}
