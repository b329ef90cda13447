// The editor requests a host makes, through the built plug-in: the answers
// follow the editor flag, and opening, reopening and closing in any order
// leaves no window behind. The parent is a real top-level window of this
// test host: an X11 one natively, a Windows one under Wine.
#include <cstdint>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include "tests/host/HostEditorParent.h"
#endif

#include "tests/host/HostTestSupport.h"

namespace testhost {
namespace {

using EditorRequests = HostTest;

bool HasEditor(PluginInstance& plugin) { return (plugin.effect()->flags & effFlagsHasEditor) != 0; }

TEST_F(EditorRequests, WithoutAParentNothingOpensAndClosingIsAlwaysSafe) {
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  EXPECT_EQ(plugin->Dispatch(effEditClose), HasEditor(*plugin) ? 1 : 0);  // never opened
  EXPECT_EQ(plugin->Dispatch(effEditOpen, 0, 0, nullptr), 0);
  EXPECT_EQ(plugin->Dispatch(effEditIdle), 0);
  EXPECT_EQ(plugin->Dispatch(effEditClose), HasEditor(*plugin) ? 1 : 0);
  EXPECT_EQ(plugin->Dispatch(effEditGetRect, 0, 0, nullptr), 0);
}

#if defined(_WIN32)

HWND MakeParent() {
  static bool registered = false;
  if (!registered) {
    WNDCLASSA wc{};
    wc.lpfnWndProc = &DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "VeltraneHostTestParent";
    registered = RegisterClassA(&wc) != 0;
  }
  return CreateWindowExA(0, "VeltraneHostTestParent", "host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 700, 500,
                         nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
}

int EditorChildren(HWND parent) {
  int count = 0;
  for (HWND child = GetWindow(parent, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    char name[64] = {0};
    GetClassNameA(child, name, sizeof name);
    if (std::string(name) == "IPlugWndClass") ++count;
  }
  return count;
}

#endif

TEST_F(EditorRequests, OpeningInARealWindowFollowsTheEditorFlag) {
#if defined(_WIN32)
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  HWND parent = MakeParent();
  ASSERT_NE(parent, nullptr);
  const bool editor = HasEditor(*plugin);

  EXPECT_EQ(plugin->Dispatch(effEditOpen, 0, 0, parent), editor ? 1 : 0);
  EXPECT_EQ(EditorChildren(parent), editor ? 1 : 0);
  if (editor) {
    HWND child = GetWindow(parent, GW_CHILD);
    RECT r{};
    GetClientRect(child, &r);
    EXPECT_EQ(r.right, 584);
    EXPECT_EQ(r.bottom, 390);
    EXPECT_EQ(plugin->Dispatch(effEditOpen, 0, 0, parent), 1);  // twice: still one window
    EXPECT_EQ(EditorChildren(parent), 1);
  }
  EXPECT_EQ(plugin->Dispatch(effEditIdle), 0);
  EXPECT_EQ(plugin->Dispatch(effEditClose), editor ? 1 : 0);
  EXPECT_EQ(EditorChildren(parent), 0);
  EXPECT_EQ(plugin->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<intptr_t>(0x7654))), 0);

  // A host that closes the plug-in with the editor open.
  plugin->Dispatch(effEditOpen, 0, 0, parent);
  plugin->Close();
  EXPECT_EQ(EditorChildren(parent), 0);
  DestroyWindow(parent);
#else
  X11Parent parent(700, 500);
  if (!parent.ok()) GTEST_SKIP() << "no X display to open the editor on: " << parent.why();
  auto plugin = Running();
  ASSERT_TRUE(plugin);
  const bool editor = HasEditor(*plugin);

  EXPECT_EQ(plugin->Dispatch(effEditOpen, 0, 0, parent.handle()), editor ? 1 : 0);
  EXPECT_EQ(parent.Children().size(), editor ? 1u : 0u);
  if (editor && parent.Children().size() == 1) {
    int width = 0, height = 0;
    EXPECT_TRUE(parent.Size(parent.Children()[0], &width, &height));
    EXPECT_EQ(width, 584);
    EXPECT_EQ(height, 390);
    EXPECT_EQ(plugin->Dispatch(effEditOpen, 0, 0, parent.handle()), 1);  // twice: still one window
    EXPECT_EQ(parent.Children().size(), 1u);
  }
  EXPECT_EQ(plugin->Dispatch(effEditIdle), 0);
  EXPECT_EQ(plugin->Dispatch(effEditClose), editor ? 1 : 0);
  EXPECT_TRUE(parent.Children().empty());
  // No such window on the server.
  EXPECT_EQ(plugin->Dispatch(effEditOpen, 0, 0, reinterpret_cast<void*>(static_cast<intptr_t>(0x7654))), 0);

  // A host that closes the plug-in with the editor open.
  plugin->Dispatch(effEditOpen, 0, 0, parent.handle());
  plugin->Close();
  EXPECT_TRUE(parent.Children().empty());
#endif
}

}  // namespace
}  // namespace testhost
