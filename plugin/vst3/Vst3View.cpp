#include "plugin/vst3/Vst3View.h"

#include <cmath>
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
  else if (SameUid(iid, kIPlugViewContentScaleSupportIid))
    found = static_cast<IPlugViewContentScaleSupport*>(this);
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
  // The host's window may have another scale than the size request saw:
  // the host sizes its frame to the window made.
  int width = 0, height = 0;
  if (mAnsweredWidth > 0 && mPlug->EditorPixelSize(&width, &height) &&
      (width != mAnsweredWidth || height != mAnsweredHeight))
    RequestResize(width, height);
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
  int width = 0, height = 0;
  if (!mPlug->EditorPixelSize(&width, &height)) return kResultFalse;
  *size = ViewRect{0, 0, width, height};
  mAnsweredWidth = width;
  mAnsweredHeight = height;
  return kResultOk;
}

tresult Vst3View::onSize(ViewRect* newSize) {
  if (newSize == nullptr) return kInvalidArgument;
  int width = 0, height = 0;
  // The panel has one size at a scale.
  if (!mPlug->EditorPixelSize(&width, &height) || newSize->right - newSize->left != width ||
      newSize->bottom - newSize->top != height)
    return kResultFalse;
  return kResultOk;
}

tresult Vst3View::checkSizeConstraint(ViewRect* rect) {
  if (rect == nullptr) return kInvalidArgument;
  int width = 0, height = 0;
  if (!mPlug->EditorPixelSize(&width, &height)) return kResultFalse;
  rect->right = rect->left + width;
  rect->bottom = rect->top + height;
  return kResultOk;
}

// The host's scale is one of the editor's sources (the user's zoom comes
// first); scales outside what the panel draws are limited, and said so.
tresult Vst3View::setContentScaleFactor(ScaleFactor factor) {
  if (!std::isfinite(factor) || !(factor > 0.0f)) return kInvalidArgument;
  if (mPlug->Editor() == nullptr) return kResultFalse;
  mPlug->SetHostScale(factor);
  return factor >= IGraphics::kMinScale && factor <= IGraphics::kMaxScale ? kResultTrue : kResultFalse;
}

void Vst3View::RequestResize(int width, int height) {
  if (!mAttached || mFrame == nullptr || width <= 0 || height <= 0) return;
  mAnsweredWidth = width;
  mAnsweredHeight = height;
  ViewRect rect{0, 0, width, height};
  mFrame->resizeView(this, &rect);
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
