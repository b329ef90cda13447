// The LV2 editor as a host runs it: an X11 child of the host's window on a
// display of the test's own, asking the audio instance for its program,
// following the host's values without writing them back, and writing the
// ports the user changes, linked partners included.
#include <gtest/gtest.h>

#include <dlfcn.h>
#include <lv2/options/options.h>
#include <lv2/patch/patch.h>
#include <lv2/ui/ui.h>

#include <chrono>
#include <functional>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "tests/host/HostEditorParent.h"
#include "tests/host/StateSupport.h"
#include "tests/plugin/lv2/Lv2Host.h"

// Last: Xlib's macros (Bool, None, Status) clash with the headers above.
#if defined(VELTRANE_LV2_GTK3)
#include <gtk/gtk.h>
#include <gtk/gtkx.h>
#endif
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {

using lv2host::Map;

// What the editor did to its host.
struct EditorHost {
  std::vector<std::pair<uint32_t, lv2host::Bytes>> writes;  // (port, bytes), format 0 as a float
  std::vector<uint32_t> formats;
  std::vector<std::pair<uint32_t, bool>> touches;
  int width = 0, height = 0;
  // ui:resize, recording the size asked for.
  LV2UI_Resize Resize() {
    return {this, [](LV2UI_Feature_Handle handle, int w, int h) {
              static_cast<EditorHost*>(handle)->width = w;
              static_cast<EditorHost*>(handle)->height = h;
              return 0;
            }};
  }
  std::map<uint32_t, float> Values() const {
    std::map<uint32_t, float> values;
    for (const auto& w : writes) {
      float v = -1.0f;
      if (w.second.size() == sizeof v) std::memcpy(&v, w.second.data(), sizeof v);
      values[w.first] = v;
    }
    return values;
  }
};

// The bundle's editor of a type (X11, or GTK 3 if the build has it), from
// the binary it names; `bundle` gets the folder it is in.
void LoadEditor(const LV2UI_Descriptor** descriptor, const char* type = LV2_UI__X11UI, std::string* bundle = nullptr) {
  ASSERT_NE(lv2host::Plugin(), nullptr);
  LilvUIs* uis = lilv_plugin_get_uis(lv2host::Plugin());
  LilvNode* wanted = lilv_new_uri(lv2host::World(), type);
  const LilvUI* ui = nullptr;
  LILV_FOREACH (uis, it, uis)
    if (lilv_ui_is_a(lilv_uis_get(uis, it), wanted)) ui = lilv_uis_get(uis, it);
  lilv_node_free(wanted);
  ASSERT_NE(ui, nullptr) << type;
  if (bundle != nullptr) {
    char* folder = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_bundle_uri(ui)), nullptr);
    *bundle = folder;
    lilv_free(folder);
  }
  char* path = lilv_file_uri_parse(lilv_node_as_uri(lilv_ui_get_binary_uri(ui)), nullptr);
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  lilv_free(path);
  ASSERT_NE(library, nullptr) << dlerror();
  *descriptor = reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(library, "lv2ui_descriptor"))(0);
  ASSERT_STREQ((*descriptor)->URI, lilv_node_as_uri(lilv_ui_get_uri(ui)));
  lilv_uis_free(uis);
}

TEST(Lv2Editor, OpensInTheHostsWindowFollowsTheHostAndWritesWhatTheUserChanges) {
  testhost::X11Parent parent(700, 500);
  if (!parent.ok()) GTEST_SKIP() << parent.why();
  const LV2UI_Descriptor* descriptor = nullptr;
  LoadEditor(&descriptor);
  ASSERT_NE(descriptor, nullptr);

  EditorHost host;
  LV2UI_Resize resize = host.Resize();
  LV2UI_Touch touch = {&host, [](LV2UI_Feature_Handle h, uint32_t port, bool grabbed) {
                         static_cast<EditorHost*>(h)->touches.emplace_back(port, grabbed);
                       }};
  const LV2_Feature parentFeature = {LV2_UI__parent, parent.handle()}, resizeFeature = {LV2_UI__resize, &resize},
                    touchFeature = {LV2_UI__touch, &touch}, idleFeature = {LV2_UI__idleInterface, nullptr},
                    mapFeature = {LV2_URID__map, lv2host::UridMap()};
  const LV2_Feature* features[] = {&parentFeature, &resizeFeature, &touchFeature, &idleFeature, &mapFeature, nullptr};
  auto write = [](LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
    static_cast<EditorHost*>(c)->writes.emplace_back(port, lv2host::Bytes(bytes, bytes + size));
    static_cast<EditorHost*>(c)->formats.push_back(format);
  };
  LV2UI_Widget widget = nullptr;
  LV2UI_Handle editor = descriptor->instantiate(descriptor, lv2host::kPluginUri, "", write, &host, &widget, features);
  ASSERT_NE(editor, nullptr);
  const auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
  ASSERT_NE(idle, nullptr);
  auto pump = [&](int times) {
    for (int i = 0; i < times; ++i, std::this_thread::sleep_for(std::chrono::milliseconds(5)))
      EXPECT_EQ(idle->idle(editor), 0);
  };

  // In the host's window, at the editor's size, which the host is told;
  // the audio instance is asked for its program, once.
  pump(3);
  parent.Sync();
  const unsigned long window = reinterpret_cast<uintptr_t>(widget);
  EXPECT_EQ(parent.Children(), std::vector<unsigned long>{window});
  int width = 0, height = 0;
  EXPECT_TRUE(parent.Size(window, &width, &height));
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(584, 390));
  EXPECT_EQ(std::make_pair(host.width, host.height), std::make_pair(width, height));
  ASSERT_EQ(host.writes.size(), 1u);
  EXPECT_EQ(host.writes[0].first, lv2host::kControl);
  EXPECT_EQ(host.formats[0], Map(LV2_ATOM__eventTransfer));
  EXPECT_EQ(reinterpret_cast<const LV2_Atom_Object*>(host.writes[0].second.data())->body.otype, Map(LV2_PATCH__Get));
  host.writes.clear();
  host.formats.clear();

  // The host's values and the audio instance's report are followed, not
  // written back.
  const float volume = 2.25f;
  descriptor->port_event(editor, 1, sizeof volume, 0, &volume);
  testhost::Values values = testhost::DistinctValues();
  values[0] = 0.0;  // unlinked, the two sides apart
  const lv2host::Bytes chunk = testhost::ProgramChunk(testhost::Record201(values), "Reported");
  std::vector<uint8_t> message(256 + chunk.size());
  LV2_Atom_Forge forge;
  lv2_atom_forge_init(&forge, lv2host::UridMap());
  lv2_atom_forge_set_buffer(&forge, message.data(), message.size());
  LV2_Atom_Forge_Frame frame;
  lv2_atom_forge_object(&forge, &frame, 0, Map(lv2host::kProgramMessage));
  lv2_atom_forge_key(&forge, Map(lv2host::kProgramKey));
  lv2_atom_forge_int(&forge, 7);
  lv2_atom_forge_key(&forge, Map(lv2host::kChunkKey));
  lv2_atom_forge_atom(&forge, static_cast<uint32_t>(chunk.size()), Map(LV2_ATOM__Chunk));
  lv2_atom_forge_write(&forge, chunk.data(), static_cast<uint32_t>(chunk.size()));
  lv2_atom_forge_pop(&forge, &frame);
  const auto* atom = reinterpret_cast<const LV2_Atom*>(message.data());
  descriptor->port_event(editor, lv2host::kNotify, sizeof(LV2_Atom) + atom->size, Map(LV2_ATOM__eventTransfer), atom);
  pump(3);
  EXPECT_TRUE(host.writes.empty());

  // A click on "Link L+R": the switch, then each right-hand partner with
  // the left value, as a VST 2.4 host hears of them; touched while pressed.
  Display* input = XOpenDisplay(nullptr);
  ASSERT_NE(input, nullptr);
  int x = 0, y = 0;
  Window child = 0;
  XTranslateCoordinates(input, window, DefaultRootWindow(input), 534, 306, &x, &y, &child);
  XTestFakeMotionEvent(input, -1, x, y, CurrentTime);
  XTestFakeButtonEvent(input, Button1, True, CurrentTime);
  XTestFakeButtonEvent(input, Button1, False, CurrentTime);
  XSync(input, False);
  XCloseDisplay(input);
  pump(10);
  EXPECT_EQ(host.formats, std::vector<uint32_t>(host.writes.size(), 0));
  const std::vector<float> ports = lv2host::PortsOf(values);  // dB, % wet, Hz
  EXPECT_EQ(host.Values(), (std::map<uint32_t, float>{{0, 1.0f},
                                                      {2, ports[1]},
                                                      {4, ports[3]},
                                                      {6, ports[5]},
                                                      {9, ports[8]},
                                                      {11, ports[10]}}));
  EXPECT_EQ(host.touches, (std::vector<std::pair<uint32_t, bool>>{{0, true}, {0, false}}));

  // The host picks another range: the shifts keep their values, and the
  // editor writes their hertz in it.
  host.writes.clear();
  const float range = 50.0f;
  descriptor->port_event(editor, 7, sizeof range, 0, &range);
  pump(3);
  testhost::Values linked = values;
  for (int right : {2, 4, 6, 9, 11}) linked[right] = values[right - 1];
  linked[7] = 1;
  const std::vector<float> shifts = lv2host::PortsOf(linked);
  EXPECT_EQ(host.Values(), (std::map<uint32_t, float>{{8, shifts[8]}, {9, shifts[9]}, {10, shifts[10]}, {11, shifts[11]}}));

  descriptor->cleanup(editor);
  parent.Sync();
  EXPECT_TRUE(parent.Children().empty());
}

// A host that gives its scale (the ui:scaleFactor option) gets the editor
// at that scale in its window, and is asked for the window's size.
TEST(Lv2Editor, TheHostsScaleFactorOpensTheEditorAtItsSize) {
  testhost::X11Parent parent(1200, 800);
  if (!parent.ok()) GTEST_SKIP() << parent.why();
  const LV2UI_Descriptor* descriptor = nullptr;
  LoadEditor(&descriptor);
  ASSERT_NE(descriptor, nullptr);
  EditorHost host;
  LV2UI_Resize resize = host.Resize();
  const float scale = 2.0f;
  const LV2_Options_Option options[] = {
      {LV2_OPTIONS_INSTANCE, 0, Map(LV2_UI__scaleFactor), sizeof scale, Map(LV2_ATOM__Float), &scale},
      {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
  const LV2_Feature parentFeature = {LV2_UI__parent, parent.handle()}, resizeFeature = {LV2_UI__resize, &resize},
                    idleFeature = {LV2_UI__idleInterface, nullptr}, mapFeature = {LV2_URID__map, lv2host::UridMap()},
                    optionsFeature = {LV2_OPTIONS__options, const_cast<LV2_Options_Option*>(options)};
  const LV2_Feature* features[] = {&parentFeature, &resizeFeature, &idleFeature, &mapFeature, &optionsFeature, nullptr};
  auto write = [](LV2UI_Controller, uint32_t, uint32_t, uint32_t, const void*) {};
  LV2UI_Widget widget = nullptr;
  LV2UI_Handle editor = descriptor->instantiate(descriptor, lv2host::kPluginUri, "", write, &host, &widget, features);
  ASSERT_NE(editor, nullptr);
  parent.Sync();
  const unsigned long window = reinterpret_cast<uintptr_t>(widget);
  EXPECT_EQ(parent.Children(), std::vector<unsigned long>{window});
  int width = 0, height = 0;
  EXPECT_TRUE(parent.Size(window, &width, &height));
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(2 * 584, 2 * 390));
  EXPECT_EQ(std::make_pair(host.width, host.height), std::make_pair(width, height));
  descriptor->cleanup(editor);
  parent.Sync();
  EXPECT_TRUE(parent.Children().empty());
}

#if defined(VELTRANE_LV2_GTK3)
// A GTK 3 host gets the editor inside a widget of its own: listed first
// (Audacity takes the first editor it can show), holding the X11 editor at
// its size, wired to the host's write function and idled by the host.
TEST(Lv2Editor, Gtk3HostsGetTheEditorInsideTheirWidget) {
  testhost::X11Parent display(16, 16);
  if (!display.ok()) GTEST_SKIP() << display.why();
  setenv("NO_AT_BRIDGE", "1", 1);  // no accessibility bus: nothing to talk to here
  if (!gtk_init_check(nullptr, nullptr)) GTEST_SKIP() << "GTK cannot open the display";
  // A GTK warning or critical (a widget used after it was destroyed) ends the test.
  g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING));
  LilvUIs* uis = lilv_plugin_get_uis(lv2host::Plugin());
  LilvNode* gtk3 = lilv_new_uri(lv2host::World(), LV2_UI__Gtk3UI);
  EXPECT_TRUE(lilv_ui_is_a(lilv_uis_get(uis, lilv_uis_begin(uis)), gtk3)) << "not the first editor";
  lilv_node_free(gtk3);
  lilv_uis_free(uis);
  const LV2UI_Descriptor* descriptor = nullptr;
  std::string bundle;
  LoadEditor(&descriptor, LV2_UI__Gtk3UI, &bundle);
  ASSERT_NE(descriptor, nullptr);
  const auto* idle = static_cast<const LV2UI_Idle_Interface*>(descriptor->extension_data(LV2_UI__idleInterface));
  ASSERT_NE(idle, nullptr);
  Display* x = XOpenDisplay(nullptr);
  ASSERT_NE(x, nullptr);
  std::function<bool(Window)> holdsEditor = [&](Window w) {
    XWindowAttributes a;
    if (XGetWindowAttributes(x, w, &a) && a.width == 584 && a.height == 390 && a.map_state == IsViewable) return true;
    Window root, parent, *children = nullptr;
    unsigned int count = 0;
    bool found = false;
    if (XQueryTree(x, w, &root, &parent, &children, &count))
      for (unsigned int i = 0; i < count && !found; ++i) found = holdsEditor(children[i]);
    if (children != nullptr) XFree(children);
    return found;
  };
  auto pump = [] {
    while (gtk_events_pending()) gtk_main_iteration();
  };

  // The host idles the editor, or does not (then the editor's own timer
  // does); it destroys its window before cleanup (Audacity) or after (jalv).
  for (bool hostIdles : {true, false}) {
    SCOPED_TRACE(hostIdles ? "the host idles, then cleans up" : "the host's window goes first");
    EditorHost host;
    const LV2_Feature idleFeature = {LV2_UI__idleInterface, nullptr}, mapFeature = {LV2_URID__map, lv2host::UridMap()};
    const LV2_Feature* features[] = {&idleFeature, &mapFeature, nullptr};
    auto write = [](LV2UI_Controller c, uint32_t port, uint32_t size, uint32_t, const void* buffer) {
      const uint8_t* bytes = static_cast<const uint8_t*>(buffer);
      static_cast<EditorHost*>(c)->writes.emplace_back(port, lv2host::Bytes(bytes, bytes + size));
    };
    LV2UI_Widget widget = nullptr;
    LV2UI_Handle editor =
        descriptor->instantiate(descriptor, lv2host::kPluginUri, bundle.c_str(), write, &host, &widget, features);
    ASSERT_NE(editor, nullptr);
    ASSERT_TRUE(GTK_IS_WIDGET(widget));
    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_container_add(GTK_CONTAINER(window), static_cast<GtkWidget*>(widget));
    gtk_widget_show_all(window);

    // Somewhere below the host's window: a window of the editor's size.
    const Window top = gdk_x11_window_get_xid(gtk_widget_get_window(window));
    bool shown = false;
    for (int i = 0; i < 400 && !(shown && !host.writes.empty()); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
      pump();
      if (hostIdles) {
      EXPECT_EQ(idle->idle(editor), 0);
    }
      XSync(x, False);
      shown = holdsEditor(top);
    }
    EXPECT_TRUE(shown) << "the editor never appeared in the host's window";
    int width = 0, height = 0;
    gtk_widget_get_size_request(static_cast<GtkWidget*>(widget), &width, &height);
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(584, 390));
    // The editor asked the audio instance for its program, through the host.
    ASSERT_FALSE(host.writes.empty());
    EXPECT_EQ(host.writes[0].first, lv2host::kControl);

    if (hostIdles) {
      descriptor->cleanup(editor);
      pump();
      gtk_widget_destroy(window);
    } else {
      gtk_widget_destroy(window);
      pump();
      descriptor->cleanup(editor);
    }
    pump();
  }
  XCloseDisplay(x);
}
#endif

}  // namespace
