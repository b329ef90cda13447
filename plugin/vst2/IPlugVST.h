// The VST 2.4 binding: the effect record, its dispatcher and processing
// functions, and every call the plug-in makes into the host. This is the only
// layer that knows VST types.
#pragma once

#include "plugin/IPlugBase.h"
#include "plugin/PluginEntry.h"
#include "plugin/vst2/vst24.h"

// What a VST 2.4 host hands the entry point: its callback.
struct HostConnection {
  audioMasterCallback callback = nullptr;
};

// Bounds of texts copied into host buffers. Hosts size these buffers
// differently; every name of this plug-in fits whole within them.
constexpr int kHostParamTextBound = 24;    // parameter names, labels, display texts
constexpr int kHostProgramNameBound = 24;  // program names (longer user names are cut)
constexpr int kHostEffectNameBound = 32;   // the effect name
constexpr int kHostVendorTextBound = 64;   // vendor and product strings
constexpr int kHostPinLabelBound = 64;     // pin labels (the published field size)

class IPlugVST : public IPlugBase {
 public:
  // A null host (tests) is a host that answers nothing.
  IPlugVST(const HostConnection* host, int numParams, const char* channelIOString, int numPresets,
           const char* effectName, const char* productName, const char* makerName, int32_t version,
           int32_t uniqueId, int32_t makerId, int latency, bool takesMidi, bool usesChunks,
           bool isInstrument);
  ~IPlugVST() override;

  void BeginParameterEdit(int index) override;
  void NotifyHostOfParameter(int index, double normalised) override;
  void EndParameterEdit(int index) override;
  void NotifyHostOfProgramChange() override;
  bool IsOffline() override;
  int HostSamplePosition() override;
  double HostTempo() override;
  void HostTimeSignature(int* numerator, int* denominator) override;
  void ReadTransport(TransportInfo* info) override;
  HostKind HostType() override;
  void ResizeEditor(int width, int height) override;
  void PrepareForHost() override;
  void AttachEditor(IGraphics* editor) override;
  void SetProcessingDelay(int frames) override;
  bool SendMidiToHost(const MidiMessage& message) override;
  bool SendSysExToHost(const SysExMessage& message) override;

  AEffect* EffectRecord() { return &mAEffect; }
  int32_t HostVersion() const { return mHostVersion; }
  bool IsChunkQuirkHost();

  // Entry points placed in the effect record.
  static VstIntPtr VSTCALLBACK VSTDispatcher(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                                             void* ptr, float opt);
  static void VSTCALLBACK VSTProcess(AEffect* effect, float** inputs, float** outputs, VstInt32 frames);
  static void VSTCALLBACK VSTProcessReplacing(AEffect* effect, float** inputs, float** outputs,
                                              VstInt32 frames);
  static void VSTCALLBACK VSTProcessDoubleReplacing(AEffect* effect, double** inputs, double** outputs,
                                                    VstInt32 frames);
  static float VSTCALLBACK VSTGetParameter(AEffect* effect, VstInt32 index);
  static void VSTCALLBACK VSTSetParameter(AEffect* effect, VstInt32 index, float value);

 protected:
  void WantMidiThisBlock() override;

 private:
  VstIntPtr Dispatch(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  static bool IsWindowRequest(VstInt32 opcode, VstInt32 index, VstIntPtr value);
  VstIntPtr DispatchWindowRequest(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  VstIntPtr GetChunk(void** data, bool isBank);
  VstIntPtr SetChunk(const void* data, VstIntPtr size, bool isBank);
  VstIntPtr HostCall(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr, float opt);
  VstTimeInfo* HostTimeInfo(VstInt32 filter);
  void ProcessFloat(float** inputs, float** outputs, VstInt32 frames, bool accumulate);
  void ProcessDouble(double** inputs, double** outputs, VstInt32 frames);
  void ApplySpeakerArrangement(const VstSpeakerArrangement* arrangement, bool inputs);

  audioMasterCallback mHostCallback;
  ERect mEditorRect;
  ChunkBuffer mStateChunk;
  ChunkBuffer mBankChunk;
  bool mHostPrepared = false;
  int32_t mHostExtensionFlags = 0;
  bool mChunkQuirkAsked = false;
  bool mChunkQuirkHost = false;
  AEffect mAEffect;
  VstSpeakerArrangement mInputArrangement;
  VstSpeakerArrangement mOutputArrangement;
};
