#include <cstring>

#include "plugin/clap/ClapWindow.h"

const char* ClapWindowApi() { return CLAP_WINDOW_API_WIN32; }

void* ClapParentWindow(const clap_window_t* window) {
  if (window == nullptr || window->api == nullptr || std::strcmp(window->api, CLAP_WINDOW_API_WIN32) != 0)
    return nullptr;
  return window->win32;
}

// The Windows editor window repaints from a timer of its own.
bool ClapEditorNeedsHostTimer() { return false; }

int ClapEditorEventFd(IGraphics*) { return -1; }
