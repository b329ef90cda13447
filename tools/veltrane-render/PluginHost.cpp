#include "VeltraneVersion.h"
#include "tools/veltrane-render/PluginHost.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstring>

#include "tools/veltrane-render/PluginModule.h"

namespace vhost {

namespace {

typedef AEffect*(VSTCALLBACK* PluginEntry)(audioMasterCallback host);

// The plug-in may call back from inside its entry point, before the host
// has its record to find itself by: this is the host being created on this
// thread at that moment. Afterwards the record's user field points home.
thread_local PluginHost* tConstructing = nullptr;

constexpr int kTextBuffer = 256;  // generous: plug-ins write up to 64 bytes here
constexpr VstInt32 kHostVersion = 2400;
constexpr const char* kHostVendor = "Quorvel";
constexpr const char* kHostProduct = "veltrane-render";
// This program's own version, the plug-in's, as a decimal number.
constexpr VstInt32 kHostProductVersion = kVeltraneVersionMajor * 10000 + kVeltraneVersionMinor * 100 + kVeltraneVersionMicro;

}  // namespace

PluginHost::PluginHost() { std::memset(&mTime, 0, sizeof mTime); }

PluginHost::~PluginHost() { Close(); }

bool PluginHost::Load(const std::string& path, std::string& error) {
  Close();
  std::string why;
  mModule = OpenModule(path, why);
  if (mModule == nullptr) {
    error = "cannot load the plug-in " + path + ": " + why;
    return false;
  }
  void* symbol = FindModuleSymbol(mModule, "VSTPluginMain");
  if (symbol == nullptr) symbol = FindModuleSymbol(mModule, "main");
  if (symbol == nullptr) {
    error = path + " is no VST 2.4 plug-in: it exports neither VSTPluginMain nor main";
    CloseModule(mModule);
    mModule = nullptr;
    return false;
  }
  PluginEntry entry = reinterpret_cast<PluginEntry>(symbol);
  PluginHost* outer = tConstructing;
  tConstructing = this;
  AEffect* effect = entry(&PluginHost::Callback);
  tConstructing = outer;
  if (effect == nullptr || effect->magic != kEffectMagic || effect->dispatcher == nullptr) {
    error = effect == nullptr ? path + ": the plug-in's entry point returned no effect"
                              : path + ": the entry point returned a record without the VST magic";
    CloseModule(mModule);
    mModule = nullptr;
    return false;
  }
  effect->user = this;
  mEffect = effect;
  return true;
}

void PluginHost::Open(double sampleRate, int maxBlock) {
  if (mEffect == nullptr || mOpened) return;
  mSampleRate = sampleRate;
  mMaxBlock = maxBlock;
  Dispatch(effOpen);
  mOpened = true;
  Dispatch(effSetSampleRate, 0, 0, nullptr, static_cast<float>(sampleRate));
  Dispatch(effSetBlockSize, 0, maxBlock);
}

void PluginHost::Start() {
  if (!mOpened || mRunning) return;
  Dispatch(effMainsChanged, 0, 1);
  mRunning = true;
}

void PluginHost::Stop() {
  if (!mRunning) return;
  Dispatch(effMainsChanged, 0, 0);
  mRunning = false;
}

void PluginHost::Close() {
  if (mEffect != nullptr) {
    Stop();
    // effClose deletes the plug-in object (and the record with it) even
    // when the host never opened it.
    Dispatch(effClose);
    mEffect = nullptr;
    mOpened = false;
  }
  if (mModule != nullptr) {
    CloseModule(mModule);
    mModule = nullptr;
  }
}

VstIntPtr PluginHost::Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  if (mEffect == nullptr) return 0;
  return mEffect->dispatcher(mEffect, opcode, index, value, ptr, opt);
}

std::string PluginHost::TextRequest(VstInt32 opcode, VstInt32 index) {
  char text[kTextBuffer];
  std::memset(text, 0, sizeof text);
  Dispatch(opcode, index, 0, text);
  text[kTextBuffer - 1] = '\0';
  return text;
}

std::string PluginHost::EffectName() { return TextRequest(effGetEffectName, 0); }
std::string PluginHost::VendorString() { return TextRequest(effGetVendorString, 0); }
std::string PluginHost::ProductString() { return TextRequest(effGetProductString, 0); }
int PluginHost::VendorVersion() { return static_cast<int>(Dispatch(effGetVendorVersion)); }

std::string PluginHost::ParamName(int index) { return TextRequest(effGetParamName, index); }
std::string PluginHost::ParamDisplay(int index) { return TextRequest(effGetParamDisplay, index); }
std::string PluginHost::ParamLabel(int index) { return TextRequest(effGetParamLabel, index); }

float PluginHost::GetParameter(int index) {
  if (mEffect == nullptr || mEffect->getParameter == nullptr) return 0.0f;
  return mEffect->getParameter(mEffect, index);
}

void PluginHost::SetParameter(int index, float normalised) {
  if (mEffect == nullptr || mEffect->setParameter == nullptr) return;
  mEffect->setParameter(mEffect, index, normalised);
}

bool PluginHost::SetParameterText(int index, const std::string& text) {
  char buffer[kTextBuffer];
  std::memset(buffer, 0, sizeof buffer);
  std::strncpy(buffer, text.c_str(), sizeof buffer - 1);
  return Dispatch(effString2Parameter, index, 0, buffer) != 0;
}

int PluginHost::FindParam(const std::string& name) {
  const int count = NumParams();
  for (int i = 0; i < count; ++i) {
    if (ParamName(i) == name) return i;
  }
  const std::string wanted = Trim(name);
  for (int i = 0; i < count; ++i) {
    if (EqualsIgnoringCase(Trim(ParamName(i)), wanted)) return i;
  }
  return -1;
}

std::string PluginHost::ProgramName(int index) {
  char text[kTextBuffer];
  std::memset(text, 0, sizeof text);
  // value -1: no category.
  Dispatch(effGetProgramNameIndexed, index, -1, text);
  text[kTextBuffer - 1] = '\0';
  return text;
}

void PluginHost::SetProgram(int index) { Dispatch(effSetProgram, 0, index); }

int PluginHost::CurrentProgram() { return static_cast<int>(Dispatch(effGetProgram)); }

void PluginHost::SetTransport(const Transport& transport) { mTransport = transport; }

void PluginHost::FillTimeInfo() {
  std::memset(&mTime, 0, sizeof mTime);
  mTime.samplePos = mSamplePosition;
  mTime.sampleRate = mSampleRate;
  mTime.nanoSeconds = mSamplePosition / mSampleRate * 1e9;
  const double quarters = mSamplePosition / mSampleRate * mTransport.tempo / 60.0;
  mTime.ppqPos = quarters;
  mTime.tempo = mTransport.tempo;
  const double barLength = 4.0 * mTransport.numerator / mTransport.denominator;
  mTime.barStartPos = std::floor(quarters / barLength) * barLength;
  mTime.timeSigNumerator = mTransport.numerator;
  mTime.timeSigDenominator = mTransport.denominator;
  mTime.flags = kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid | kVstBarsValid | kVstNanosValid;
  if (mTransport.playing) mTime.flags |= kVstTransportPlaying;
}

void PluginHost::Advance(int frames) {
  if (mTransport.playing && frames > 0) mSamplePosition += frames;
}

void PluginHost::ProcessFloat(float** inputs, float** outputs, int frames) {
  if (mEffect == nullptr || mEffect->processReplacing == nullptr) return;
  FillTimeInfo();
  mEffect->processReplacing(mEffect, inputs, outputs, frames);
  Advance(frames);
}

void PluginHost::ProcessDouble(double** inputs, double** outputs, int frames) {
  if (mEffect == nullptr || mEffect->processDoubleReplacing == nullptr) return;
  FillTimeInfo();
  mEffect->processDoubleReplacing(mEffect, inputs, outputs, frames);
  Advance(frames);
}

VstIntPtr VSTCALLBACK PluginHost::Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                           void* ptr, float opt) {
  PluginHost* host = effect != nullptr ? static_cast<PluginHost*>(effect->user) : nullptr;
  if (host == nullptr) host = tConstructing;
  if (host == nullptr) {
    // Asked before any host exists: only the interface version is known.
    return opcode == audioMasterVersion ? kHostVersion : 0;
  }
  return host->Answer(opcode, index, value, ptr, opt);
}

VstIntPtr PluginHost::Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt) {
  switch (opcode) {
    case audioMasterVersion:
      return kHostVersion;
    case audioMasterGetTime:
      ++mTimeRequests;
      return reinterpret_cast<VstIntPtr>(&mTime);
    case audioMasterGetCurrentProcessLevel:
      return kVstProcessLevelOffline;
    case audioMasterGetVendorString:
      if (ptr == nullptr) return 0;
      std::strcpy(static_cast<char*>(ptr), kHostVendor);
      return 1;
    case audioMasterGetProductString:
      if (ptr == nullptr) return 0;
      std::strcpy(static_cast<char*>(ptr), kHostProduct);
      return 1;
    case audioMasterGetVendorVersion:
      return kHostProductVersion;
    case audioMasterAutomate:
    case audioMasterBeginEdit:
    case audioMasterEndEdit:
    case audioMasterUpdateDisplay:
      // Nothing to record: there is no user interface to update.
      return 1;
    default:
      return 0;
  }
}

std::string Trim(const std::string& text) {
  size_t first = 0;
  size_t last = text.size();
  while (first < last && std::isspace(static_cast<unsigned char>(text[first]))) ++first;
  while (last > first && std::isspace(static_cast<unsigned char>(text[last - 1]))) --last;
  return text.substr(first, last - first);
}

bool EqualsIgnoringCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

bool SplitAssignment(const std::string& text, std::string& name, std::string& value) {
  const size_t at = text.find('=');
  if (at == std::string::npos) return false;
  name = Trim(text.substr(0, at));
  value = Trim(text.substr(at + 1));
  return true;
}

bool ParseNumber(const std::string& text, double& value) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  const char* first = t.c_str();
  const char* last = first + t.size();
  // from_chars takes no leading '+'; users do write one.
  if (*first == '+') {
    ++first;
    if (first == last || *first == '-') return false;
  }
  double v = 0.0;
  const std::from_chars_result result = std::from_chars(first, last, v);
  if (result.ec != std::errc() || result.ptr != last || !std::isfinite(v)) return false;
  value = v;
  return true;
}

}  // namespace vhost
