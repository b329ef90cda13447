// How long the host's audio thread spends in a process call while the rest
// of a real session goes on: per format, the audio thread runs paced at
// the block period (512 and 64 frames at 44.1 kHz) for some seconds, while
// a host thread automates every parameter, another saves and loads the
// state every 50 ms and switches programs, and the editor is open at 2x on
// the GUI thread (an X11 window, repainting under the automation), or
// closed, in the same run. Prints the median, 99.9th percentile and worst
// call. A benchmark, not a test: it fails only when it cannot run.
//
//   veltrane-realtime-bench [--seconds S] [--formats vst2,vst3,clap]
//                           [--vst2 FILE] [--vst3 BUNDLE] [--clap FILE]
//
// The files default to this build tree's (another build's, to compare).
// Needs an X display for the editor (DISPLAY, or an Xvfb of its own).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tests/host/HostEditorParent.h"
#include "tests/plugin/clap/ClapTestHost.h"
#include "tests/plugin/vst3/Vst3Host.h"
#include "tools/veltrane-render/PluginHost.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kRate = 44100.0;
constexpr int kParams = 15;

// One format as the bench drives it; every function is called on the
// thread its name says.
struct Session {
  std::function<void(float** in, float** out, int frames)> audio;
  std::function<void(int index, double normalised)> automate;  // host thread
  std::function<void(int step)> stateAndPrograms;              // host thread
  std::function<bool(void* parent)> openEditor;                // GUI thread, at 2x
  std::function<void()> guiTurn;                               // GUI thread
  std::function<void()> closeEditor;                           // GUI thread
};

struct Figures {
  double median = 0, p999 = 0, worst = 0;
  size_t calls = 0;
};

Figures Summary(std::vector<double> us) {
  Figures f;
  if (us.empty()) return f;
  std::sort(us.begin(), us.end());
  f.calls = us.size();
  f.median = us[us.size() / 2];
  f.p999 = us[std::min(us.size() - 1, static_cast<size_t>(std::ceil(us.size() * 0.999)) - 1)];
  f.worst = us.back();
  return f;
}

// One run: the three threads around the paced audio thread.
Figures Run(Session& s, int frames, bool editor, double seconds, void* parent) {
  std::vector<float> in[2], out[2];
  for (int c = 0; c < 2; ++c) {
    in[c].resize(static_cast<size_t>(frames));
    out[c].resize(static_cast<size_t>(frames));
    for (int i = 0; i < frames; ++i) in[c][static_cast<size_t>(i)] = 0.5f * std::sin(0.01f * i + c);
  }
  float* inputs[2] = {in[0].data(), in[1].data()};
  float* outputs[2] = {out[0].data(), out[1].data()};
  if (editor && !s.openEditor(parent)) {
    std::fprintf(stderr, "veltrane-realtime-bench: the editor did not open\n");
    std::exit(1);
  }
  std::atomic<bool> stop{false};
  std::vector<double> times;
  times.reserve(static_cast<size_t>(seconds * kRate / frames) + 16);
  std::thread audio([&] {
    const auto period = std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(frames / kRate));
    auto next = Clock::now();
    const auto end = next + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    while (next < end) {
      const auto t0 = Clock::now();
      s.audio(inputs, outputs, frames);
      times.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
      next += period;
      std::this_thread::sleep_until(next);
    }
    stop = true;
  });
  std::thread automation([&] {
    for (int step = 0; !stop; ++step) {
      for (int i = 0; i < kParams; ++i) s.automate(i, 0.5 + 0.5 * std::sin(0.05 * step + i));
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  });
  std::thread state([&] {
    for (int step = 0; !stop; ++step) {
      s.stateAndPrograms(step);
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  });
  while (!stop) {
    if (editor) s.guiTurn();
    std::this_thread::sleep_for(std::chrono::milliseconds(editor ? 5 : 20));
  }
  audio.join();
  automation.join();
  state.join();
  if (editor) s.closeEditor();
  return Summary(std::move(times));
}

std::unique_ptr<Session> Vst2Session(vhost::PluginHost& host) {
  auto s = std::make_unique<Session>();
  AEffect* e = host.Effect();
  s->audio = [e](float** in, float** out, int frames) { e->processReplacing(e, in, out, frames); };
  s->automate = [e](int i, double v) { e->setParameter(e, i, static_cast<float>(v)); };
  s->stateAndPrograms = [e](int step) {
    void* data = nullptr;
    const VstIntPtr size = e->dispatcher(e, effGetChunk, step % 2, 0, &data, 0.0f);
    std::vector<uint8_t> copy(static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + (size > 0 ? size : 0));
    if (!copy.empty()) e->dispatcher(e, effSetChunk, step % 2, static_cast<VstIntPtr>(copy.size()), copy.data(), 0.0f);
    if (step % 4 == 3) e->dispatcher(e, effSetProgram, 0, step % 32, nullptr, 0.0f);
  };
  s->openEditor = [e](void* parent) {
    e->dispatcher(e, effVendorSpecific, CCONST('P', 'r', 'e', 'S'), CCONST('A', 'e', 'C', 's'), nullptr, 2.0f);
    return e->dispatcher(e, effEditOpen, 0, 0, parent, 0.0f) == 1;
  };
  s->guiTurn = [e] { e->dispatcher(e, effEditIdle, 0, 0, nullptr, 0.0f); };
  s->closeEditor = [e] { e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f); };
  return s;
}

struct Vst3Parts {
  std::unique_ptr<vst3host::Instance> plugin;
  vst3host::Frame frame;
  vst3::IPlugView* view = nullptr;
};

std::unique_ptr<Session> Vst3Session(Vst3Parts& p) {
  auto s = std::make_unique<Session>();
  vst3host::Instance* plugin = p.plugin.get();
  s->audio = [plugin](float** in, float** out, int frames) { plugin->Process(in, 2, out, 2, frames); };
  s->automate = [plugin](int i, double v) { plugin->controller->setParamNormalized(static_cast<vst3::ParamID>(i), v); };
  s->stateAndPrograms = [plugin](int step) {
    plugin->SetState(plugin->GetState());
    if (step % 4 == 3) plugin->controller->setParamNormalized(0x50726F67, (step % 32) / 31.0);  // 'Prog'
  };
  s->openEditor = [&p](void* parent) {
    p.view = p.plugin->controller->createView("editor");
    if (p.view == nullptr || p.view->setFrame(&p.frame) != vst3::kResultOk) return false;
    void* found = nullptr;
    if (p.view->queryInterface(vst3::kIPlugViewContentScaleSupportIid.bytes, &found) == vst3::kResultOk) {
      static_cast<vst3::IPlugViewContentScaleSupport*>(found)->setContentScaleFactor(2.0f);
      static_cast<vst3::IPlugViewContentScaleSupport*>(found)->release();
    }
    return p.view->attached(parent, vst3::kPlatformTypeX11EmbedWindowID) == vst3::kResultOk;
  };
  s->guiTurn = [&p] { p.frame.RunFor(5); };
  s->closeEditor = [&p] {
    p.view->removed();
    p.view->release();
    p.view = nullptr;
  };
  return s;
}

std::unique_ptr<Session> ClapSession(claphost::ClapInstance& plugin, std::vector<std::vector<uint8_t>>& states) {
  auto s = std::make_unique<Session>();
  s->audio = [&plugin](float** in, float** out, int frames) {
    static thread_local std::vector<std::vector<float>> i(2), o(2);
    for (int c = 0; c < 2; ++c) {
      i[c].assign(in[c], in[c] + frames);
      o[c].resize(static_cast<size_t>(frames));
    }
    plugin.ProcessFloat(i, o, static_cast<uint32_t>(frames));
  };
  // A CLAP host automates through the block's events; the main thread
  // meanwhile reads the values and their texts, as hosts show them.
  s->automate = [&plugin](int i, double v) { plugin.Text(static_cast<uint32_t>(i), plugin.Value(static_cast<uint32_t>(i))); };
  s->stateAndPrograms = [&plugin, &states](int step) {
    std::vector<uint8_t> bytes;
    plugin.Save(bytes);
    // A program switch is a state load in CLAP: one of the factory programs.
    plugin.Load(step % 4 == 3 && !states.empty() ? states[static_cast<size_t>(step) % states.size()] : bytes);
  };
  s->openEditor = [&plugin](void* parent) {
    const clap_plugin_gui_t* gui = plugin.gui();
    clap_window_t window{CLAP_WINDOW_API_X11, {nullptr}};
    window.x11 = static_cast<unsigned long>(reinterpret_cast<uintptr_t>(parent));
    return gui->create(plugin.plugin(), CLAP_WINDOW_API_X11, false) && gui->set_scale(plugin.plugin(), 2.0) &&
           gui->set_parent(plugin.plugin(), &window);
  };
  s->guiTurn = [&plugin] {
    plugin.FireFd();
    plugin.FireTimer();
  };
  s->closeEditor = [&plugin] { plugin.gui()->destroy(plugin.plugin()); };
  return s;
}

void Print(const char* format, int frames, const Figures& closed, const Figures& open) {
  std::printf("%-6s %5d | %8.1f %8.1f %8.1f | %8.1f %8.1f %8.1f | %6.2f\n", format, frames, closed.median, closed.p999,
              closed.worst, open.median, open.p999, open.worst, closed.worst > 0 ? open.worst / closed.worst : 0.0);
  std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
  double seconds = 10.0;
  std::string formats = "vst2,vst3,clap";
  std::string vst2 = VELTRANE_BENCH_VST2;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::atof(argv[i + 1]);
    if (std::strcmp(argv[i], "--formats") == 0) formats = argv[i + 1];
    if (std::strcmp(argv[i], "--vst2") == 0) vst2 = argv[i + 1];
    if (std::strcmp(argv[i], "--vst3") == 0) setenv("VELTRANE_VST3", argv[i + 1], 1);
    if (std::strcmp(argv[i], "--clap") == 0) setenv("VELTRANE_CLAP", argv[i + 1], 1);
  }
  if (!(seconds > 0.0)) return 2;
  // The test hosts find their modules here, as the tests' environment has it.
  setenv("VELTRANE_VST3", VELTRANE_BENCH_VST3, 0);
  setenv("VELTRANE_CLAP", VELTRANE_BENCH_CLAP, 0);
  testhost::X11Parent parent(2 * 584, 2 * 390);
  if (!parent.ok()) {
    std::fprintf(stderr, "veltrane-realtime-bench: no X display: %s\n", parent.why().c_str());
    return 1;
  }
  std::printf("process-call times in microseconds, %.0f s a run, 44.1 kHz, editor at 2x\n", seconds);
  std::printf("%-6s %5s | %26s | %26s | %6s\n", "", "", "editor closed", "editor open", "worst");
  std::printf("%-6s %5s | %8s %8s %8s | %8s %8s %8s | %6s\n", "format", "block", "median", "99.9%", "worst", "median",
              "99.9%", "worst", "ratio");
  for (int frames : {512, 64}) {
    if (formats.find("vst2") != std::string::npos) {
      vhost::PluginHost host;
      std::string error;
      if (!host.Load(vst2, error)) {
        std::fprintf(stderr, "veltrane-realtime-bench: %s\n", error.c_str());
        return 1;
      }
      host.Open(kRate, frames);
      host.Start();
      auto s = Vst2Session(host);
      const Figures closed = Run(*s, frames, false, seconds, parent.handle());
      const Figures open = Run(*s, frames, true, seconds, parent.handle());
      Print("VST2", frames, closed, open);
    }
    if (formats.find("vst3") != std::string::npos) {
      Vst3Parts parts;
      parts.plugin = vst3host::Instance::Create();
      if (parts.plugin == nullptr) return 1;
      parts.plugin->Start(kRate, frames);
      auto s = Vst3Session(parts);
      const Figures closed = Run(*s, frames, false, seconds, parent.handle());
      const Figures open = Run(*s, frames, true, seconds, parent.handle());
      Print("VST3", frames, closed, open);
    }
    if (formats.find("clap") != std::string::npos) {
      auto plugin = claphost::ClapInstance::Create();
      if (plugin == nullptr || !plugin->Activate(kRate, static_cast<uint32_t>(frames))) return 1;
      std::vector<std::vector<uint8_t>> states;
      std::vector<uint8_t> first;
      plugin->Save(first);
      states.push_back(first);
      auto s = ClapSession(*plugin, states);
      const Figures closed = Run(*s, frames, false, seconds, parent.handle());
      const Figures open = Run(*s, frames, true, seconds, parent.handle());
      Print("CLAP", frames, closed, open);
    }
  }
  return 0;
}
