// lilv's lv2apply renders a 1 kHz sine through the bundle with the "Plus
// 250Hz" preset's port values (read from the bundle) on its command line:
// the spectrum's peak moves to 1250 Hz.
#include <gtest/gtest.h>

#include <lv2/presets/presets.h>
#include <sndfile.h>

#include <cmath>
#include <cstdlib>

#include "tests/host/AudioReference.h"
#include "tests/plugin/lv2/Lv2Host.h"

namespace {

struct PresetPorts {
  std::string arguments;
  static void Add(const char* symbol, void* self, const void* value, uint32_t size, uint32_t type) {
    lv2host::Urids& u = lv2host::Urids::Get();
    double v = NAN;
    if (type == u.Map(LV2_ATOM__Double) && size == 8) v = *static_cast<const double*>(value);
    if (type == u.Map(LV2_ATOM__Float) && size == 4) v = *static_cast<const float*>(value);
    if ((type == u.Map(LV2_ATOM__Int) || type == u.Map(LV2_ATOM__Long)) && size >= 4)
      v = size == 8 ? double(*static_cast<const int64_t*>(value)) : double(*static_cast<const int32_t*>(value));
    char text[128];
    std::snprintf(text, sizeof text, " -c %s %.9g", symbol, v);
    static_cast<PresetPorts*>(self)->arguments += text;
  }
};

TEST(Lv2Tools, Lv2applyShiftsASineBy250Hz) {
  lv2host::World& w = lv2host::World::Get();
  ASSERT_NE(w.plugin, nullptr);
  PresetPorts ports;
  LilvNode* presetClass = lilv_new_uri(w.world, LV2_PRESETS__Preset);
  LilvNodes* presets = lilv_plugin_get_related(w.plugin, presetClass);
  LILV_FOREACH (nodes, it, presets) {
    lilv_world_load_resource(w.world, lilv_nodes_get(presets, it));
    LilvState* state = lilv_state_new_from_world(w.world, lv2host::Urids::Get().map(), lilv_nodes_get(presets, it));
    if (state != nullptr && std::string(lilv_state_get_label(state)) == "Plus 250Hz")
      lilv_state_emit_port_values(state, &PresetPorts::Add, &ports);
    lilv_state_free(state);
  }
  lilv_nodes_free(presets);
  lilv_node_free(presetClass);
  ASSERT_FALSE(ports.arguments.empty()) << "no preset \"Plus 250Hz\"";

  const std::string dir = VELTRANE_LV2_TEST_DIR;
  const std::string in = dir + "/sine_1000.wav", out = dir + "/sine_1000_plus_250.wav";
  const int rate = 44100, frames = 2 * rate;
  SF_INFO format = {0, rate, 2, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
  SNDFILE* file = sf_open(in.c_str(), SFM_WRITE, &format);
  ASSERT_NE(file, nullptr) << sf_strerror(nullptr);
  std::vector<float> sine(2 * frames);
  for (int i = 0; i < frames; ++i) sine[2 * i] = sine[2 * i + 1] = float(0.5 * std::sin(2 * M_PI * 1000.0 * i / rate));
  sf_writef_float(file, sine.data(), frames);
  sf_close(file);

  const std::string command = "LV2_PATH='" + std::string(std::getenv("VELTRANE_LV2_PATH")) + "' lv2apply -i '" + in +
                              "' -o '" + out + "'" + ports.arguments + " " + lv2host::kPluginUri;
  ASSERT_EQ(std::system(command.c_str()), 0) << command;

  file = sf_open(out.c_str(), SFM_READ, &format);
  ASSERT_NE(file, nullptr);
  ASSERT_EQ(format.channels, 2);
  std::vector<float> shifted(2 * static_cast<size_t>(format.frames));
  sf_readf_float(file, shifted.data(), format.frames);
  sf_close(file);
  // One second after the filters settled, each channel.
  const size_t n = 32768;
  for (int c = 0; c < 2; ++c) {
    std::vector<double> x(n);
    for (size_t i = 0; i < n; ++i) x[i] = shifted[2 * (8192 + i) + c];
    const double peak = testhost::ref::StrongestFrequency(x.data(), n, rate);
    std::printf("lv2apply: channel %d peak at %.1f Hz\n", c, peak);
    EXPECT_NEAR(peak, 1250.0, double(rate) / n) << "channel " << c;
  }
}

}  // namespace
