#include <windows.h>

#include "graphics/EditorWindow.h"
#include "graphics/IGraphicsWin.h"
#include "platform/Module.h"

IGraphics* CreateEditorWindow(IPlugBase* plug) {
  IGraphicsWin* window = new IGraphicsWin(plug);
  // Linked into a program rather than loaded as a library, the program's
  // module holds the window class and the resources.
  void* module = PluginModuleHandle();
  window->SetModuleInstance(module != nullptr ? module : GetModuleHandleA(nullptr));
  return window;
}
