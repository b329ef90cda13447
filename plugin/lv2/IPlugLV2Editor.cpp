// The editor instance's calls: the editor in the host's window, the port
// values and program reports the host passes on, the idle call.
#include <cstring>

#include "graphics/IGraphics.h"
#include "plugin/lv2/IPlugLV2.h"

bool IPlugLV2::OpenEditor(LV2UI_Widget* widget) {
  if (mRole != HostConnection::Role::kEditor || Editor() == nullptr || mParent == nullptr || widget == nullptr)
    return false;
  mLayout = Ports();
  // The host's scale (ui:scaleFactor) comes after the user's zoom.
  if (mHostScale > 0.0) SetHostScale(mHostScale);
  void* window = Editor()->OpenEditorWindow(mParent);
  if (window == nullptr) return false;
  *widget = window;
  mEditorOpen = true;
  EditorOpened();
  // The host sizes its window to the editor's, in window pixels.
  if (mResize != nullptr) mResize->ui_resize(mResize->handle, Editor()->WindowWidth(), Editor()->WindowHeight());
  return true;
}

void IPlugLV2::CloseEditor() {
  if (Editor() == nullptr) return;
  if (mEditorOpen) EditorClosed();
  mEditorOpen = false;
  Editor()->CloseEditorWindow();
}

int IPlugLV2::Idle() {
  if (!mEditorOpen || Editor() == nullptr) return 1;
  if (!mReportAsked && mMap != nullptr) {
    // The audio instance's program (index, name and exact values) is asked
    // for once; the ports alone carry neither the name nor every bit.
    mReportAsked = true;
    uint8_t buffer[64];
    lv2_atom_forge_set_buffer(&mForge, buffer, sizeof buffer);
    LV2_Atom_Forge_Frame frame;
    if (lv2_atom_forge_object(&mForge, &frame, 0, mUris.patchGet) != 0) {
      lv2_atom_forge_pop(&mForge, &frame);
      SendToAudioInstance(reinterpret_cast<const LV2_Atom*>(buffer));
    }
  }
  Editor()->PumpEvents();
  IdleTick();
  return Editor()->IsWindowOpen() ? 0 : 1;
}

void IPlugLV2::PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
  if (buffer == nullptr || mRole != HostConnection::Role::kEditor) return;
  const int64_t at = port;
  if (format == 0) {
    if (size != sizeof(float)) return;
    float number;
    std::memcpy(&number, buffer, sizeof number);
    if (at < mLayout.params) {
      // A control the user holds keeps the user's value.
      if (mGrabbed[port] != 0) return;
      const ParamRecord* param = ParamAt(static_cast<int>(port));
      const double by = QuantityBy(*param);
      if (number == static_cast<float>(PortNumber(*param, param->value, by))) return;
      const double v = ValueFromPort(*param, number, by);
      if (v != v || static_cast<float>(v) == static_cast<float>(param->value)) return;
      // The host's own value: not written back (nor a linked partner's);
      // the numbers that depend on it are the plug-in's to tell.
      ++mSilent;
      ChangeParameter(static_cast<int>(port), v, ValueSource::kHostText);
      --mSilent;
      for (int i = 0; i < NumParams(); ++i)
        if (ParamAt(i)->quantity != nullptr && ParamAt(i)->quantity->dependsOn == static_cast<int>(port))
          WritePort(i, false);
    } else if (at >= mLayout.firstMeter && at < mLayout.firstMeter + mLayout.meters) {
      ShowMeter(static_cast<int>(at - mLayout.firstMeter), number);
    }
    return;
  }
  if (mMap == nullptr || format != mUris.atomEventTransfer || at != mLayout.notify) return;
  const LV2_Atom* atom = static_cast<const LV2_Atom*>(buffer);
  if (size < sizeof(LV2_Atom) || atom->size > size - sizeof(LV2_Atom)) return;
  if ((atom->type != mUris.atomObject && atom->type != mUris.atomBlank) || atom->size < sizeof(LV2_Atom_Object_Body))
    return;
  const LV2_Atom_Object* object = reinterpret_cast<const LV2_Atom_Object*>(atom);
  if (object->body.otype != mUris.programMessage) return;
  ++mSilent;
  if (ReadProgramMessage(object)) RefreshEditorControls();
  --mSilent;
}
