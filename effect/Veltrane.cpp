#include "effect/Veltrane.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "VeltraneVersion.h"
#include "plugin/PluginEntry.h"

namespace {

const double kRangeHz[4] = {5.0, 50.0, 500.0, 5000.0};
// Decimals of a shift's hertz: four digits at the range's full scale.
const int kRangeDecimals[4] = {3, 2, 1, 0};
// The LFO completes 40 v cycles a second at "LFO Rate" v.
constexpr double kLfoCyclesAtFullRate = 40.0;

int ClampRangeIndex(int index) { return index < 0 ? 0 : index > 3 ? 3 : index; }

// Display and text functions bound to one range: parameter records hold
// plain function pointers.
template <int kRange>
void FormatFreqIn(double v, char* text) {
  Veltrane::FormatFreq(kRange, v, text);
}
template <int kRange>
bool ParseFreqIn(const char* text, double* v) {
  return Veltrane::ParseFreq(kRange, text, v);
}
const ParamRecord::DisplayFunc kFormatFreqIn[4] = {&FormatFreqIn<0>, &FormatFreqIn<1>, &FormatFreqIn<2>,
                                                  &FormatFreqIn<3>};
const ParamRecord::ParseFunc kParseFreqIn[4] = {&ParseFreqIn<0>, &ParseFreqIn<1>, &ParseFreqIn<2>,
                                               &ParseFreqIn<3>};
const char* const kOffOn[] = {"Off", "On"};
const char* const kModes[] = {"Imag.", "Real", "Input"};
const char* const kRanges[] = {"5", "50", "500", "5000"};
const char* const kWaveforms[] = {"Off", "Triangle", "Square", "Ramp Dn", "Ramp Up", "S/H"};

// The parameters' numbers in the units hosts show, for the displays, their
// readers and the quantities alike.
double DbOfGain(double gain, double = 0.0) { return gain > 0.0 ? 20.0 * std::log10(gain) : -HUGE_VAL; }
double GainOfDb(double db, double = 0.0) { return std::pow(10.0, db / 20.0); }
double WetPercentOfMix(double v, double = 0.0) { return v * 100.0; }
double MixOfWetPercent(double percent, double = 0.0) { return percent / 100.0; }
double RangeHzOfIndex(double index, double = 0.0) { return kRangeHz[ClampRangeIndex(TruncateToInt(index))]; }
double RangeIndexOfHz(double hz, double = 0.0) {
  int best = 0;
  for (int r = 1; r < 4; ++r)
    if (std::fabs(std::log(hz / kRangeHz[r])) < std::fabs(std::log(hz / kRangeHz[best]))) best = r;
  return best;
}
// The signal path shifts by min(1, v^2) of the range, downward for v < 0.
double ShiftHz(double v, double rangeIndex) {
  const double hz = kRangeHz[ClampRangeIndex(TruncateToInt(rangeIndex))] * std::min(1.0, v * v);
  return v < 0.0 ? -hz : hz;
}
double ShiftOfHz(double hz, double rangeIndex) {
  const double x = std::sqrt(std::min(1.0, std::fabs(hz) / kRangeHz[ClampRangeIndex(TruncateToInt(rangeIndex))]));
  return hz < 0.0 ? -x : x;
}
double RateHz(double v, double = 0.0) { return kLfoCyclesAtFullRate * v; }
double RateOfHz(double hz, double = 0.0) { return hz / kLfoCyclesAtFullRate; }

// A host's slider for a gain ends at -90 dB, which stands for silence; the
// shifts span the widest range; a synced rate's port still holds hertz.
const ParamQuantity kVolumeDb = {"dB", -90.0, DbOfGain(4.0), -1, &DbOfGain, &GainOfDb};
const ParamQuantity kMixPercent = {"% wet", 0.0, 100.0, -1, &WetPercentOfMix, &MixOfWetPercent};
const ParamQuantity kRangeInHz = {"Hz", 5.0, 5000.0, -1, &RangeHzOfIndex, &RangeIndexOfHz};
const ParamQuantity kShiftInHz = {"Hz", -5000.0, 5000.0, kFreqRange, &ShiftHz, &ShiftOfHz};
const ParamQuantity kRateInHz = {"Hz", 0.0, kLfoCyclesAtFullRate, -1, &RateHz, &RateOfHz};

// The right partner of a left parameter and the other way round.
int LinkPartner(int index) {
  switch (index) {
    case kVolumeL: case kMixL: case kModeL: case kFreqMinL: case kFreqMaxL: return index + 1;
    case kVolumeR: case kMixR: case kModeR: case kFreqMinR: case kFreqMaxR: return index - 1;
    default: return -1;
  }
}

}  // namespace

IPlugBase* CreatePlugin(const HostConnection* host) {
  return new Veltrane(host, InstanceHasEditor(host) ? &CreateEditorWindow : nullptr);
}

Veltrane::Veltrane(const HostConnection* host, EditorWindowFactory makeWindow)
    : Effect(host, kNumVeltraneParams, "1-1 2-2", 32, "Quorvel Veltrane", "", "Quorvel", kVeltraneVersion,
             CharCode('Q', 'V', 'T', 'R'), CharCode('Q', 'r', 'v', 'l'), makeWindow),
      mEditorView(this) {
  DeclareParams();
  if (mGraphics != nullptr) {
    mEditorView.Layout(mGraphics);
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
  ParamAt(kVolumeL)->ParseFunction = ParamAt(kVolumeR)->ParseFunction = &ParseVolume;
  ParamAt(kMixL)->DisplayFunction = ParamAt(kMixR)->DisplayFunction = &FormatMix;
  ParamAt(kMixL)->ParseFunction = ParamAt(kMixR)->ParseFunction = &ParseMix;
  for (int i : {kVolumeL, kVolumeR}) CopyText(ParamAt(i)->unit, "dB", sizeof ParamAt(i)->unit);
  for (int i : {kFreqRange, kFreqMinL, kFreqMinR, kFreqMaxL, kFreqMaxR, kLfoRate})
    CopyText(ParamAt(i)->unit, "Hz", sizeof ParamAt(i)->unit);
  UpdateFreqDisplay(TruncateToInt(ParamAt(kFreqRange)->value));
  ParamAt(kLfoRate)->DisplayFunction = &FormatRateHz;
  ParamAt(kLfoRate)->ParseFunction = &ParseRateHz;
  ParamAt(kVolumeL)->quantity = ParamAt(kVolumeR)->quantity = &kVolumeDb;
  ParamAt(kMixL)->quantity = ParamAt(kMixR)->quantity = &kMixPercent;
  ParamAt(kFreqRange)->quantity = &kRangeInHz;
  for (int i = kFreqMinL; i <= kFreqMaxR; ++i) ParamAt(i)->quantity = &kShiftInHz;
  ParamAt(kLfoRate)->quantity = &kRateInHz;
}

void Veltrane::UpdateFreqDisplay(int rangeIndex) {
  const int r = ClampRangeIndex(rangeIndex);
  for (int i = kFreqMinL; i <= kFreqMaxR; ++i) {
    ParamAt(i)->DisplayFunction = kFormatFreqIn[r];
    ParamAt(i)->ParseFunction = kParseFreqIn[r];
  }
}

// Display functions: each writes into a buffer of kParamTextSize bytes.

void Veltrane::FormatVolume(double v, char* text) {
  if (v <= 0.0)
    std::snprintf(text, kParamTextSize, "-oo");
  else
    FormatFixed(text, kParamTextSize, DbOfGain(v), 1);
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
                  FormatFixed(wet, sizeof wet, WetPercentOfMix(v), 0));
  }
}

bool Veltrane::ParseVolume(const char* text, double* v) {
  if (std::strcmp(text, "-oo") == 0) {
    *v = 0.0;
    return true;
  }
  if (!TextEndsWithUnit(text, "dB")) return false;
  const char* number = text;
  while (*number == ' ') ++number;
  const bool minusInfinity = number[0] == '-' && (number[1] == 'i' || number[1] == 'I' || number[1] == 'o');
  *v = minusInfinity ? 0.0 : GainOfDb(ParseLeadingNumber(number));
  return true;
}

bool Veltrane::ParseMix(const char* text, double* v) {
  char word[8];
  CopyText(word, text, sizeof word);
  for (char& c : word) c = c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  if (std::strcmp(word, "dry") == 0 || std::strcmp(word, "wet") == 0) {
    *v = word[0] == 'w' ? 1.0 : 0.0;
    return true;
  }
  // "dry:wet" in percent, as the display shows it.
  const char* colon = std::strchr(text, ':');
  if (colon == nullptr) return false;
  const double dry = ParseLeadingNumber(text), wet = ParseLeadingNumber(colon + 1);
  if (!(dry >= 0.0 && wet >= 0.0 && dry + wet > 0.0)) return false;
  *v = wet / (dry + wet);
  return true;
}

void Veltrane::FormatFreq(int rangeIndex, double v, char* text) {
  const int r = ClampRangeIndex(rangeIndex);
  const double hz = std::fabs(ShiftHz(v, r));
  char number[kParamTextSize - 8];  // room for the sign and the unit
  FormatFixed(number, sizeof number, hz, kRangeDecimals[r]);
  bool zero = true;
  for (const char* c = number; *c != '\0'; ++c) zero = zero && (*c == '0' || *c == '.');
  const char* sign = zero ? "" : v < 0.0 ? "-" : "+";
  std::snprintf(text, kParamTextSize, "%s%s Hz", sign, number);
}

bool Veltrane::ParseFreq(int rangeIndex, const char* text, double* v) {
  if (!TextEndsWithUnit(text, "Hz")) return false;
  *v = ShiftOfHz(ParseLeadingNumber(text), rangeIndex);
  return true;
}

void Veltrane::FormatRateHz(double v, char* text) {
  char number[kParamTextSize];
  std::snprintf(text, kParamTextSize, "%s%s", FormatFixed(number, sizeof number, RateHz(v), 2),
                " Hz");
}

bool Veltrane::ParseRateHz(const char* text, double* v) {
  if (!TextEndsWithUnit(text, "Hz")) return false;
  *v = RateOfHz(ParseLeadingNumber(text));
  return true;
}

void Veltrane::FormatRateSync(double v, char* text) {
  std::snprintf(text, kParamTextSize, "%s", kSyncDivisionName[SyncIndexOf(v)]);
}

bool Veltrane::ParseRateSync(const char* text, double* v) {
  for (int i = 0; i < kNumSyncDivisions; ++i) {
    if (std::strcmp(text, kSyncDivisionName[i]) == 0) {
      // The rate whose division index (sqrt(v) * 19, rounded) is i.
      const double root = static_cast<double>(i) / (kNumSyncDivisions - 1);
      *v = root * root;
      return true;
    }
  }
  return false;
}

void Veltrane::ParameterChanged(int index) {
  CriticalSectionGuard guard(mLock);
  ParamRecord* param = ParamAt(index);
  if (param == nullptr) return;
  const double v = param->value;
  const int iv = TruncateToInt(v);

  switch (index) {
    case kLink:
      mControl.SetLinked(v >= 0.5);
      if (v >= 0.5) {
        for (int left : {kVolumeL, kMixL, kModeL, kFreqMinL, kFreqMaxL})
          ChangeParameter(left + 1, ParamAt(left)->NormalizedValue(), ValueSource::kLinkPartner);
      }
      return;
    case kVolumeL: case kVolumeR: mControl.SetVolume(index - kVolumeL, v); break;
    case kMixL: case kMixR: mControl.SetMix(index - kMixL, v); break;
    case kModeL: case kModeR: mControl.SetMode(index - kModeL, iv); break;
    case kFreqRange:
      mControl.SetRange(iv, SampleRate());
      UpdateFreqDisplay(iv);
      return;
    case kFreqMinL: case kFreqMinR: mControl.SetFreqMin(index - kFreqMinL, v); break;
    case kFreqMaxL: case kFreqMaxR: mControl.SetFreqMax(index - kFreqMaxL, v); break;
    case kLfoWaveform:
      mControl.SetWaveform(iv);
      UpdateRateDisplay();
      return;
    case kLfoRate:
      mControl.SetRate(v);
      return;
    case kSyncToHost:
      mControl.SetSyncToHost(v >= 0.5);
      UpdateRateDisplay();
      return;
    default:
      return;
  }

  // Linked pairs follow each other; the partner's own call finds them equal.
  if (mControl.Linked()) {
    const int partner = LinkPartner(index);
    const double n = param->NormalizedValue();
    if (ParamAt(partner)->NormalizedValue() != n) ChangeParameter(partner, n, ValueSource::kLinkPartner);
  }
}

bool Veltrane::FreqMinHidden() {
  CriticalSectionGuard guard(mLock);  // the waveform is set on the host's threads
  return mControl.Waveform() == 0;
}

void Veltrane::UpdateRateDisplay() {
  ParamAt(kLfoRate)->DisplayFunction = mControl.SyncsToHost() ? &FormatRateSync : &FormatRateHz;
  ParamAt(kLfoRate)->ParseFunction = mControl.SyncsToHost() ? &ParseRateSync : &ParseRateHz;
  mEditorView.RateControlsChanged();
}

void Veltrane::FormatStatusText(int index, char* text, int size) const {
  if (text == nullptr || size <= 0) return;
  const ParamRecord* param = ParamAt(index);
  if (param == nullptr) {
    std::snprintf(text, static_cast<size_t>(size), "Version %s", kVeltraneVersionText);
    return;
  }
  char display[kParamTextSize];
  // Shifts and the rate carry their unit in the display text.
  param->FormatValue(param->value, false, display, true);
  switch (index) {
    case kVolumeL: case kVolumeR:
      std::snprintf(text, static_cast<size_t>(size), "%s: %s dB", param->name, display);
      break;
    case kFreqRange:
      std::snprintf(text, static_cast<size_t>(size), "%s: %s Hz", param->name, display);
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

void Veltrane::ShowStatusText(int index) { mEditorView.ShowStatusText(index); }

void Veltrane::IdleTick() { mEditorView.IdleTick(); }

void Veltrane::EditorOpened() { mEditorView.EditorOpened(); }

void Veltrane::EditorClosed() { mEditorView.EditorClosed(); }

void Veltrane::AttachEditor(IGraphics* editor) {
  mEditorView.Attaching(editor);
  Effect::AttachEditor(editor);
}

void Veltrane::ResetProcessing() {
  CriticalSectionGuard guard(mLock);
  mControl.Prepare(SampleRate());
  mEditorView.PublishShifts(0.0, 0.0);
}

MeterInfo Veltrane::MeterAt(int index) const {
  // The shift in effect, as "Freq Min" and "Freq Max" hold it; the
  // indicators show -1..1.
  MeterInfo info;
  info.name = index == 0 ? "Shift L" : "Shift R";
  info.minimum = -1.0;
  info.maximum = 1.0;
  return info;
}

double Veltrane::MeterValue(int index) const { return index == 0 || index == 1 ? mShifter.CurrentFreq(index) : 0.0; }

void Veltrane::ShowMeter(int index, double value) {
  if (index != 0 && index != 1) return;
  mShownMeters[index] = value;
  mEditorView.PublishShifts(mShownMeters[0], mShownMeters[1]);
}

void Veltrane::HandOverToAudio() { mShifter.TakeSettingsFrom(mControl); }

void Veltrane::ProcessBlock(double** inputs, double** outputs, int frames) { Process(inputs, outputs, frames); }

bool Veltrane::ProcessFloatBlock(float** inputs, float** outputs, int frames) {
  Process(inputs, outputs, frames);
  return true;
}

template <typename Sample>
void Veltrane::Process(Sample** inputs, Sample** outputs, int frames) {
  // The host is asked for its transport only while the LFO follows it.
  LfoTransport transport;
  if (mShifter.SyncsToHost()) {
    TransportInfo info;
    ReadTransport(&info);
    transport.tempo = info.tempo;
    transport.ppqPosition = info.ppqPosition;
    transport.playing = info.transportRunning;
  }
  mShifter.Process(inputs, outputs, frames, &transport);
  // For the editor's indicators, read on the window thread without the lock.
  mEditorView.PublishShifts(mShifter.CurrentFreq(0), mShifter.CurrentFreq(1));
}
