// A small VST 2.4 host: loads a plug-in binary through its entry point,
// drives it through the effect record and answers its calls back.
//
// One PluginHost owns one plug-in instance and the library it came from.
// All operations are called from one thread; the plug-in's calls back into
// the host arrive on that thread too. Several hosts may live in one process.
#pragma once

#include <string>
#include <vector>

#include "plugin/vst2/vst24.h"

namespace vhost {

// What the host reports as its transport.
struct Transport {
  double tempo = 120.0;    // beats per minute
  bool playing = false;    // the song position advances only while playing
  int numerator = 4;
  int denominator = 4;
};

class PluginHost {
 public:
  PluginHost();
  ~PluginHost();
  PluginHost(const PluginHost&) = delete;
  PluginHost& operator=(const PluginHost&) = delete;

  // Loads the library, calls VSTPluginMain (or the legacy "main") and checks
  // the record. False with a reason in error on any failure.
  bool Load(const std::string& path, std::string& error);

  // effOpen, effSetSampleRate, effSetBlockSize. maxBlock is the largest
  // block the host will hand to the processing functions.
  void Open(double sampleRate, int maxBlock);

  // effMainsChanged 1 and 0. Stop is implied by Close.
  void Start();
  void Stop();

  // effClose and unloading; also done by the destructor.
  void Close();

  bool Loaded() const { return mEffect != nullptr; }
  AEffect* Effect() const { return mEffect; }
  int NumParams() const { return mEffect != nullptr ? mEffect->numParams : 0; }
  int NumPrograms() const { return mEffect != nullptr ? mEffect->numPrograms : 0; }
  int NumInputs() const { return mEffect != nullptr ? mEffect->numInputs : 0; }
  int NumOutputs() const { return mEffect != nullptr ? mEffect->numOutputs : 0; }
  bool CanReplacing() const { return mEffect != nullptr && (mEffect->flags & effFlagsCanReplacing) != 0; }
  bool CanDoubleReplacing() const {
    return mEffect != nullptr && (mEffect->flags & effFlagsCanDoubleReplacing) != 0 &&
           mEffect->processDoubleReplacing != nullptr;
  }

  std::string EffectName();
  std::string VendorString();
  std::string ProductString();
  int VendorVersion();

  std::string ParamName(int index);
  std::string ParamDisplay(int index);
  std::string ParamLabel(int index);
  float GetParameter(int index);
  void SetParameter(int index, float normalised);
  // effString2Parameter: the plug-in reads the text as it chooses; false when
  // it refuses the text.
  bool SetParameterText(int index, const std::string& text);
  // Exact name first, then ignoring case and surrounding blanks; -1 if none.
  int FindParam(const std::string& name);

  std::string ProgramName(int index);
  void SetProgram(int index);
  int CurrentProgram();

  void SetTransport(const Transport& transport);
  // The song position in samples where the next block starts.
  double SamplePosition() const { return mSamplePosition; }

  // One block through processReplacing / processDoubleReplacing. The time
  // info the plug-in may ask for during the call describes the block's
  // start; the position then advances by frames while the transport plays.
  void ProcessFloat(float** inputs, float** outputs, int frames);
  void ProcessDouble(double** inputs, double** outputs, int frames);

  // How often the plug-in asked for the time info (for diagnostics).
  long TimeRequests() const { return mTimeRequests; }

 private:
  static VstIntPtr VSTCALLBACK Callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                        void* ptr, float opt);
  VstIntPtr Answer(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index = 0, VstIntPtr value = 0, void* ptr = nullptr,
                     float opt = 0.0f);
  std::string TextRequest(VstInt32 opcode, VstInt32 index);
  void FillTimeInfo();
  void Advance(int frames);

  void* mModule = nullptr;
  AEffect* mEffect = nullptr;
  bool mOpened = false;
  bool mRunning = false;
  double mSampleRate = 44100.0;
  int mMaxBlock = 512;
  Transport mTransport;
  double mSamplePosition = 0.0;
  VstTimeInfo mTime;
  long mTimeRequests = 0;
};

// Splits "a=b" style text; trims blanks. False when there is no '='.
bool SplitAssignment(const std::string& text, std::string& name, std::string& value);

// Locale-independent number parsing of the whole text (blanks around it
// allowed). False for anything else.
bool ParseNumber(const std::string& text, double& value);

std::string Trim(const std::string& text);
bool EqualsIgnoringCase(const std::string& a, const std::string& b);

}  // namespace vhost
