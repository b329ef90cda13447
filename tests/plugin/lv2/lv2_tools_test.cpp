// lilv's tools: lv2info describes the ports' units; lv2apply renders a
// 1 kHz sine through the bundle with the "Plus 250Hz" preset's port values
// (read from the bundle, in dB and Hz) on its command line: the spectrum's
// peak moves to 1250 Hz.
#include <gtest/gtest.h>
#include <lv2/units/units.h>
#include <sndfile.h>

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "tests/host/AudioReference.h"
#include "tests/plugin/lv2/Lv2Host.h"

namespace {

void AddArgument(const char* symbol, void* command, const void* value, uint32_t size, uint32_t type) {
  *static_cast<std::string*>(command) +=
      std::string(" -c ") + symbol + " " + std::to_string(lv2host::Number(value, size, type));
}

// The processor an ELF file is built for (its e_machine), or 0.
int ElfMachine(const std::string& path) {
  unsigned char header[20] = {};
  std::ifstream file(path, std::ios::binary);
  if (!file.read(reinterpret_cast<char*>(header), sizeof header) || header[0] != 0x7f || header[1] != 'E' ||
      header[2] != 'L' || header[3] != 'F')
    return 0;
  return header[5] == 2 ? header[18] << 8 | header[19] : header[19] << 8 | header[18];
}

std::string FindOnPath(const std::string& name) {
  std::stringstream path(std::getenv("PATH") != nullptr ? std::getenv("PATH") : "");
  for (std::string dir; std::getline(path, dir, ':');)
    if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return dir + "/" + name;
  return "";
}

// lv2info writes the description it read (-p, and a manifest with -m):
// read back as a bundle, each port has the unit hosts show it in.
TEST(Lv2Tools, Lv2infoDescribesEachPortsUnit) {
  const std::string dir = std::string(VELTRANE_LV2_TEST_DIR) + "/described.lv2/";
  const std::string command = "rm -rf '" + dir + "' && mkdir '" + dir + "' && cd '" + dir + "' && LV2_PATH='" +
                              std::getenv("VELTRANE_LV2_PATH") + "' lv2info -p description.ttl -m manifest.ttl " +
                              lv2host::kPluginUri + " > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  LilvWorld* world = lilv_world_new();
  LilvNode* bundle = lilv_new_file_uri(world, nullptr, dir.c_str());
  lilv_world_load_bundle(world, bundle);
  LilvNode* uri = lilv_new_uri(world, lv2host::kPluginUri);
  const LilvPlugin* plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
  ASSERT_NE(plugin, nullptr);
  LilvNode* unitKey = lilv_new_uri(world, LV2_UNITS__unit);
  LilvNode* renderKey = lilv_new_uri(world, LV2_UNITS__render);
  std::map<std::string, std::string> units;  // symbol -> unit, or our own unit's format
  for (uint32_t i = 0; i < lilv_plugin_get_num_ports(plugin); ++i) {
    const LilvPort* port = lilv_plugin_get_port_by_index(plugin, i);
    LilvNodes* unit = lilv_port_get_value(plugin, port, unitKey);
    if (unit == nullptr) continue;
    const LilvNode* node = lilv_nodes_get_first(unit);
    LilvNode* render = lilv_node_is_uri(node) ? nullptr : lilv_world_get(world, node, renderKey, nullptr);
    units[lilv_node_as_string(lilv_port_get_symbol(plugin, port))] =
        render != nullptr ? lilv_node_as_string(render) : lilv_node_as_uri(node);
    lilv_node_free(render);
    lilv_nodes_free(unit);
  }
  const std::string db = LV2_UNITS__db, hz = LV2_UNITS__hz, wet = "%.0f%% wet";
  EXPECT_EQ(units, (std::map<std::string, std::string>{{"volume_l", db}, {"volume_r", db}, {"mix_l", wet},
                                                        {"mix_r", wet}, {"freq_range", hz}, {"freq_min_l", hz},
                                                        {"freq_min_r", hz}, {"freq_max_l", hz}, {"freq_max_r", hz},
                                                        {"lfo_rate", hz}}));
  for (LilvNode* node : {unitKey, renderKey, uri, bundle}) lilv_node_free(node);
  lilv_world_free(world);
}

TEST(Lv2Tools, Lv2applyShiftsASineBy250Hz) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "lv2apply cannot load a plug-in built with AddressSanitizer (the runtime must come first)";
#endif
  // A cross build (64-bit ARM under qemu-user) finds this machine's own
  // lv2apply, which cannot load the build's plug-in.
  const std::string tool = FindOnPath("lv2apply");
  ASSERT_FALSE(tool.empty()) << "no lv2apply on the PATH (package lilv-utils)";
  const int toolMachine = ElfMachine(tool), ownMachine = ElfMachine("/proc/self/exe");
  if (toolMachine != 0 && ownMachine != 0 && toolMachine != ownMachine)
    GTEST_SKIP() << "lv2apply here is built for another processor (ELF machine " << toolMachine << ", this build "
                 << ownMachine << "): it cannot load this build's plug-in";
  const std::string dir = VELTRANE_LV2_TEST_DIR;
  const std::string in = dir + "/sine_1000.wav", out = dir + "/sine_1000_plus_250.wav";
  std::string command =
      std::string("LV2_PATH='") + std::getenv("VELTRANE_LV2_PATH") + "' lv2apply -i '" + in + "' -o '" + out + "'";
  LilvState* preset = lv2host::Preset("14 Plus 250Hz");
  ASSERT_NE(preset, nullptr);
  lilv_state_emit_port_values(preset, &AddArgument, &command);
  lilv_state_free(preset);
  command += std::string(" ") + lv2host::kPluginUri;

  const int rate = 44100, frames = 2 * rate;
  SF_INFO format = {0, rate, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
  std::vector<float> sine(2 * frames);
  for (int i = 0; i < 2 * frames; ++i) sine[i] = float(0.5 * std::sin(2 * M_PI * 1000.0 * (i / 2) / rate));
  SNDFILE* file = sf_open(in.c_str(), SFM_WRITE, &format);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  sf_writef_float(file, sine.data(), frames);
  sf_close(file);
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  file = sf_open(out.c_str(), SFM_READ, &format);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(format.channels, 2);
  std::vector<float> shifted(2 * static_cast<size_t>(format.frames));
  sf_readf_float(file, shifted.data(), format.frames);
  sf_close(file);
  const size_t n = 32768, settled = 8192;
  for (int c = 0; c < 2; ++c) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = shifted[2 * (settled + i) + c];
    const double peak = testhost::ref::StrongestFrequency(x.data(), n, rate);
    std::printf("lv2apply: channel %d peak at %.1f Hz\n", c, peak);
    EXPECT_NEAR(peak, 1250.0, double(rate) / n) << "channel " << c;
  }
}

}  // namespace
