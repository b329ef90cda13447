// The editor for hosts whose windows are GTK 3 (Audacity, jalv.gtk3): a
// GTK widget that holds the bundle's X11 editor. Such hosts otherwise need
// a wrapper module of their own to embed an X11 editor, and some cannot
// find one (Audacity 3.2 looks for it in an empty folder) and fall back to
// bare sliders. This binary holds no editor code: it loads the bundle's
// plug-in binary and gives its X11 editor a window of a GtkPlug, which the
// widget the host gets (a GtkSocket) embeds. Only this binary links GTK,
// so hosts of other toolkits never load it.
#include <dlfcn.h>
#include <lv2/ui/ui.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "plugin/lv2/IPlugLV2.h"

// Last: GTK's X11 header brings Xlib's macros (Bool, None).
#include <gtk/gtk.h>
#include <gtk/gtkx.h>

namespace {

constexpr char kPluginBinary[] = "Veltrane_lv2.so";

struct Container {
  void* library = nullptr;
  const LV2UI_Descriptor* editor = nullptr;
  LV2UI_Handle handle = nullptr;
  GtkWidget* plug = nullptr;    // ours, with a reference
  GtkWidget* socket = nullptr;  // the host's widget, with a reference of ours
  guint timer = 0;
  LV2UI_Resize resize{};
};

int Idle(LV2UI_Handle handle);

// The editor's size, for both widgets: the host lays out the socket.
int Resize(LV2UI_Feature_Handle handle, int width, int height) {
  Container* c = static_cast<Container*>(handle);
  gtk_widget_set_size_request(c->plug, width, height);
  gtk_widget_set_size_request(c->socket, width, height);
  return 0;
}

// The plug goes into the socket once the socket has a window of its own.
void SocketRealized(GtkWidget* socket, gpointer data) {
  Container* c = static_cast<Container*>(data);
  gtk_socket_add_id(GTK_SOCKET(socket), gtk_plug_get_id(GTK_PLUG(c->plug)));
  gtk_widget_show(c->plug);
}

// Hosts may destroy their window, and the socket in it, before cleanup
// (Audacity does): the socket then lets go of the plug, and GTK would
// destroy the socket a second time inside that, and the plug with a delete
// event. Both stay until Release.
gboolean KeepSocket(GtkSocket*, gpointer) { return TRUE; }
gboolean KeepPlug(GtkWidget*, GdkEvent*, gpointer) { return TRUE; }

// Not every GTK host calls the idle interface (jalv does not): the editor
// paints and takes its events from the host's main loop as well.
gboolean IdleTimer(gpointer data) {
  Idle(data);
  return G_SOURCE_CONTINUE;
}

void Release(Container* c) {
  if (c->timer != 0) g_source_remove(c->timer);
  if (c->handle != nullptr) c->editor->cleanup(c->handle);
  if (c->plug != nullptr) {
    gtk_widget_destroy(c->plug);
    g_signal_handlers_disconnect_by_data(c->plug, c);
    g_object_unref(c->plug);
  }
  // Nothing of this binary stays connected: the host may unload it.
  if (c->socket != nullptr) {
    g_signal_handlers_disconnect_by_data(c->socket, c);
    if (gtk_widget_get_parent(c->socket) == nullptr) gtk_widget_destroy(c->socket);
    g_object_unref(c->socket);
  }
  if (c->library != nullptr) dlclose(c->library);
  delete c;
}

LV2UI_Handle Instantiate(const LV2UI_Descriptor*, const char* pluginUri, const char* bundlePath,
                         LV2UI_Write_Function write, LV2UI_Controller controller, LV2UI_Widget* widget,
                         const LV2_Feature* const* features) {
  if (bundlePath == nullptr || widget == nullptr || !gdk_display_get_default() ||
      !GDK_IS_X11_DISPLAY(gdk_display_get_default()))
    return nullptr;
  Container* c = new Container();
  std::string path = bundlePath;
  if (!path.empty() && path.back() != '/') path += '/';
  c->library = dlopen((path + kPluginBinary).c_str(), RTLD_NOW | RTLD_LOCAL);
  auto descriptors = c->library != nullptr
                         ? reinterpret_cast<LV2UI_DescriptorFunction>(dlsym(c->library, "lv2ui_descriptor"))
                         : nullptr;
  for (uint32_t i = 0; descriptors != nullptr && descriptors(i) != nullptr; ++i)
    if (std::strcmp(descriptors(i)->URI, kLv2EditorUri) == 0) c->editor = descriptors(i);
  if (c->editor == nullptr) {
    Release(c);
    return nullptr;
  }
  c->plug = gtk_plug_new(0);
  g_object_ref(c->plug);
  g_signal_connect(c->plug, "delete-event", G_CALLBACK(KeepPlug), c);
  gtk_widget_realize(c->plug);
  c->socket = gtk_socket_new();
  g_object_ref_sink(c->socket);
  g_signal_connect(c->socket, "realize", G_CALLBACK(SocketRealized), c);
  g_signal_connect(c->socket, "plug-removed", G_CALLBACK(KeepSocket), c);

  // The host's features, with the plug's window as the editor's parent and
  // its size requests going to the widgets.
  c->resize = {c, Resize};
  const LV2_Feature parent = {LV2_UI__parent, reinterpret_cast<void*>(
                                                  static_cast<uintptr_t>(gtk_plug_get_id(GTK_PLUG(c->plug))))};
  const LV2_Feature resize = {LV2_UI__resize, &c->resize};
  std::vector<const LV2_Feature*> inner = {&parent, &resize};
  for (const LV2_Feature* const* f = features; f != nullptr && *f != nullptr; ++f)
    if (std::strcmp((*f)->URI, LV2_UI__parent) != 0 && std::strcmp((*f)->URI, LV2_UI__resize) != 0)
      inner.push_back(*f);
  inner.push_back(nullptr);
  LV2UI_Widget editorWindow = nullptr;
  c->handle = c->editor->instantiate(c->editor, pluginUri, bundlePath, write, controller, &editorWindow,
                                     inner.data());
  if (c->handle == nullptr) {
    Release(c);
    return nullptr;
  }
  c->timer = g_timeout_add(25, IdleTimer, c);
  *widget = c->socket;
  return c;
}

void Cleanup(LV2UI_Handle handle) { Release(static_cast<Container*>(handle)); }

void PortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  Container* c = static_cast<Container*>(handle);
  if (c->editor->port_event != nullptr) c->editor->port_event(c->handle, port, size, format, buffer);
}

int Idle(LV2UI_Handle handle) {
  Container* c = static_cast<Container*>(handle);
  const auto* idle =
      static_cast<const LV2UI_Idle_Interface*>(c->editor->extension_data(LV2_UI__idleInterface));
  return idle != nullptr ? idle->idle(c->handle) : 0;
}

const LV2UI_Idle_Interface kIdleInterface = {Idle};

const void* ExtensionData(const char* uri) {
  return uri != nullptr && std::strcmp(uri, LV2_UI__idleInterface) == 0 ? &kIdleInterface : nullptr;
}

const LV2UI_Descriptor kDescriptor = {kLv2ContainerUri, Instantiate, Cleanup, PortEvent, ExtensionData};

}  // namespace

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : nullptr;
}
