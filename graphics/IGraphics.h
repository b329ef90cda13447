// The editor's graphics object: the ordered control list, one off-screen
// drawing surface, mouse and key routing, dirty tracking and painting, the
// drawing services controls use, and the process-wide image and font caches.
// Everything that touches an OS window is a virtual operation of a window
// class (IGraphicsWin on Windows, IGraphicsX11 on Linux, IGraphicsHeadless in
// tests).
//
// Threads: window events, the repaint timer, CollectDirtyArea and PaintArea
// run on the thread that opened the window (the window thread); controls are
// only touched there. PushParameterValue may be called from any thread: off
// the window thread, while a window is open, the value is parked in a
// per-parameter mailbox (atomics, no lock) and handed to the controls by the
// window thread at its next timer tick or event. With no window open, or on
// the window thread itself, values reach the controls at once. The caches
// each have their own lock, held only for a lookup or an insertion.
//
// Scale: controls live in logical pixels (the 584 x 390 panel); the window
// and the drawing surface have Scale() times as many pixels in each
// direction. The core maps every drawing service, the paint area and the
// window's mouse positions (ToLogical) between the two. The scale in effect
// is the user's zoom, else the host's, else the system's, else 1, limited to
// 1..2; images come from the 2x set above 1, resampled once per size when
// the scale is set; text is rendered at the scaled size. A scale asked for
// off the window thread while a window is open waits in the mailbox like a
// value.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "graphics/GraphicsRecords.h"
#include "graphics/PopupMenu.h"
#include "platform/CriticalSection.h"

class IControl;
class IPlugBase;
class ParamRecord;

class IGraphics {
 public:
  static constexpr int kEditorWidth = 584;
  static constexpr int kEditorHeight = 390;
  static constexpr int kFramesPerSecond = 25;

  explicit IGraphics(IPlugBase* plug, int width = kEditorWidth, int height = kEditorHeight,
                     int fps = kFramesPerSecond);
  IGraphics(const IGraphics&) = delete;
  IGraphics& operator=(const IGraphics&) = delete;

  // The table of virtual operations, in its fixed order.
  virtual bool PresentArea(const PixelRect& area) = 0;
  virtual bool MeasureText(TextStyle& style, const char* text, PixelRect& rect);
  virtual void CancelTextEntry() = 0;
  virtual void SetEditorSize(int width, int height);
  virtual bool IsWindowOpen();
  virtual const char* BackendName();
  virtual int ShowMessage(const char* text, const char* caption, int type) = 0;
  // Shows the menu at the rectangle's left-bottom corner; answers the
  // (sub)menu holding the chosen item, with its chosen index set, or null.
  virtual PopupMenu* RunPopupMenu(PopupMenu& menu, const PixelRect& rect) = 0;
  // Opens an in-place text box; a commit reaches the control as
  // OnTextEntered (no ParamRecord) or SetValueFromUser (with one).
  virtual void BeginTextEntry(IControl* control, const TextStyle& style, const PixelRect& rect,
                              const char* text, ParamRecord* param) = 0;
  virtual void HostFolder(std::string& folder) = 0;
  virtual void PluginFolder(std::string& folder) = 0;
  // Services no window class offers: they answer nothing.
  virtual void DesktopFolder(std::string& folder) { folder.clear(); }
  virtual void AppDataFolder(std::string& folder, bool systemWide) { folder.clear(); }
  virtual void UserAppDataFolder(std::string& folder) { AppDataFolder(folder, false); }
  virtual void AskForFile(std::string& fileName, int action, std::string& folder, const char* extensions) {
    fileName.clear();
  }
  virtual bool AskForColor(ArgbColor& color, const char* prompt) { return false; }
  virtual bool LaunchUrl(const char* address, const char* caption, const char* confirmation,
                         const char* error) = 0;
  virtual bool ReservedQuery() { return false; }
  // Answers the new window, or null (the parent stays the caller's).
  virtual void* OpenEditorWindow(void* parent) = 0;
  virtual void ReservedHookA() {}
  virtual void ReservedHookB() {}
  virtual void CloseEditorWindow() = 0;
  virtual void* EditorWindowHandle() = 0;
  // No window class reads the clipboard: empty, false.
  virtual bool ClipboardText(std::string& text) {
    text.clear();
    return false;
  }
  virtual ~IGraphics();
  virtual void HideCursor() {}
  virtual void RestoreCursor() {}
  virtual void ReservedHookC() {}
  // A decoded image the caller (the image cache) owns, or null.
  virtual LICE_IBitmap* LoadImageResource(int id, const char* name) = 0;
  // Handles the window's waiting events; called from the host's idle calls,
  // timer or run loop.
  virtual void PumpEvents() {}
  // What the OS says the scale of the host's window (or, with none, of the
  // screen) is; 0 when it says nothing. Window thread or window closed.
  virtual double SystemScale(void* parent) { return 0.0; }
  // The scale changed (surface remade, all controls dirty): a window class
  // resizes its open window to WindowWidth() x WindowHeight().
  virtual void WindowScaleChanged(int oldWidth, int oldHeight) {}

  // Surfaces: a LICE_SysBitmap of the editor's size and an empty scratch
  // bitmap, remade on every call.
  void PrepareSurfaces();

  // Controls. AddControl takes ownership (null is ignored) and answers the
  // control's position.
  int AddControl(IControl* control);
  void AddBackground(int id, const char* name);
  // A strip whose image comes from the process-wide cache. A missing image
  // gives a strip with no bitmap (nothing is cached, a later call retries).
  ImageStrip LoadImageStrip(int id, const char* name, int frames);

  // Drawing services, clipped to the current paint area.
  bool BlitImage(const ImageStrip& strip, const PixelRect& dest, int sourceX, int sourceY, const BlendSpec* blend);
  bool BlitFrame(const ImageStrip& strip, const PixelRect& dest, int frame, const BlendSpec* blend);
  bool RenderText(TextStyle& style, const char* text, PixelRect& rect, bool measuring);
  LICE_IFont* FontFor(TextStyle& style);

  // Driven by the window (window thread).
  bool CollectDirtyArea(PixelRect& area);
  bool PaintArea(const PixelRect& area);
  void PressAt(int x, int y, const MouseModifiers& mods);
  void ReleaseAt(int x, int y, const MouseModifiers& mods);
  void DragTo(int x, int y, const MouseModifiers& mods);
  bool HoverAt(int x, int y, const MouseModifiers& mods);
  void HoverEnded();
  bool DoubleClickAt(int x, int y, const MouseModifiers& mods);
  void WheelAt(int x, int y, const MouseModifiers& mods, int notches);
  bool KeyAt(int x, int y, int key);
  void DropMouseCapture();

  // Driven by the plug-in, from any thread (see the header comment).
  void PushParameterValue(int index, double value, bool normalised);

  // Scale. The sources, in the order they take effect.
  enum ScaleSource : int { kScaleUser = 0, kScaleHost = 1, kScaleSystem = 2, kNumScaleSources = 3 };
  static constexpr double kMinScale = 1.0;
  static constexpr double kMaxScale = 2.0;
  // Resource ids of the 2x images: the 1x id plus this.
  static constexpr int kHiResImageIdOffset = 200;
  // What a source says (0 or less: nothing); any thread (see the header).
  void SetScaleFrom(ScaleSource source, double scale);
  double ScaleFrom(ScaleSource source) const;
  // Reads the user's saved zoom and asks the window class for the system's
  // scale (of `parent`, or of the screen when null); then as SetScaleFrom.
  void RefreshScale(void* parent);
  // Offers the user a zoom of their own: a right press on the bare panel
  // (the background) opens the zoom menu, and the choice is kept in the INI
  // file `file` in the folder `folder` of the user's configuration folder
  // (platform/UserSettings.h), read again by RefreshScale.
  void OfferUserZoom(const char* folder, const char* file);
  bool OffersUserZoom() const { return !mUserSettingsFile.empty(); }
  // The user's zoom, kept and in effect at once; 0 gives the choice back to
  // the host and the system. Window thread or window closed.
  void ChooseUserScale(double scale);
  // The zoom menu at a point: "Automatic" and the scales 100 % to 200 %,
  // the user's current choice checked. Window thread.
  void RunZoomMenu(int x, int y);
  // The scale in effect and the window's size: window thread, or any
  // thread while the window is closed.
  double Scale() const { return mScale; }
  int WindowWidth() const { return ToWindowPixel(mWidth); }
  int WindowHeight() const { return ToWindowPixel(mHeight); }
  // Logical coordinate -> the first window pixel of it; window pixel -> the
  // logical coordinate it lies in. A logical rectangle covers exactly the
  // window pixels ToWindowRect gives.
  int ToWindowPixel(int logical) const;
  int ToLogical(int windowPixel) const;
  PixelRect ToWindowRect(const PixelRect& logical) const;
  // The smallest logical rectangle whose window pixels cover `window`.
  PixelRect ToLogicalRect(const PixelRect& window) const;
  // A style's text size at the scale in effect.
  int ScaledTextSize(int size) const;

  IPlugBase* Plug() const { return mPlug; }
  int Width() const { return mWidth; }
  int Height() const { return mHeight; }
  int FPS() const { return mFPS; }
  int NumControls() const { return static_cast<int>(mControls.size()); }
  IControl* GetControl(int position) const;
  LICE_SysBitmap* Surface() const { return mSurface.get(); }
  LICE_MemBitmap* ScratchBitmap() const { return mScratch.get(); }
  const PixelRect& CurrentPaintArea() const { return mPaintArea; }
  int CapturedIndex() const { return mCaptured; }
  int HoveredIndex() const { return mHovered; }
  int LastX() const { return mLastX; }
  int LastY() const { return mLastY; }
  int IdleTicks() const { return mIdleTicks; }
  bool HandlesHover() const { return mHandleHover; }
  // Whether a window is open and the caller is on its thread (controls may
  // be touched), or open on another thread. Atomics only: any thread may ask.
  bool OnOpenWindowThread() const;
  bool WindowOpenElsewhere() const;
  void SetHandlesHover(bool on) { mHandleHover = on; }
  // Every control repaints at the next tick, in list order; no values are sent.
  void MarkAllDirty();
  // Position of the topmost control that takes events at the point, or -1.
  int ControlUnder(int x, int y) const;

  // Entries in the process-wide caches.
  static int CachedImageCount();
  static int CachedFontCount();

 protected:
  // Window classes call these when their window opens and closes, on the
  // window thread, so values pushed from elsewhere wait in the mailbox.
  // Also marks every control for painting: the controls are the window
  // thread's from here on.
  void AdoptWindowThread();
  void ReleaseWindowThread();
  // Hands values parked by other threads to the controls (window thread).
  void DeliverPendingValues();

  // What a committed text entry does: an enumeration looks the text up among
  // its value texts, other parameters read a number; without a parameter the
  // control gets the text.
  static void ApplyEnteredText(IControl* control, ParamRecord* param, const char* text);
  // Whether a typed character may enter a box editing `param`.
  static bool EntryAcceptsChar(const ParamRecord* param, int character);

 private:
  // One image of this editor at the scale in effect: every frame of the
  // strip resampled to a window size a frame can take here.
  struct ScaledImage {
    LICE_IBitmap* base = nullptr;  // the 1x image
    int frames = 1;
    int frameWidth = 0;   // window pixels
    int frameHeight = 0;
    std::unique_ptr<LICE_MemBitmap> pixels;  // frames stacked
  };
  struct LoadedStrip {
    int id;
    std::string name;
    LICE_IBitmap* base;
    int frames;
  };

  bool DrawOrMeasureText(LICE_IFont* font, const TextStyle& style, const char* text, PixelRect& rect,
                         bool measuring);
  bool BlitScaledImage(const ImageStrip& strip, const PixelRect& dest, int sourceX, int sourceY,
                       const BlendSpec* blend);
  // The 2x image of a 1x one (from the cache or the resources), or null.
  LICE_IBitmap* HiResImage(const ImageStrip& strip);
  const ScaledImage* ScaledFor(const ImageStrip& strip, int frameWidth, int frameHeight);
  void PrepareScaledImages();
  void ApplyScale();

  struct PendingValue {
    std::atomic<double> value{0.0};
    std::atomic<bool> pending{false};
  };

  bool DeliversDirectly() const;
  void DeliverValue(int index, double normalised);
  void DeleteControls();

  IPlugBase* mPlug;
  std::vector<IControl*> mControls;
  std::unique_ptr<LICE_SysBitmap> mSurface;
  std::unique_ptr<LICE_MemBitmap> mScratch;
  int32_t mWidth;
  int32_t mHeight;
  int32_t mFPS;
  int32_t mIdleTicks = 0;
  int32_t mCaptured = -1;
  int32_t mHovered = -1;
  int32_t mLastX = 0;
  int32_t mLastY = 0;
  bool mHandleHover = false;
  PixelRect mPaintArea{};
  PixelRect mPaintAreaPx{};  // the paint area in window pixels

  double mScale = 1.0;
  std::atomic<double> mScaleFrom[kNumScaleSources] = {{0.0}, {0.0}, {0.0}};
  std::atomic<bool> mScalePending{false};
  std::string mUserSettingsFolder;
  std::string mUserSettingsFile;
  std::vector<LoadedStrip> mLoadedStrips;
  std::vector<ScaledImage> mScaledImages;

  std::unique_ptr<PendingValue[]> mPending;
  int mNumPending = 0;
  std::atomic<bool> mHandOff{false};
  std::atomic<std::thread::id> mWindowThread{};
  CriticalSection mDeliveryLock;
};
