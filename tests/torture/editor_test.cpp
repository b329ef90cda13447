// The editor under the same abuse as the rest: opened and closed over and
// over while audio, automation, program switches, renames and chunks run on
// other threads; instances closed with their editor still open; several
// editors in one host window. The window thread is this test's thread, as a
// host's user-interface thread would be.
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "tests/torture/EditorParent.h"
#include "tests/torture/TortureSupport.h"

namespace torture {
namespace {

using testhost::HostTest;
using EditorTorture = HostTest;

bool HasEditor(PluginInstance& plugin) { return (plugin.effect()->flags & effFlagsHasEditor) != 0; }

// The host's idle timer for a while: editor idle calls and the parent's messages.
void IdleFor(PluginInstance& plugin, EditorParent& parent, int rounds) {
  for (int i = 0; i < rounds; ++i) {
    plugin.Dispatch(effEditIdle);
    parent.Pump();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

TEST_F(EditorTorture, OpenAndCloseWhileAudioAutomationProgramsAndChunksRun) {
  EditorParent parent;
  if (parent.Handle() == nullptr) GTEST_SKIP() << parent.Why();
  auto plugin = Running({}, 44100.0f, 512);
  ASSERT_TRUE(plugin);
  if (!HasEditor(*plugin)) GTEST_SKIP() << "this build has no editor";
  const std::vector<uint8_t> seedBank = plugin->GetChunk(false);

  std::atomic<bool> stop{false};
  std::atomic<long> blocks{0}, changes{0};
  std::atomic<bool> badAudio{false};
  std::thread audio([&] {
    DoubleBuffers in = NoiseDouble(512, 9), out(2, std::vector<double>(512));
    while (!stop.load()) {
      plugin->ProcessDouble(in, out, 512);
      if (!AllFinite(out, 512)) badAudio = true;
      ++blocks;
    }
  });
  std::thread host([&] {
    Rng rng(11);
    std::vector<uint8_t> bank = seedBank;
    while (!stop.load()) {
      switch (rng.Below(8)) {
        case 0: plugin->Dispatch(effSetProgram, 0, rng.Below(32)); break;
        case 1: {
          char name[32] = "Torture";
          plugin->Dispatch(effSetProgramName, 0, 0, name);
          break;
        }
        case 2:
          if (rng.Below(8) == 0) bank = plugin->GetChunk(false);
          else plugin->SetChunk(bank, false);
          break;
        default: plugin->SetParameter(rng.Below(testhost::kNumParams), rng.Unit()); break;
      }
      ++changes;
    }
  });

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kUnderWine ? 6 : 3);
  int opened = 0;
  while (std::chrono::steady_clock::now() < deadline) {
    ASSERT_EQ(plugin->Dispatch(effEditOpen, 0, 0, parent.Handle()), 1) << "round " << opened;
    ++opened;
    IdleFor(*plugin, parent, 1 + opened % 7);
    plugin->Dispatch(effEditClose);
    parent.Pump();
    EXPECT_EQ(parent.Children(), 0) << "round " << opened;
  }
  stop = true;
  audio.join();
  host.join();
  EXPECT_FALSE(badAudio);
  EXPECT_GT(opened, 5);
  EXPECT_GT(blocks.load(), 0);
  EXPECT_GT(changes.load(), 0);
  RecordProperty("editor_openings", opened);

  // Still whole: the editor opens again, every value is in range.
  ASSERT_EQ(plugin->Dispatch(effEditOpen, 0, 0, parent.Handle()), 1);
  IdleFor(*plugin, parent, 3);
  EXPECT_EQ(parent.Children(), 1);
  plugin->Dispatch(effEditClose);
  for (VstInt32 p = 0; p < testhost::kNumParams; ++p) {
    const float v = plugin->GetParameter(p);
    EXPECT_TRUE(v >= 0.0f && v <= 1.0f) << p;
  }
  const VstIntPtr program = plugin->Dispatch(effGetProgram);
  EXPECT_TRUE(program >= 0 && program < 32) << program;
}

TEST_F(EditorTorture, InstancesClosedWithTheirEditorOpenLeaveNoWindowBehind) {
  EditorParent parent;
  if (parent.Handle() == nullptr) GTEST_SKIP() << parent.Why();
  const int rounds = kUnderWine ? 15 : 40;
  for (int i = 0; i < rounds; ++i) {
    auto plugin = Running();
    ASSERT_TRUE(plugin);
    if (!HasEditor(*plugin)) GTEST_SKIP() << "this build has no editor";
    ASSERT_EQ(plugin->Dispatch(effEditOpen, 0, 0, parent.Handle()), 1);
    IdleFor(*plugin, parent, i % 3);
    // Some hosts close the instance without closing its editor first.
    plugin->Close();
    parent.Pump();
    EXPECT_EQ(parent.Children(), 0) << "round " << i;
  }
}

TEST_F(EditorTorture, SeveralEditorsInOneHostWindowOpenAndCloseInAnyOrder) {
  EditorParent parent;
  if (parent.Handle() == nullptr) GTEST_SKIP() << parent.Why();
  std::vector<std::unique_ptr<PluginInstance>> plugins;
  for (int i = 0; i < 4; ++i) {
    plugins.push_back(Running());
    ASSERT_TRUE(plugins.back());
    if (!HasEditor(*plugins.back())) GTEST_SKIP() << "this build has no editor";
  }
  Rng rng(21);
  std::vector<bool> open(plugins.size(), false);
  for (int step = 0; step < (kUnderWine ? 40 : 120); ++step) {
    const int k = rng.Below(static_cast<int>(plugins.size()));
    if (open[k]) {
      plugins[k]->Dispatch(effEditClose);
    } else {
      ASSERT_EQ(plugins[k]->Dispatch(effEditOpen, 0, 0, parent.Handle()), 1);
      plugins[k]->SetParameter(rng.Below(testhost::kNumParams), rng.Unit());
    }
    open[k] = !open[k];
    for (auto& p : plugins) p->Dispatch(effEditIdle);
    parent.Pump();
    int expected = 0;
    for (bool o : open) expected += o ? 1 : 0;
    ASSERT_EQ(parent.Children(), expected) << "step " << step;
  }
  for (size_t k = 0; k < plugins.size(); ++k)
    if (open[k]) plugins[k]->Dispatch(effEditClose);
  parent.Pump();
  EXPECT_EQ(parent.Children(), 0);
}

}  // namespace
}  // namespace torture
