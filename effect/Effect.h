// The maker's base class between the format binding and the effect: channel
// labels, the settings file beside the library, the factory bank, and
// re-applying every parameter when processing is switched on. It derives
// from the binding this build chose (IPlugVST for VST 2.4) and uses nothing
// of the format itself.
#pragma once

#include <string>

#include "graphics/EditorWindow.h"
#include "plugin/PluginFormat.h"

class Effect : public IPlugFormat {
 public:
  static constexpr int kMidiControllers = 120;

  Effect(const HostConnection* host, int numParams, const char* channelIOString, int numPresets,
         const char* effectName, const char* productName, const char* makerName, int32_t version,
         int32_t uniqueId, int32_t makerId, EditorWindowFactory makeWindow = &CreateEditorWindow);

  void ActivationChanged(bool active) override;
  // MIDI from the host changes nothing in our effects and is not kept.
  void HandleMidiMessage(const MidiMessage& message) override {}
  virtual void DeclareParams() {}
  // What the status line shows when the user touches a parameter's control.
  virtual void ShowStatusText(int index) {}

  void InitEnumParam(int index, const char* name, int defaultValue, int count, const char* const* texts);
  void LoadFactoryBank();

  const std::string& PluginFolder() const { return mPluginFolder; }
  const std::string& SettingsPath() const { return mSettingsPath; }
  // Parameter index assigned to MIDI controller n, or -1. Read from the
  // settings file; not applied to anything by this effect.
  int MidiControllerTarget(int controller) const {
    return controller >= 0 && controller < kMidiControllers ? mMidiControllerMap[controller] : -1;
  }

  // The answer of the "CC<n>" settings keys for one value text.
  static int ParseControllerSetting(const std::string& text);

 protected:
  // The editor's window object until the effect attaches its finished
  // editor; null when this OS has none.
  IGraphics* mGraphics = nullptr;

 private:
  std::string mPluginFolder;
  std::string mSettingsPath;
  int mMidiControllerMap[kMidiControllers];
};
