#include <cstdint>
#include <cstring>

#include "graphics/IGraphicsX11.h"
#include "plugin/clap/ClapWindow.h"

const char* ClapWindowApi() { return CLAP_WINDOW_API_X11; }

void* ClapParentWindow(const clap_window_t* window) {
  if (window == nullptr || window->api == nullptr || std::strcmp(window->api, CLAP_WINDOW_API_X11) != 0) return nullptr;
  return reinterpret_cast<void*>(static_cast<uintptr_t>(window->x11));
}

bool ClapEditorNeedsHostTimer() { return true; }

int ClapEditorEventFd(IGraphics* editor) {
  const IGraphicsX11* window = dynamic_cast<IGraphicsX11*>(editor);
  return window != nullptr ? window->EventFd() : -1;
}
