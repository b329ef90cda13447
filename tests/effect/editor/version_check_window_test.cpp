// The version check in the editor's real window (X11 natively, a Windows
// window under Wine), against a local server: the request waits on a
// worker while the window stays responsive and the host's audio runs, the
// answer's message box does not hold up the audio either, and closing the
// editor and the plug-in while a request is out returns at once.
#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#if defined(_WIN32)
#include <windows.h>
#endif

#include "effect/Veltrane.h"
#include "effect/editor/IQVOnlineVersionMenu.h"
#include "graphics/IGraphics.h"
#include "tests/host/HostEditorModals.h"
#include "tests/host/HostEditorParent.h"
#include "tests/support/LocalHttpServer.h"

namespace edtest {
namespace {

using testhost::AudioWhileOpen;
using testhost::ModalKind;
using veltrane_test::HttpReply;
using veltrane_test::LocalHttpServer;

constexpr int kBlock = 512;
constexpr int kCapMs = 60000;

TEST(VersionCheckWindow, TheAudioRunsWhileTheCheckWaitsAndWhileItsAnswerIsShown) {
#if defined(_WIN32)
  HWND parent = static_cast<HWND>(testhost::MakeParentWindow(584, 390));
  ASSERT_NE(parent, nullptr) << "no parent window (is the X server running?)";
  void* parentHandle = parent;
#else
  testhost::X11Parent parent(584, 390);
  if (!parent.ok()) GTEST_SKIP() << "no X display to open the editor on: " << parent.why();
  parent.MovePointerAway();
  void* parentHandle = parent.handle();
#endif
  auto plug = std::make_unique<Veltrane>(nullptr);
  AEffect* e = plug->EffectRecord();
  auto dispatch = [e](VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr, float opt = 0.0f) {
    return e->dispatcher(e, opcode, 0, value, ptr, opt);
  };
  dispatch(effOpen);
  dispatch(effSetSampleRate, 0, nullptr, 44100.0f);
  dispatch(effSetBlockSize, kBlock);
  dispatch(effMainsChanged, 1);
  ASSERT_EQ(dispatch(effEditOpen, 0, parentHandle), 1);
  testhost::EditorInput input(plug->Editor()->EditorWindowHandle());
  ASSERT_TRUE(input.ok());

  std::vector<float> left(kBlock, 0.25f), right(kBlock, 0.25f), outLeft(kBlock), outRight(kBlock);
  float* in[2] = {left.data(), right.data()};
  float* out[2] = {outLeft.data(), outRight.data()};
  const testhost::HostLoops loops{[&] {
                                    dispatch(effEditIdle);
#if defined(_WIN32)
                                    testhost::PumpWindowMessages();
#endif
                                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                                  },
                                  [&] { e->processReplacing(e, in, out, kBlock); }};

  LocalHttpServer server(HttpReply::Body("2003"));
  plug->EditorView().VersionMenu()->SetUpdateServer(HttpEndpoint{"127.0.0.1", server.Port()});
  // "Check Online for Update" from the version label's menu.
  auto startCheck = [&] {
    input.Click(495, 26, 1);
    if (!input.WaitForModal(ModalKind::kMenu, kCapMs)) return false;
    input.ChooseMenuItem(0);
    return true;
  };
  auto answerShown = [&] { return input.WaitForModal(ModalKind::kMessageBox, kCapMs); };

  server.Hold();
  EXPECT_EQ(AudioWhileOpen(
                loops, [&] { return startCheck() && server.WaitForRequests(1, std::chrono::milliseconds(kCapMs)); },
                [&] {
                  server.Release();
                  return answerShown() && input.DismissModal(10000);
                }),
            "")
      << "the request held by the server";
  EXPECT_EQ(AudioWhileOpen(loops, [&] { return startCheck() && answerShown(); }, [&] { return input.DismissModal(10000); }),
            "")
      << "the answer's message box";
  EXPECT_EQ(server.Requests().size(), 2u) << "one request for each check";

  // The editor and the plug-in go while a request is out: nothing waits for it.
  server.Hold();
  std::atomic<bool> started{false}, tried{false};
  std::thread starter([&] {
    started = startCheck() && server.WaitForRequests(3, std::chrono::milliseconds(kCapMs));
    tried = true;
  });
  while (!tried) loops.guiTurn();
  starter.join();
  ASSERT_TRUE(started);
  EXPECT_TRUE(plug->EditorView().VersionMenu()->CheckPending());
  EXPECT_EQ(dispatch(effEditClose), 1);
  plug.reset();
  server.Release();
  for (auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kCapMs);
       VersionChecksRunning() > 0 && std::chrono::steady_clock::now() < until;)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_EQ(VersionChecksRunning(), 0) << "the worker ended once the server answered";
#if defined(_WIN32)
  DestroyWindow(parent);
  testhost::PumpWindowMessages();
#endif
}

}  // namespace
}  // namespace edtest
