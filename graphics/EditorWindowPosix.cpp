#include "graphics/EditorWindow.h"
#include "graphics/IGraphicsX11.h"

IGraphics* CreateEditorWindow(IPlugBase* plug) { return new IGraphicsX11(plug); }
