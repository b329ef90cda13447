// The VST3 binding: one object that is the host's component (processing,
// buses, state), its edit controller (parameters, texts, the editor's view)
// and its unit information (the factory programs), translating every call
// into the framework's operations. The only code that knows VST3 types,
// with Vst3View and the module's entry points.
//
// Threads, as the format assigns them:
// - process() runs on the host's audio thread. It holds the plug-in's
//   critical section for the whole call, applies the host's parameter
//   changes at their sample offsets (the block is processed in pieces
//   between them), allocates nothing and calls the host only through the
//   output parameter queue it was handed.
// - Everything else arrives on the host's main (GUI) thread and holds the
//   same section. The host's component handler hears (with edit gestures)
//   only of changes the editor makes, on the GUI thread; never from
//   process(), and never inside a call the host makes (the format's rule: a
//   host's change is not answered through the handler). What a host's
//   change moves besides (a linked partner, a program's values) reaches the
//   host through the next block's output parameter queue.
// - The editor's view and its run-loop callbacks are on the GUI thread; the
//   window's events are handled without the plug-in's section, which the
//   editor's controls take when they change a parameter.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "plugin/IPlugBase.h"
#include "plugin/PluginEntry.h"
#include "plugin/vst3/vst3_interfaces.h"

// What the module's factory holds when it makes an instance: the host
// context given to IPluginFactory3::setHostContext (may be null).
struct HostConnection {
  vst3::FUnknown* hostContext = nullptr;
};

class Vst3View;

namespace vst3bind {

// IComponent and IEditController both name their state calls getState and
// setState; these give the two pairs names of their own.
class ComponentSide : public vst3::IComponent {
 public:
  vst3::tresult getState(vst3::IBStream* state) final { return GetComponentState(state); }
  vst3::tresult setState(vst3::IBStream* state) final { return SetComponentState(state); }

 protected:
  virtual vst3::tresult GetComponentState(vst3::IBStream* state) = 0;
  virtual vst3::tresult SetComponentState(vst3::IBStream* state) = 0;
};

class ControllerSide : public vst3::IEditController {
 public:
  vst3::tresult getState(vst3::IBStream* state) final { return GetControllerState(state); }
  vst3::tresult setState(vst3::IBStream* state) final { return SetControllerState(state); }

 protected:
  virtual vst3::tresult GetControllerState(vst3::IBStream* state) = 0;
  virtual vst3::tresult SetControllerState(vst3::IBStream* state) = 0;
};

}  // namespace vst3bind

class IPlugVST3 : public IPlugBase,
                  public vst3bind::ComponentSide,
                  public vst3::IAudioProcessor,
                  public vst3bind::ControllerSide,
                  public vst3::IUnitInfo,
                  public vst3::IProcessContextRequirements {
 public:
  // The class the module's factory makes: stable, derived from the maker's
  // address (a name-based UUID of http://www.quorvel.com/plugins/veltrane/vst3).
  static constexpr vst3::Uid kClassId = vst3::MakeUid(0x71C10A37, 0xDEE059A4, 0xB1584EAD, 0xBF81CC18);
  // The parameter that selects a factory program; the others have their
  // index as their ID.
  static constexpr vst3::ParamID kProgramParamId = 0x50726F67;  // 'Prog'
  static constexpr vst3::ParamID kBypassParamId = 0x42797073;   // 'Byps'
  static constexpr vst3::ProgramListID kProgramListId = 1;
  // Largest state the host may hand back (a bank of programs is far less).
  static constexpr int kMaxStateBytes = 1 << 20;

  IPlugVST3(const HostConnection* host, int numParams, const char* channelIOString, int numPresets,
            const char* effectName, const char* productName, const char* makerName, int32_t version,
            int32_t uniqueId, int32_t makerId, int latency, bool takesMidi, bool usesChunks, bool isInstrument);
  ~IPlugVST3() override;

  // IPlugBase's host services.
  void SetParameterFromEditor(int index, double normalised) override;
  void BeginParameterEdit(int index) override;
  void NotifyHostOfParameter(int index, double normalised) override;
  void EndParameterEdit(int index) override;
  void NotifyHostOfProgramChange() override;
  bool IsOffline() override;
  int HostSamplePosition() override;
  double HostTempo() override;
  void HostTimeSignature(int* numerator, int* denominator) override;
  void ReadTransport(TransportInfo* info) override;
  void ResizeEditor(int width, int height) override;
  bool SendMidiToHost(const MidiMessage& message) override { return false; }

  // FUnknown
  vst3::tresult queryInterface(const vst3::TUID iid, void** obj) override;
  uint32_t addRef() override;
  uint32_t release() override;

  // IPluginBase (shared by the component and the controller)
  vst3::tresult initialize(vst3::FUnknown* context) override;
  vst3::tresult terminate() override;

  // IComponent
  vst3::tresult getControllerClassId(vst3::TUID classId) override;
  vst3::tresult setIoMode(int32_t mode) override;
  int32_t getBusCount(int32_t type, int32_t dir) override;
  vst3::tresult getBusInfo(int32_t type, int32_t dir, int32_t index, vst3::BusInfo& bus) override;
  vst3::tresult getRoutingInfo(vst3::RoutingInfo& inInfo, vst3::RoutingInfo& outInfo) override;
  vst3::tresult activateBus(int32_t type, int32_t dir, int32_t index, vst3::TBool state) override;
  vst3::tresult setActive(vst3::TBool state) override;

  // IAudioProcessor
  vst3::tresult setBusArrangements(vst3::SpeakerArrangement* inputs, int32_t numIns,
                                   vst3::SpeakerArrangement* outputs, int32_t numOuts) override;
  vst3::tresult getBusArrangement(int32_t dir, int32_t index, vst3::SpeakerArrangement& arr) override;
  vst3::tresult canProcessSampleSize(int32_t symbolicSampleSize) override;
  uint32_t getLatencySamples() override;
  vst3::tresult setupProcessing(vst3::ProcessSetup& setup) override;
  vst3::tresult setProcessing(vst3::TBool state) override;
  vst3::tresult process(vst3::ProcessData& data) override;
  uint32_t getTailSamples() override;

  // IEditController
  vst3::tresult setComponentState(vst3::IBStream* state) override;
  int32_t getParameterCount() override;
  vst3::tresult getParameterInfo(int32_t paramIndex, vst3::ParameterInfo& info) override;
  vst3::tresult getParamStringByValue(vst3::ParamID id, vst3::ParamValue valueNormalized,
                                      vst3::String128 string) override;
  vst3::tresult getParamValueByString(vst3::ParamID id, vst3::char16* string,
                                      vst3::ParamValue& valueNormalized) override;
  vst3::ParamValue normalizedParamToPlain(vst3::ParamID id, vst3::ParamValue valueNormalized) override;
  vst3::ParamValue plainParamToNormalized(vst3::ParamID id, vst3::ParamValue plainValue) override;
  vst3::ParamValue getParamNormalized(vst3::ParamID id) override;
  vst3::tresult setParamNormalized(vst3::ParamID id, vst3::ParamValue value) override;
  vst3::tresult setComponentHandler(vst3::IComponentHandler* handler) override;
  vst3::IPlugView* createView(vst3::FIDString name) override;

  // IUnitInfo
  int32_t getUnitCount() override;
  vst3::tresult getUnitInfo(int32_t unitIndex, vst3::UnitInfo& info) override;
  int32_t getProgramListCount() override;
  vst3::tresult getProgramListInfo(int32_t listIndex, vst3::ProgramListInfo& info) override;
  vst3::tresult getProgramName(vst3::ProgramListID listId, int32_t programIndex, vst3::String128 name) override;
  vst3::tresult getProgramInfo(vst3::ProgramListID listId, int32_t programIndex, vst3::FIDString attributeId,
                               vst3::String128 attributeValue) override;
  vst3::tresult hasProgramPitchNames(vst3::ProgramListID listId, int32_t programIndex) override;
  vst3::tresult getProgramPitchName(vst3::ProgramListID listId, int32_t programIndex, int16_t midiPitch,
                                    vst3::String128 name) override;
  vst3::UnitID getSelectedUnit() override;
  vst3::tresult selectUnit(vst3::UnitID unitId) override;
  vst3::tresult getUnitByBus(int32_t type, int32_t dir, int32_t busIndex, int32_t channel,
                             vst3::UnitID& unitId) override;
  vst3::tresult setUnitProgramData(int32_t listOrUnitId, int32_t programIndex, vst3::IBStream* data) override;

  // IProcessContextRequirements
  uint32_t getProcessContextRequirements() override;

  // For the editor's view (GUI thread).
  bool OpenEditorIn(void* parent, Vst3View* view);
  void CloseEditor(Vst3View* view);

 protected:
  vst3::tresult GetComponentState(vst3::IBStream* state) override;
  vst3::tresult SetComponentState(vst3::IBStream* state) override;
  vst3::tresult GetControllerState(vst3::IBStream* state) override { return vst3::kResultOk; }
  vst3::tresult SetControllerState(vst3::IBStream* state) override { return vst3::kResultOk; }

 private:
  // Where a host edit gesture on a parameter came from.
  enum class Gesture : uint8_t { kNone, kEditor, kLinked };
  static constexpr int kMaxQueues = 64;
  static constexpr int kMaxBatch = 64;
  // A host's parameter change: the parameter and its normalised value.
  struct HostPoint {
    vst3::ParamID id;
    double value;
  };
  // One queue of the host's parameter changes while a block is processed.
  struct QueueCursor {
    vst3::IParamValueQueue* queue;
    int32_t points;
    int32_t next;
  };
  // The host's changes of one process call, for the core's block loop.
  // Audio thread.
  class ProcessChanges : public BlockEvents {
   public:
    explicit ProcessChanges(IPlugVST3& plug) : mPlug(plug) {}
    void Start(vst3::ProcessData& data);
    void BlockBegins() override;
    int ApplyUntil(int position, int frames) override;
    void BlockEnds() override;
    void KeepForNextBlock() override;

   private:
    IPlugVST3& mPlug;
    vst3::IParameterChanges* mOutputChanges = nullptr;
    QueueCursor mCursors[kMaxQueues];
    int mNumCursors = 0;
    // Last values of blocks processed without the section.
    HostPoint mKept[kMaxBatch];
    int mKeptCount = 0;
  };

  void ApplyConnections();
  bool ApplyProgramValue(double value);
  void ApplyHostBatch(const HostPoint* points, int count, int offset);
  void ReportAllParameters(int offset);
  bool LoadState(const ChunkBuffer& chunk);
  void SendPendingNotes();
  int ProgramIndexOf(double normalised) const;
  double NormalisedProgram(int index) const;

  vst3::FUnknown* mHostContext;
  std::atomic<uint32_t> mRefCount{0};
  int mInitialized = 0;
  vst3::IComponentHandler* mHandler = nullptr;
  vst3::IUnitHandler* mUnitHandler = nullptr;
  Vst3View* mAttachedView = nullptr;

  // Buses: one stereo input and output; either may be narrowed to mono
  // or switched off by the host.
  vst3::SpeakerArrangement mInputArrangement = vst3::kStereo;
  vst3::SpeakerArrangement mOutputArrangement = vst3::kStereo;
  bool mInputActive = true;
  bool mOutputActive = true;
  int32_t mProcessMode = vst3::kRealtime;

  // Edit gestures open toward the host (GUI thread).
  std::vector<Gesture> mGestures;
  int mEditorGestures = 0;
  // Changes the editor makes go to the handler; other notes wait for the
  // next block (per parameter, no allocation); while a state loads they are
  // dropped, the host reads every value after it.
  int mEditorCalls = 0;
  bool mHoldNotes = false;
  std::vector<uint8_t> mPendingNotes;
  bool mNotesPending = false;

  // Inside process() with the section held: changes go to the output queue.
  bool mInProcess = false;
  vst3::IParameterChanges* mOutputChanges = nullptr;
  int mBlockPosition = 0;  // frames from the block's start to the change at hand
  // The audio thread's own.
  float* mHostIn32[2] = {nullptr, nullptr};
  float* mHostOut32[2] = {nullptr, nullptr};
  double* mHostIn64[2] = {nullptr, nullptr};
  double* mHostOut64[2] = {nullptr, nullptr};
  ProcessChanges mEvents{*this};
  // The host's transport of the latest block.
  vst3::ProcessContext mContext{};
  bool mHasContext = false;

  ChunkBuffer mStateOut;
  ChunkBuffer mStateIn;
};
