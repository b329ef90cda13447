// The format this build binds the plug-in to. One binding class stands
// between the framework core (IPlugBase) and the maker's Effect; the build
// defines exactly one VELTRANE_FORMAT_* and compiles the effect once per
// format. A new format adds its folder under plugin/ and a line here.
#pragma once

#include "plugin/PluginEntry.h"

#if defined(VELTRANE_FORMAT_VST2)
#include "plugin/vst2/IPlugVST.h"
using IPlugFormat = IPlugVST;
#elif defined(VELTRANE_FORMAT_VST3)
#include "plugin/vst3/IPlugVST3.h"
using IPlugFormat = IPlugVST3;
#elif defined(VELTRANE_FORMAT_CLAP)
#include "plugin/clap/IPlugCLAP.h"
using IPlugFormat = IPlugCLAP;
#elif defined(VELTRANE_FORMAT_LV2)
#include "plugin/lv2/IPlugLV2.h"
using IPlugFormat = IPlugLV2;
#else
#error "No plug-in format chosen: the build defines one VELTRANE_FORMAT_*"
#endif
