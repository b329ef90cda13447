#include "graphics/IGraphics.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "graphics/IControl.h"
#include "platform/CriticalSection.h"
#include "platform/ProfileSettings.h"
#include "platform/UserSettings.h"
#include "render/Resample.h"
#include "plugin/IPlugBase.h"
#include "plugin/ParamRecord.h"

namespace {

// The process-wide caches: shared by every editor in the process, searched
// linearly, emptied when the library unloads.
class ImageCache {
 public:
  ~ImageCache() {
    for (Entry& e : mEntries) delete e.bitmap;
    mEntries.clear();
  }
  LICE_IBitmap* Find(int id) {
    CriticalSectionGuard guard(mLock);
    for (const Entry& e : mEntries)
      if (e.id == id) return e.bitmap;
    return nullptr;
  }
  // Keeps the first image stored under an id; a later duplicate is deleted.
  LICE_IBitmap* Insert(int id, LICE_IBitmap* bitmap) {
    CriticalSectionGuard guard(mLock);
    for (const Entry& e : mEntries) {
      if (e.id == id) {
        if (e.bitmap != bitmap) delete bitmap;
        return e.bitmap;
      }
    }
    mEntries.push_back(Entry{id, bitmap});
    return bitmap;
  }
  int Count() {
    CriticalSectionGuard guard(mLock);
    return static_cast<int>(mEntries.size());
  }

 private:
  struct Entry {
    int id;
    LICE_IBitmap* bitmap;
  };
  CriticalSection mLock;
  std::vector<Entry> mEntries;
};

class FontCache {
 public:
  struct Key {
    int32_t size;
    int32_t orientation;
    int32_t weight;
    std::string face;
    bool operator==(const Key& o) const {
      return size == o.size && orientation == o.orientation && weight == o.weight && face == o.face;
    }
  };

  ~FontCache() {
    for (Entry& e : mEntries) delete e.font;
    mEntries.clear();
  }
  LICE_IFont* Find(const Key& key) {
    CriticalSectionGuard guard(mLock);
    for (const Entry& e : mEntries)
      if (e.key == key) return e.font;
    return nullptr;
  }
  LICE_IFont* Insert(const Key& key, LICE_IFont* font) {
    CriticalSectionGuard guard(mLock);
    for (const Entry& e : mEntries) {
      if (e.key == key) {
        delete font;  // another editor made the same font meanwhile
        return e.font;
      }
    }
    mEntries.push_back(Entry{key, font});
    return font;
  }
  int Count() {
    CriticalSectionGuard guard(mLock);
    return static_cast<int>(mEntries.size());
  }

 private:
  struct Entry {
    Key key;
    LICE_IFont* font;
  };
  CriticalSection mLock;
  std::vector<Entry> mEntries;
};

ImageCache& Images() {
  static ImageCache cache;
  return cache;
}

FontCache& Fonts() {
  static FontCache cache;
  return cache;
}

FontCache::Key KeyOf(const TextStyle& style) {
  size_t length = 0;
  while (length < sizeof style.face && style.face[length] != '\0') ++length;
  return FontCache::Key{style.size, style.orientation, style.weight, std::string(style.face, length)};
}

// GDI's quality numbers for the style's quality field.
unsigned FontQualityFor(int32_t quality) {
  switch (quality) {
    case kQualityDefault: return 0;     // DEFAULT_QUALITY
    case kQualityClearType: return 5;   // CLEARTYPE_QUALITY
    case kQualityAntialias: return 4;   // ANTIALIASED_QUALITY
    default: return 3;                  // NONANTIALIASED_QUALITY
  }
}

}  // namespace

int IGraphics::CachedImageCount() { return Images().Count(); }
int IGraphics::CachedFontCount() { return Fonts().Count(); }

IGraphics::IGraphics(IPlugBase* plug, int width, int height, int fps)
    : mPlug(plug), mWidth(width), mHeight(height), mFPS(fps) {
  mNumPending = plug != nullptr ? plug->NumParams() : 0;
  if (mNumPending > 0) mPending.reset(new PendingValue[static_cast<size_t>(mNumPending)]);
}

IGraphics::~IGraphics() {
  DeleteControls();
  mSurface.reset();
  mScratch.reset();
}

void IGraphics::DeleteControls() {
  for (size_t i = mControls.size(); i-- > 0;) delete mControls[i];
  mControls.clear();
}

bool IGraphics::MeasureText(TextStyle& style, const char* text, PixelRect& rect) {
  return RenderText(style, text, rect, true);
}

void IGraphics::SetEditorSize(int width, int height) {
  mWidth = width;
  mHeight = height;
  DropMouseCapture();
  // The hovered control goes with the others.
  mHovered = -1;
  DeleteControls();
  mSurface.reset();
  mScratch.reset();
  PrepareSurfaces();
  if (mPlug != nullptr) mPlug->ResizeEditor(WindowWidth(), WindowHeight());
}

bool IGraphics::IsWindowOpen() { return EditorWindowHandle() != nullptr; }

const char* IGraphics::BackendName() { return ""; }

void IGraphics::PrepareSurfaces() {
  mSurface.reset(new LICE_SysBitmap(WindowWidth(), WindowHeight()));
  mScratch.reset(new LICE_MemBitmap());
}

IControl* IGraphics::GetControl(int position) const {
  return position >= 0 && position < NumControls() ? mControls[static_cast<size_t>(position)] : nullptr;
}

int IGraphics::AddControl(IControl* control) {
  if (control == nullptr) return -1;
  mControls.push_back(control);
  return NumControls() - 1;
}

ImageStrip IGraphics::LoadImageStrip(int id, const char* name, int frames) {
  LICE_IBitmap* bitmap = Images().Find(id);
  if (bitmap == nullptr) {
    bitmap = LoadImageResource(id, name);
    if (bitmap != nullptr) bitmap = Images().Insert(id, bitmap);
  }
  ImageStrip strip;
  strip.bitmap = bitmap;
  strip.width = bitmap != nullptr ? bitmap->PixelWidth() : 0;
  strip.height = bitmap != nullptr ? bitmap->PixelHeight() : 0;
  strip.frames = frames > 0 ? frames : 1;
  strip.sideBySide = false;
  if (bitmap != nullptr) {
    bool known = false;
    for (const LoadedStrip& loaded : mLoadedStrips) known = known || (loaded.base == bitmap && loaded.frames == strip.frames);
    if (!known) mLoadedStrips.push_back(LoadedStrip{id, name != nullptr ? name : "", bitmap, strip.frames});
  }
  return strip;
}

void IGraphics::AddBackground(int id, const char* name) {
  const ImageStrip strip = LoadImageStrip(id, name, 1);
  IControl* background = new IBitmapControl(mPlug, 0, 0, -1, strip, BlendOpaque);
  mControls.insert(mControls.begin(), background);
  // Indices shift up by one; keep the mouse state pointing at the same controls.
  if (mCaptured >= 0) ++mCaptured;
  if (mHovered >= 0) ++mHovered;
}

// Drawing services

bool IGraphics::BlitImage(const ImageStrip& strip, const PixelRect& dest, int sourceX, int sourceY,
                          const BlendSpec* blend) {
  if (mScale != 1.0) return BlitScaledImage(strip, dest, sourceX, sourceY, blend);
  const PixelRect r = RectIntersection(dest, mPaintArea);
  const SourceRect source{sourceX + r.left - dest.left, sourceY + r.top - dest.top,
                          sourceX + r.right - dest.left, sourceY + r.bottom - dest.top};
  const int word = blend != nullptr ? BlitWordFor(blend->method) : (BlendCopy | BlendUseSourceAlpha);
  const float weight = blend != nullptr ? blend->weight : 1.0f;
  if (!RectIsEmpty(r)) BlitBitmap(mSurface.get(), strip.bitmap, r.left, r.top, &source, weight, word);
  return true;
}

bool IGraphics::BlitFrame(const ImageStrip& strip, const PixelRect& dest, int frame, const BlendSpec* blend) {
  int sx = 0, sy = 0;
  if (strip.frames >= 2 && frame >= 2) {
    const int extent = strip.sideBySide ? strip.width : strip.height;
    const int offset = static_cast<int>(static_cast<double>(extent) * (frame - 1) / strip.frames + 0.5);
    if (strip.sideBySide)
      sx = offset;
    else
      sy = offset;
  }
  return BlitImage(strip, dest, sx, sy, blend);
}

LICE_IFont* IGraphics::FontFor(TextStyle& style) {
  const FontCache::Key key = KeyOf(style);
  LICE_IFont* font = Fonts().Find(key);
  if (font == nullptr) {
    const int angle = style.orientation * 10;  // tenths of a degree
    LICE_FontHandle handle =
        LICE_CreateFont(style.size, 0, angle, angle, style.weight == kTextBold ? 700 : 400, style.weight == kTextItalic,
                        false, false, 1 /* DEFAULT_CHARSET */, 0, 0, FontQualityFor(style.quality), 0,
                        key.face.c_str());
    if (handle == nullptr) return nullptr;
    LICE_CachedFont* cached = new (std::nothrow) LICE_CachedFont();
    if (cached == nullptr) {
      LICE_DeleteFont(handle);
      return nullptr;
    }
    cached->AttachGdiFont(handle, FontOwnsGdiFont | FontPreferGdi);
    font = Fonts().Insert(key, cached);
  }
  style.font = font;
  return font;
}

namespace {

// The part of the surface being repainted, as a bitmap of its own: text is
// drawn unclipped to its rectangle, and must still not reach pixels outside
// the area, which nobody repaints underneath.
class AreaView : public LICE_IBitmap {
 public:
  AreaView(LICE_IBitmap* surface, const PixelRect& area)
      : mBits(surface->PixelBuffer() + static_cast<ptrdiff_t>(area.top) * surface->RowSpanPixels() + area.left),
        mWidth(area.right - area.left),
        mHeight(area.bottom - area.top),
        mSpan(surface->RowSpanPixels()) {}
  PackedPixel* PixelBuffer() override { return mBits; }
  int PixelWidth() const override { return mWidth; }
  int PixelHeight() const override { return mHeight; }
  int RowSpanPixels() const override { return mSpan; }
  bool SetSize(int width, int height) override { return false; }

 private:
  PackedPixel* mBits;
  int mWidth;
  int mHeight;
  int mSpan;
};

}  // namespace

bool IGraphics::RenderText(TextStyle& style, const char* text, PixelRect& rect, bool measuring) {
  if (text == nullptr || text[0] == '\0') return true;
  if (mScale == 1.0) {
    LICE_IFont* font = style.font != nullptr ? style.font : FontFor(style);
    if (font == nullptr) return false;
    return DrawOrMeasureText(font, style, text, rect, measuring);
  }
  // Rendered at the scaled size, never scaled as pixels.
  TextStyle scaled = style;
  scaled.size = ScaledTextSize(style.size);
  scaled.font = nullptr;
  LICE_IFont* font = FontFor(scaled);
  if (font == nullptr) return false;
  PixelRect r = ToWindowRect(rect);
  DrawOrMeasureText(font, style, text, r, measuring);
  if (measuring) rect = ToLogicalRect(r);
  return true;
}

bool IGraphics::DrawOrMeasureText(LICE_IFont* font, const TextStyle& style, const char* text, PixelRect& rect,
                                  bool measuring) {
  font->SetInkColor(style.color.Packed());
  int format = DrawTextNoClip;
  if (style.color.alpha != 255) format |= TextUseInkAlpha;
  if (style.alignment == kAlignCenter) format |= DrawTextCenter;
  if (style.alignment == kAlignFar) format |= DrawTextRight;
  if (!measuring) {
    PixelRect r = rect;
    const PixelRect whole{0, 0, mSurface ? mSurface->PixelWidth() : 0, mSurface ? mSurface->PixelHeight() : 0};
    const PixelRect area = RectIntersection(mPaintAreaPx, whole);
    if (mSurface == nullptr || mSurface->IsBottomUp() || RectIsEmpty(area) || SameRect(area, whole)) {
      font->DrawString(mSurface.get(), text, -1, &r, format);
      return true;
    }
    AreaView view(mSurface.get(), area);
    r.left -= area.left;
    r.right -= area.left;
    r.top -= area.top;
    r.bottom -= area.top;
    font->DrawString(&view, text, -1, &r, format);
    return true;
  }
  PixelRect extent{};
  font->DrawString(mSurface.get(), text, -1, &extent, format | DrawTextCalcRect);
  const int w = extent.right;
  const int h = extent.bottom;
  if (style.alignment == kAlignCenter) {
    rect.left = static_cast<int>(static_cast<float>(rect.left + rect.right) * 0.5f) - w / 2;
    rect.right = rect.left + w;
  } else if (style.alignment == kAlignFar) {
    rect.left = rect.right - w;
  } else {
    rect.right = rect.left + w;
  }
  rect.bottom = rect.top + h;
  return true;
}

// Scale

int IGraphics::ToWindowPixel(int logical) const {
  if (mScale == 1.0) return logical;
  return static_cast<int>(std::floor(logical * mScale + 0.5));
}

int IGraphics::ToLogical(int windowPixel) const {
  if (mScale == 1.0) return windowPixel;
  int x = static_cast<int>(std::floor(windowPixel / mScale));
  while (ToWindowPixel(x + 1) <= windowPixel) ++x;
  while (ToWindowPixel(x) > windowPixel) --x;
  return x;
}

PixelRect IGraphics::ToWindowRect(const PixelRect& r) const {
  if (mScale == 1.0 || RectIsEmpty(r)) return r;
  return PixelRect{ToWindowPixel(r.left), ToWindowPixel(r.top), ToWindowPixel(r.right), ToWindowPixel(r.bottom)};
}

PixelRect IGraphics::ToLogicalRect(const PixelRect& w) const {
  if (mScale == 1.0 || RectIsEmpty(w)) return w;
  PixelRect r{ToLogical(w.left), ToLogical(w.top), 0, 0};
  r.right = w.right > w.left ? ToLogical(w.right - 1) + 1 : r.left;
  r.bottom = w.bottom > w.top ? ToLogical(w.bottom - 1) + 1 : r.top;
  return r;
}

int IGraphics::ScaledTextSize(int size) const {
  if (mScale == 1.0) return size;
  return static_cast<int>(std::floor(size * mScale + 0.5));
}

void IGraphics::SetScaleFrom(ScaleSource source, double scale) {
  if (source < 0 || source >= kNumScaleSources) return;
  if (!(scale > 0.0) || !std::isfinite(scale)) scale = 0.0;
  mScaleFrom[source].store(scale, std::memory_order_release);
  if (WindowOpenElsewhere())
    mScalePending.store(true, std::memory_order_release);
  else
    ApplyScale();
}

double IGraphics::ScaleFrom(ScaleSource source) const {
  if (source < 0 || source >= kNumScaleSources) return 0.0;
  return mScaleFrom[source].load(std::memory_order_acquire);
}

void IGraphics::OfferUserZoom(const char* folder, const char* file) {
  mUserSettingsFolder = folder != nullptr ? folder : "";
  mUserSettingsFile = file != nullptr ? file : "";
}

namespace {
const char* const kZoomSection = "Editor";
const char* const kZoomKey = "Zoom";
}  // namespace

void IGraphics::RefreshScale(void* parent) {
  if (OffersUserZoom()) {
    const std::string path = UserSettingsPath(mUserSettingsFolder.c_str(), mUserSettingsFile.c_str());
    // "auto", a missing file or anything unreadable leaves the choice to
    // the host and the system.
    const std::string zoom = path.empty() ? std::string() : ReadProfileString(kZoomSection, kZoomKey, "", 32, path.c_str());
    const double percent = ParseLeadingNumber(zoom.c_str());
    mScaleFrom[kScaleUser].store(percent > 0.0 ? percent / 100.0 : 0.0, std::memory_order_release);
  }
  SetScaleFrom(kScaleSystem, SystemScale(parent));
}

void IGraphics::ChooseUserScale(double scale) {
  if (!(scale > 0.0) || !std::isfinite(scale)) scale = 0.0;
  if (OffersUserZoom()) {
    const std::string path = UserSettingsPath(mUserSettingsFolder.c_str(), mUserSettingsFile.c_str());
    char percent[32] = "auto";
    if (scale > 0.0) FormatFixed(percent, sizeof percent, scale * 100.0, 0);
    if (!path.empty()) WriteProfileValue(kZoomSection, kZoomKey, percent, path.c_str());
  }
  SetScaleFrom(kScaleUser, scale);
}

void IGraphics::RunZoomMenu(int x, int y) {
  static const int kPercents[] = {100, 125, 150, 175, 200};
  const double chosen = ScaleFrom(kScaleUser);
  PopupMenu menu(0);
  menu.AddItem("Zoom: Automatic", -1, chosen > 0.0 ? 0 : PopupMenuItem::kChecked);
  for (int percent : kPercents) {
    char text[32];
    std::snprintf(text, sizeof text, "Zoom: %d%%", percent);
    const bool current = chosen > 0.0 && std::fabs(chosen * 100.0 - percent) < 0.5;
    menu.AddItem(text, -1, current ? PopupMenuItem::kChecked : 0);
  }
  PopupMenu* answer = RunPopupMenu(menu, PixelRect{x, y, x, y});
  if (answer != nullptr && answer->ChosenIndex() >= 0) {
    const int index = answer->ChosenIndex();
    ChooseUserScale(index == 0 ? 0.0 : kPercents[index - 1] / 100.0);
  }
  MarkAllDirty();
}

void IGraphics::ApplyScale() {
  double scale = 1.0;
  for (const std::atomic<double>& from : mScaleFrom) {
    const double s = from.load(std::memory_order_acquire);
    if (s > 0.0) {
      scale = s;
      break;
    }
  }
  scale = scale < kMinScale ? kMinScale : scale > kMaxScale ? kMaxScale : scale;
  if (scale == mScale) return;
  const int oldWidth = WindowWidth(), oldHeight = WindowHeight();
  mScale = scale;
  DropMouseCapture();
  PrepareSurfaces();
  PrepareScaledImages();
  MarkAllDirty();
  WindowScaleChanged(oldWidth, oldHeight);
  if (mPlug != nullptr) mPlug->ResizeEditor(WindowWidth(), WindowHeight());
}

LICE_IBitmap* IGraphics::HiResImage(const ImageStrip& strip) {
  for (const LoadedStrip& loaded : mLoadedStrips) {
    if (loaded.base != strip.bitmap) continue;
    const int id = loaded.id + kHiResImageIdOffset;
    LICE_IBitmap* bitmap = Images().Find(id);
    if (bitmap == nullptr) {
      // "resources/img/back.png" -> "resources/img/back@2x.png"
      std::string name = loaded.name;
      const size_t dot = name.rfind('.');
      name.insert(dot == std::string::npos ? name.size() : dot, "@2x");
      bitmap = LoadImageResource(id, name.c_str());
      if (bitmap != nullptr) bitmap = Images().Insert(id, bitmap);
    }
    // Only a true double of the 1x image serves.
    if (bitmap != nullptr && bitmap->PixelWidth() == 2 * strip.width && bitmap->PixelHeight() == 2 * strip.height)
      return bitmap;
    return nullptr;
  }
  return nullptr;
}

const IGraphics::ScaledImage* IGraphics::ScaledFor(const ImageStrip& strip, int frameWidth, int frameHeight) {
  const int frames = strip.frames > 0 ? strip.frames : 1;
  for (const ScaledImage& image : mScaledImages)
    if (image.base == strip.bitmap && image.frames == frames && image.frameWidth == frameWidth &&
        image.frameHeight == frameHeight)
      return &image;
  if (strip.bitmap == nullptr || frameWidth <= 0 || frameHeight <= 0) return nullptr;
  // Above 1 the 2x set is the source; without it, the 1x image.
  LICE_IBitmap* source = HiResImage(strip);
  if (source == nullptr) source = strip.bitmap;
  const int sw = strip.sideBySide ? source->PixelWidth() / frames : source->PixelWidth();
  const int sh = strip.sideBySide ? source->PixelHeight() : source->PixelHeight() / frames;
  ScaledImage image;
  image.base = strip.bitmap;
  image.frames = frames;
  image.frameWidth = frameWidth;
  image.frameHeight = frameHeight;
  image.pixels.reset(new LICE_MemBitmap(frameWidth, frameHeight * frames));
  for (int i = 0; i < frames; ++i) {
    const SourceRect from = strip.sideBySide ? SourceRect{i * sw, 0, (i + 1) * sw, sh}
                                             : SourceRect{0, i * sh, sw, (i + 1) * sh};
    ResampleBitmap(image.pixels.get(), 0, i * frameHeight, frameWidth, frameHeight, source, from);
  }
  mScaledImages.push_back(std::move(image));
  return &mScaledImages.back();
}

void IGraphics::PrepareScaledImages() {
  mScaledImages.clear();
  if (mScale == 1.0) return;
  // Where a frame lands decides whether it takes the lower or the upper
  // whole number of pixels: make both.
  for (const LoadedStrip& loaded : mLoadedStrips) {
    ImageStrip strip;
    strip.bitmap = loaded.base;
    strip.width = loaded.base->PixelWidth();
    strip.height = loaded.base->PixelHeight();
    strip.frames = loaded.frames;
    const int fw = strip.width, fh = strip.height / strip.frames;
    const int widths[2] = {static_cast<int>(std::floor(fw * mScale)), static_cast<int>(std::ceil(fw * mScale))};
    const int heights[2] = {static_cast<int>(std::floor(fh * mScale)), static_cast<int>(std::ceil(fh * mScale))};
    for (int w : widths)
      for (int h : heights) ScaledFor(strip, w, h);
  }
}

bool IGraphics::BlitScaledImage(const ImageStrip& strip, const PixelRect& dest, int sourceX, int sourceY,
                                const BlendSpec* blend) {
  if (strip.bitmap == nullptr || RectIsEmpty(dest)) return true;
  const int frames = strip.frames > 0 ? strip.frames : 1;
  const int fw = strip.sideBySide ? strip.width / frames : strip.width;
  const int fh = strip.sideBySide ? strip.height : strip.height / frames;
  if (fw <= 0 || fh <= 0) return true;
  // Which frame the source offset names, and where inside it.
  int frame = strip.sideBySide ? sourceX / fw : sourceY / fh;
  frame = frame < 0 ? 0 : frame >= frames ? frames - 1 : frame;
  const int inX = strip.sideBySide ? sourceX - frame * fw : sourceX;
  const int inY = strip.sideBySide ? sourceY : sourceY - frame * fh;
  const PixelRect d = ToWindowRect(dest);
  const int pw = ToWindowPixel(dest.left + fw) - d.left;
  const int ph = ToWindowPixel(dest.top + fh) - d.top;
  const ScaledImage* image = ScaledFor(strip, pw, ph);
  if (image == nullptr) return true;
  const PixelRect r = RectIntersection(d, mPaintAreaPx);
  if (RectIsEmpty(r)) return true;
  const int ox = ToWindowPixel(dest.left + inX) - d.left;
  const int oy = ToWindowPixel(dest.top + inY) - d.top + frame * ph;
  SourceRect source{ox + r.left - d.left, oy + r.top - d.top, ox + r.right - d.left, oy + r.bottom - d.top};
  // Never into the next frame.
  if (source.right > pw) source.right = pw;
  if (source.bottom > (frame + 1) * ph) source.bottom = (frame + 1) * ph;
  const int word = blend != nullptr ? BlitWordFor(blend->method) : (BlendCopy | BlendUseSourceAlpha);
  const float weight = blend != nullptr ? blend->weight : 1.0f;
  BlitBitmap(mSurface.get(), image->pixels.get(), r.left, r.top, &source, weight, word);
  return true;
}

// Repainting

bool IGraphics::CollectDirtyArea(PixelRect& area) {
  DeliverPendingValues();
  bool dirty = false;
  for (IControl* control : mControls) {
    if (control->NeedsPaint()) {
      area = RectUnion(area, control->Rect());
      dirty = true;
    }
  }
  if (dirty) {
    mIdleTicks = 0;
    return true;
  }
  if (++mIdleTicks > 20) {
    if (mPlug != nullptr) mPlug->IdleTick();
    mIdleTicks = 0;
  }
  return false;
}

bool IGraphics::PaintArea(const PixelRect& area) {
  if (mControls.empty()) return true;
  mPaintArea = area;
  mPaintAreaPx = ToWindowRect(area);
  for (IControl* control : mControls) {
    if (!control->IsHidden() && RectOverlaps(area, control->Rect())) control->Paint(this);
    control->MarkClean();
  }
  return PresentArea(mPaintAreaPx);
}

// Mouse and keys

int IGraphics::ControlUnder(int x, int y) const {
  for (int i = NumControls(); i-- > 0;) {
    IControl* control = mControls[static_cast<size_t>(i)];
    if (!control->IsHidden() && !control->IsGrayed() && control->HitTest(x, y)) return i;
  }
  return -1;
}

void IGraphics::DropMouseCapture() {
  mCaptured = -1;
  mLastX = -1;
  mLastY = -1;
}

void IGraphics::PressAt(int x, int y, const MouseModifiers& mods) {
  DeliverPendingValues();
  DropMouseCapture();
  const int c = ControlUnder(x, y);
  if (c < 0) return;
  if (c == 0 && mods.right && !mods.left && OffersUserZoom()) {
    RunZoomMenu(x, y);
    return;
  }
  mCaptured = c;
  mLastX = x;
  mLastY = y;
  IControl* control = mControls[static_cast<size_t>(c)];
  if (control->ParamIdx() >= 0 && mPlug != nullptr) mPlug->BeginParameterEdit(control->ParamIdx());
  control->OnPress(x, y, mods);
}

void IGraphics::ReleaseAt(int x, int y, const MouseModifiers& mods) {
  const int c = mCaptured >= 0 ? mCaptured : ControlUnder(x, y);
  DropMouseCapture();
  IControl* control = GetControl(c);
  if (control == nullptr) return;
  control->OnRelease(x, y, mods);
  if (control->ParamIdx() >= 0 && mPlug != nullptr) mPlug->EndParameterEdit(control->ParamIdx());
}

void IGraphics::DragTo(int x, int y, const MouseModifiers& mods) {
  IControl* control = GetControl(mCaptured);
  if (control == nullptr || (x == mLastX && y == mLastY)) return;
  const int dx = x - mLastX;
  const int dy = y - mLastY;
  mLastX = x;
  mLastY = y;
  control->OnDrag(x, y, dx, dy, mods);
}

bool IGraphics::HoverAt(int x, int y, const MouseModifiers& mods) {
  if (!mHandleHover) return false;
  const int c = mCaptured >= 0 ? mCaptured : ControlUnder(x, y);
  IControl* control = GetControl(c);
  if (control == nullptr) return true;
  mLastX = x;
  mLastY = y;
  control->OnHover(x, y, mods);
  if (mHovered != c) {
    if (IControl* previous = GetControl(mHovered)) previous->OnHoverEnd();
  }
  mHovered = c;
  return true;
}

void IGraphics::HoverEnded() {
  for (IControl* control : mControls) control->OnHoverEnd();
  mHovered = -1;
}

bool IGraphics::DoubleClickAt(int x, int y, const MouseModifiers& mods) {
  DeliverPendingValues();
  DropMouseCapture();
  if (IControl* control = GetControl(ControlUnder(x, y))) control->OnDoubleClick(x, y, mods);
  return false;
}

void IGraphics::WheelAt(int x, int y, const MouseModifiers& mods, int notches) {
  DeliverPendingValues();
  const int c = mCaptured >= 0 ? mCaptured : ControlUnder(x, y);
  if (IControl* control = GetControl(c)) control->OnWheel(x, y, mods, notches);
}

bool IGraphics::KeyAt(int x, int y, int key) {
  const int c = mCaptured >= 0 ? mCaptured : ControlUnder(x, y);
  IControl* control = GetControl(c);
  if (control == nullptr || c == 0) return false;
  return control->OnKey(x, y, key);
}

// Values from the plug-in

void IGraphics::MarkAllDirty() {
  for (IControl* control : mControls) control->MarkDirty(false);
}

bool IGraphics::OnOpenWindowThread() const {
  return mHandOff.load(std::memory_order_acquire) &&
         mWindowThread.load(std::memory_order_acquire) == std::this_thread::get_id();
}

bool IGraphics::WindowOpenElsewhere() const {
  return mHandOff.load(std::memory_order_acquire) &&
         mWindowThread.load(std::memory_order_acquire) != std::this_thread::get_id();
}

bool IGraphics::DeliversDirectly() const { return !WindowOpenElsewhere(); }

void IGraphics::DeliverValue(int index, double normalised) {
  for (IControl* control : mControls) {
    if (control->ParamIdx() == index) control->SetValueFromPlugin(normalised);
    // A control that lists the parameter among its further bindings takes
    // it in the first of them.
    const std::vector<IControl::AuxBinding>& aux = control->AuxBindings();
    for (size_t k = 0; k < aux.size(); ++k) {
      if (aux[k].paramIdx == index) {
        control->SetAuxValueFromPlugin(static_cast<int>(k), normalised);
        break;
      }
    }
  }
}

void IGraphics::PushParameterValue(int index, double value, bool normalised) {
  if (!normalised) {
    const ParamRecord* param = mPlug != nullptr ? mPlug->ParamAt(index) : nullptr;
    if (param == nullptr) return;
    value = param->NormalizeValue(value);
  }
  if (std::isnan(value)) return;  // nothing a control could show
  // Direct deliveries and a window thread taking over the controls exclude
  // each other; whoever cannot have the controls at once (an audio thread
  // never waits) parks the value for the window thread or the next push.
  if (DeliversDirectly() && mDeliveryLock.TryEnter()) {
    const bool direct = DeliversDirectly();
    if (direct) {
      // Older values parked by other threads must not overwrite this one.
      DeliverPendingValues();
      DeliverValue(index, value);
    }
    mDeliveryLock.Leave();
    if (direct) return;
  }
  if (index < 0 || index >= mNumPending) return;
  PendingValue& slot = mPending[static_cast<size_t>(index)];
  slot.value.store(value, std::memory_order_relaxed);
  slot.pending.store(true, std::memory_order_release);
}

void IGraphics::DeliverPendingValues() {
  if (mScalePending.load(std::memory_order_relaxed) && mScalePending.exchange(false, std::memory_order_acquire))
    ApplyScale();
  for (int i = 0; i < mNumPending; ++i) {
    PendingValue& slot = mPending[static_cast<size_t>(i)];
    if (!slot.pending.load(std::memory_order_relaxed)) continue;
    if (!slot.pending.exchange(false, std::memory_order_acquire)) continue;
    DeliverValue(i, slot.value.load(std::memory_order_relaxed));
  }
}

void IGraphics::AdoptWindowThread() {
  CriticalSectionGuard guard(mDeliveryLock);
  mWindowThread.store(std::this_thread::get_id(), std::memory_order_release);
  mHandOff.store(true, std::memory_order_release);
  DeliverPendingValues();
  MarkAllDirty();
}

void IGraphics::ReleaseWindowThread() {
  CriticalSectionGuard guard(mDeliveryLock);
  // Deliver before giving up the thread, so no two threads deliver at once;
  // a value parked after this waits for the next direct push or opening.
  DeliverPendingValues();
  mHandOff.store(false, std::memory_order_release);
}

// Text entry rules shared by the window classes

void IGraphics::ApplyEnteredText(IControl* control, ParamRecord* param, const char* text) {
  if (control == nullptr) return;
  const char* t = text != nullptr ? text : "";
  if (param == nullptr) {
    control->OnTextEntered(t);
    return;
  }
  // A text the parameter does not know sets the value 0.
  double value = 0.0;
  param->ValueFromText(t, &value);
  control->SetValueFromUser(param->NormalizeValue(value));
}

bool IGraphics::EntryAcceptsChar(const ParamRecord* param, int character) {
  if (character == 8) return true;  // backspace
  if (param == nullptr) return true;
  const int type = static_cast<int>(param->type);
  const bool digitLike = character == '+' || character == '-' || (character >= '0' && character <= '9');
  if (type >= 1 && type <= 3) return digitLike;
  if (type == 4) return digitLike || character == '.';
  return true;
}
