// The editor's window object for this OS: a Windows child window, or an X11
// child window on Linux. Plug-ins take the factory as a constructor argument
// so that tests can hand in a scripted window instead.
#pragma once

class IGraphics;
class IPlugBase;

using EditorWindowFactory = IGraphics* (*)(IPlugBase* plug);

IGraphics* CreateEditorWindow(IPlugBase* plug);
