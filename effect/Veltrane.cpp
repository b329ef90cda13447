#include "effect/Veltrane.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "graphics/IGraphics.h"

namespace {

const double kRangeHz[4] = {5.0, 50.0, 500.0, 5000.0};
const char* const kOffOn[] = {"Off", "On"};
const char* const kModes[] = {"Imag.", "Real", "Input"};
const char* const kRanges[] = {"5", "50", "500", "5000"};
const char* const kWaveforms[] = {"Off", "Triangle", "Square", "Ramp Dn", "Ramp Up", "S/H"};

int RangeIndexOf(int iv) { return iv < 0 ? 0 : iv > 3 ? 3 : iv; }

// sqrt(v) * 19 rounded to the nearest division, halves away from zero.
int SyncIndexOf(double v) {
  const double r = std::round(std::sqrt(v) * 19.0);
  if (!(r >= 0.0)) return 0;
  return r > kNumSyncDivisions - 1 ? kNumSyncDivisions - 1 : static_cast<int>(r);
}

// The right partner of a left parameter and the other way round.
int LinkPartner(int index) {
  switch (index) {
    case kVolumeL: case kMixL: case kModeL: case kFreqMinL: case kFreqMaxL: return index + 1;
    case kVolumeR: case kMixR: case kModeR: case kFreqMinR: case kFreqMaxR: return index - 1;
    default: return -1;
  }
}

}  // namespace

const double kSyncDivisionLength[kNumSyncDivisions] = {
    256.0, 192.0, 128.0, 96.0, 64.0, 48.0, 40.0, 32.0, 24.0, 16.0,
    12.0,  8.0,   10.0,  16.0 / 3.0, 4.0, 3.0, 8.0 / 3.0, 2.0, 1.5, 1.0};
const char* const kSyncDivisionName[kNumSyncDivisions] = {
    "16/1", "12/1", "8/1", "6/1", "4/1", "3/1", "2/1.", "2/1", "1/1.", "1/1",
    "1/2.", "1/2",  "1/4.", "1/2T", "1/4", "1/8.", "1/4T", "1/8", "1/16.", "1/16"};

Veltrane::Veltrane(audioMasterCallback hostCallback, EditorWindowFactory makeWindow)
    : Effect(hostCallback, kNumVeltraneParams, "1-1 2-2", 32, "Quorvel Veltrane", "", "Quorvel", 0x00020003,
             CCONST('Q', 'V', 'T', 'R'), CCONST('Q', 'r', 'v', 'l'), makeWindow),
      mKernel(BestShiftKernel()) {
  lfo.storedSampleRate = 44100.0;
  lfo.ticksPerSecond = 1002.2727272727273;
  lfo.syncIndex = 10;
  syncToHost = false;
  DeclareParams();
  if (mGraphics != nullptr) {
    LayoutEditor(mGraphics);
    AttachEditor(mGraphics);  // sets the editor flag and rectangle
    mGraphics = nullptr;      // the plug-in owns it now
  }
  LoadFactoryBank();
}

void Veltrane::DeclareParams() {
  InitEnumParam(kLink, "Link L+R", 0, 2, kOffOn);
  ParamAt(kVolumeL)->SetupDouble("Volume L", 1.0, 0.0, 4.0, 0.001, 2.0);
  ParamAt(kVolumeR)->SetupDouble("Volume R", 1.0, 0.0, 4.0, 0.001, 2.0);
  ParamAt(kMixL)->SetupDouble("Mix L", 0.5, 0.0, 1.0, 0.001, 1.0);
  ParamAt(kMixR)->SetupDouble("Mix R", 0.5, 0.0, 1.0, 0.001, 1.0);
  InitEnumParam(kModeL, "Mode L", 2, 3, kModes);
  InitEnumParam(kModeR, "Mode R", 2, 3, kModes);
  InitEnumParam(kFreqRange, "Freq Range", 2, 4, kRanges);
  ParamAt(kFreqMinL)->SetupDouble("Freq Min L", 0.0, -1.0, 1.0, 0.001, 1.0);
  ParamAt(kFreqMinR)->SetupDouble("Freq Min R", 0.0, -1.0, 1.0, 0.001, 1.0);
  ParamAt(kFreqMaxL)->SetupDouble("Freq Max L", 0.0, -1.0, 1.0, 0.001, 1.0);
  ParamAt(kFreqMaxR)->SetupDouble("Freq Max R", 0.0, -1.0, 1.0, 0.001, 1.0);
  InitEnumParam(kLfoWaveform, "LFO Waveform", 0, 6, kWaveforms);
  ParamAt(kLfoRate)->SetupDouble("LFO Rate", 1.0, 0.0, 1.0, 0.001, 2.0);
  InitEnumParam(kSyncToHost, "Sync to Host", 0, 2, kOffOn);

  ParamAt(kVolumeL)->DisplayFunction = ParamAt(kVolumeR)->DisplayFunction = &FormatVolume;
  ParamAt(kMixL)->DisplayFunction = ParamAt(kMixR)->DisplayFunction = &FormatMix;
  for (int i = kFreqMinL; i <= kFreqMaxR; ++i) ParamAt(i)->DisplayFunction = &FormatFreq;
  ParamAt(kLfoRate)->DisplayFunction = &FormatRateHz;
}

// Display functions: each writes into a buffer of kParamTextSize bytes.

void Veltrane::FormatVolume(double v, char* text) {
  if (v <= 0.0)
    std::snprintf(text, kParamTextSize, "-oo");
  else
    FormatFixed(text, kParamTextSize, 20.0 * std::log10(v), 1);
}

void Veltrane::FormatMix(double v, char* text) {
  if (v == 0.0)
    std::snprintf(text, kParamTextSize, "Dry");
  else if (v == 1.0)
    std::snprintf(text, kParamTextSize, "Wet");
  else
  {
    char dry[kParamTextSize], wet[kParamTextSize];
    std::snprintf(text, kParamTextSize, "%s:%s", FormatFixed(dry, sizeof dry, (1.0 - v) * 100.0, 0),
                  FormatFixed(wet, sizeof wet, v * 100.0, 0));
  }
}

void Veltrane::FormatFreq(double v, char* text) { FormatFixed(text, kParamTextSize, 5.0 * v * v, 1); }

void Veltrane::FormatRateHz(double v, char* text) {
  char number[kParamTextSize];
  std::snprintf(text, kParamTextSize, "%s%s", FormatFixed(number, sizeof number, 20.0 * v, 2), " Hz");
}

void Veltrane::FormatRateSync(double v, char* text) {
  std::snprintf(text, kParamTextSize, "%s", kSyncDivisionName[SyncIndexOf(v)]);
}

void Veltrane::ParameterChanged(int index) {
  CriticalSectionGuard guard(mLock);
  ParamRecord* param = ParamAt(index);
  if (param == nullptr) return;
  const double v = param->value;
  const int iv = TruncateToInt(v);
  dirty = true;

  switch (index) {
    case kLink:
      if (v >= 0.5) {
        linked = true;
        for (int left : {kVolumeL, kMixL, kModeL, kFreqMinL, kFreqMaxL}) {
          const double n = ParamAt(left)->NormalizedValue();
          SetParameterFromEditor(left + 1, n);
          if (IGraphics* editor = Editor()) editor->PushParameterValue(left + 1, n, true);
        }
      } else {
        linked = false;
      }
      return;
    case kVolumeL: case kVolumeR: volume[index - kVolumeL] = v; break;
    case kMixL: case kMixR: mix[index - kMixL] = v; break;
    case kModeL: case kModeR: mode[index - kModeL] = iv; break;
    case kFreqRange:
      rangeIndex = RangeIndexOf(iv);
      rangeFactor = kRangeHz[rangeIndex] * 268435456.0 / SampleRate();
      return;
    case kFreqMinL: case kFreqMinR: freqMin[index - kFreqMinL] = v; break;
    case kFreqMaxL: case kFreqMaxR: freqMax[index - kFreqMaxL] = v; break;
    case kLfoWaveform:
      waveformParam = iv;
      lfo.waveform = iv;
      UpdateRateDisplay();
      return;
    case kLfoRate:
      lfo.rate = v;
      lfo.increment = v * 40.0 / lfo.ticksPerSecond;
      lfo.syncIndex = SyncIndexOf(v);
      return;
    case kSyncToHost:
      syncToHost = v >= 0.5;
      if (!syncToHost) lfo.increment = lfo.rate * 40.0 / lfo.ticksPerSecond;
      UpdateRateDisplay();
      return;
    default:
      return;
  }

  // Linked pairs follow each other; the partner's own call finds them equal.
  if (linked) {
    const int partner = LinkPartner(index);
    const double n = param->NormalizedValue();
    const double m = ParamAt(partner)->NormalizedValue();
    if (m != n) {
      SetParameterFromEditor(partner, n);
      if (IGraphics* editor = Editor()) editor->PushParameterValue(partner, n, true);
    }
  }
}

void Veltrane::FormatStatusText(int index, char* text, int size) const {
  if (text == nullptr || size <= 0) return;
  const ParamRecord* param = ParamAt(index);
  if (param == nullptr) {
    std::snprintf(text, static_cast<size_t>(size), "Version 2.0.3");
    return;
  }
  char display[kParamTextSize];
  param->FormatValue(param->value, false, display, true);
  const double v = param->value;
  switch (index) {
    case kVolumeL: case kVolumeR:
      std::snprintf(text, static_cast<size_t>(size), "%s: %s dB", param->name, display);
      break;
    case kFreqRange:
      std::snprintf(text, static_cast<size_t>(size), "%s: %s Hz", param->name, display);
      break;
    case kFreqMinL: case kFreqMinR: case kFreqMaxL: case kFreqMaxR:
      std::snprintf(text, static_cast<size_t>(size), "%s: %s Hz", param->name,
                    FormatFixed(display, sizeof display, v * kRangeHz[rangeIndex] * v, 1));
      break;
    default:
      std::snprintf(text, static_cast<size_t>(size), "%s: %s", param->name, display);
      break;
  }
}

void Veltrane::PresetsChanged() {
  ShowStatusText(-1);
  RefreshEditorControls();
}
