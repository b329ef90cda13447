// The one OS-dependent part of the CLAP binding: which window interface
// the editor embeds into, how the host's window reference becomes the
// parent the editor window takes, and whether the editor needs the host's
// timer and its X connection watched (Linux) or runs on its own window
// timer (Windows). Main thread only.
#pragma once

#include "plugin/clap/clap_interface.h"

class IGraphics;

// CLAP_WINDOW_API_X11 or CLAP_WINDOW_API_WIN32.
const char* ClapWindowApi();
// What IGraphics::OpenEditorWindow takes for the host's window; null when
// the reference is not of ClapWindowApi().
void* ClapParentWindow(const clap_window_t* window);
// True where the editor only runs when someone calls PumpEvents.
bool ClapEditorNeedsHostTimer();
// The descriptor to watch for the open editor's events, or -1.
int ClapEditorEventFd(IGraphics* editor);
