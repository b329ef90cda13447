#include "plugin/vst3/Vst3View.h"

#include <cstring>

#include "graphics/IGraphics.h"
#include "plugin/vst3/IPlugVST3.h"

using namespace vst3;

Vst3View::Vst3View(IPlugVST3* plug) : mPlug(plug) { mPlug->addRef(); }

Vst3View::~Vst3View() {
  if (mAttached) removed();
  mPlug->release();
}

tresult Vst3View::queryInterface(const TUID iid, void** obj) {
  if (obj == nullptr) return kInvalidArgument;
  void* found = nullptr;
  if (SameUid(iid, kFUnknownIid) || SameUid(iid, kIPlugViewIid))
    found = static_cast<IPlugView*>(this);
  else if (SameUid(iid, kITimerHandlerIid))
    found = static_cast<ITimerHandler*>(this);
  else if (SameUid(iid, kIEventHandlerIid))
    found = static_cast<IEventHandler*>(this);
  *obj = found;
  if (found == nullptr) return kNoInterface;
  addRef();
  return kResultOk;
}

uint32_t Vst3View::addRef() { return ++mRefCount; }

uint32_t Vst3View::release() {
  const uint32_t left = --mRefCount;
  if (left == 0) delete this;
  return left;
}

tresult Vst3View::isPlatformTypeSupported(FIDString type) {
  return type != nullptr && std::strcmp(type, PlatformType()) == 0 ? kResultTrue : kResultFalse;
}

tresult Vst3View::attached(void* parent, FIDString type) {
  if (parent == nullptr || type == nullptr) return kInvalidArgument;
  if (std::strcmp(type, PlatformType()) != 0 || mAttached) return kResultFalse;
  if (!mPlug->OpenEditorIn(parent, this)) return kResultFalse;
  mAttached = true;
  StartRefresh();
  return kResultOk;
}

tresult Vst3View::removed() {
  if (!mAttached) return kResultFalse;
  StopRefresh();
  mPlug->CloseEditor(this);
  mAttached = false;
  return kResultOk;
}

tresult Vst3View::getSize(ViewRect* size) {
  if (size == nullptr) return kInvalidArgument;
  IGraphics* editor = mPlug->Editor();
  if (editor == nullptr) return kResultFalse;
  *size = ViewRect{0, 0, editor->Width(), editor->Height()};
  return kResultOk;
}

tresult Vst3View::onSize(ViewRect* newSize) {
  if (newSize == nullptr) return kInvalidArgument;
  IGraphics* editor = mPlug->Editor();
  // The panel has one size.
  if (editor == nullptr || newSize->right - newSize->left != editor->Width() ||
      newSize->bottom - newSize->top != editor->Height())
    return kResultFalse;
  return kResultOk;
}

tresult Vst3View::checkSizeConstraint(ViewRect* rect) {
  if (rect == nullptr) return kInvalidArgument;
  IGraphics* editor = mPlug->Editor();
  if (editor == nullptr) return kResultFalse;
  rect->right = rect->left + editor->Width();
  rect->bottom = rect->top + editor->Height();
  return kResultOk;
}

tresult Vst3View::setFrame(IPlugFrame* frame) {
  mFrame = frame;
  return kResultOk;
}

void Vst3View::onTimer() {
  IGraphics* editor = mPlug->Editor();
  if (!mAttached || editor == nullptr) return;
  editor->PumpEvents();
  mPlug->IdleTick();
}

void Vst3View::onFDIsSet(FileDescriptor fd) {
  IGraphics* editor = mPlug->Editor();
  if (mAttached && editor != nullptr) editor->PumpEvents();
}
