// The LV2 binding. An LV2 host makes two kinds of instance of this plug-in,
// both of them the effect on this class:
//
// - the audio instance (lv2_descriptor): control input ports hold the
//   parameters' real values, float audio ports carry the signal, an atom
//   input brings the host's time and transport and the editor's program
//   messages, an atom output answers the editor, control outputs carry the
//   meters; the state extension saves and restores the program chunk;
// - the editor instance (lv2ui_descriptor): an effect object with the
//   editor, in an X11 window inside the host's. Its controls write the
//   host's input ports, it follows the port values the host sends and the
//   audio instance's program reports.
//
// This is the only layer that knows LV2 types.
//
// Threads, as LV2 classes them: ConnectPort and Run on the host's audio
// thread; Run only tries the plug-in's critical section (IPlugBase::
// ProcessAudio), allocates nothing, makes no system call and takes no other
// lock. Activate, Deactivate,
// RestoreState and the destructor never overlap Run (the host guarantees
// it); SaveState may, and holds the section. The editor instance lives on
// the host's UI thread: OpenEditor, PortEvent, Idle, CloseEditor.
#pragma once

#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/ui/ui.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <vector>

#include "plugin/IPlugBase.h"
#include "plugin/PluginEntry.h"

// What an LV2 host hands the entry points.
struct HostConnection {
  enum class Role { kAudio, kEditor };
  Role role = Role::kAudio;
  double sampleRate = 44100.0;                   // the audio instance's
  const LV2_Feature* const* features = nullptr;  // may be null
  LV2UI_Write_Function write = nullptr;          // the editor instance's
  LV2UI_Controller controller = nullptr;
};

// The plug-in's URI (set by the build) and the names under it.
constexpr char kLv2PluginUri[] = VELTRANE_LV2_URI;
constexpr char kLv2EditorUri[] = VELTRANE_LV2_URI "#editor";
// The same editor inside a GTK widget, for GTK 3 hosts (its own binary).
constexpr char kLv2ContainerUri[] = VELTRANE_LV2_URI "#container-gtk3";
// State keys: the session (atom:Chunk, the whole plug-in as the core
// writes it), and the current preset's index (atom:Int) and the program
// chunk (atom:Chunk, the bytes a VST 2.4 host keeps for one program), which
// the 2.0.3 bundle kept and the presets hold.
constexpr char kLv2SessionKey[] = VELTRANE_LV2_URI "#session";
constexpr char kLv2ProgramKey[] = VELTRANE_LV2_URI "#program";
constexpr char kLv2ChunkKey[] = VELTRANE_LV2_URI "#chunk";
// The message between editor and audio instance: an object of this type
// with the same two properties.
constexpr char kLv2ProgramMessage[] = VELTRANE_LV2_URI "#Program";

// Port indices: the parameters first (port = parameter index), then the
// meters, the audio inputs and outputs, the atom input and output.
struct Lv2PortLayout {
  int params = 0;
  int meters = 0;
  int firstMeter = 0;
  int audioIns = 0;
  int firstAudioIn = 0;
  int audioOuts = 0;
  int firstAudioOut = 0;
  int control = 0;
  int notify = 0;
};

// Bytes a program message or report may take; larger ones are ignored.
constexpr int kLv2MessageBytes = 4096;

class IPlugLV2 : public IPlugBase {
 public:
  IPlugLV2(const HostConnection* host, int numParams, const char* channelIOString, int numPresets,
           const char* effectName, const char* productName, const char* makerName, int32_t version,
           int32_t uniqueId, int32_t makerId, int latency, bool takesMidi, bool usesChunks,
           bool isInstrument);
  ~IPlugLV2() override;

  void BeginParameterEdit(int index) override;
  void NotifyHostOfParameter(int index, double normalised) override;
  void EndParameterEdit(int index) override;
  void NotifyHostOfProgramChange() override;
  int HostSamplePosition() override;
  double HostTempo() override;
  void HostTimeSignature(int* numerator, int* denominator) override;
  void ReadTransport(TransportInfo* info) override;
  void ResizeEditor(int width, int height) override;
  bool SendMidiToHost(const MidiMessage& message) override { return false; }

  Lv2PortLayout Ports() const;
  // A parameter that LV2 shows as an on/off switch (lv2:toggled).
  static bool IsToggle(const ParamRecord& param);
  // The one translation between a parameter's value and its control port's
  // number, for the instances and the bundle's description alike. A port
  // holds the parameter's quantity where it has one (dB, Hz, % wet; an
  // enumeration's quantity for each of its values), else the value itself.
  // `by` is the value of the parameter the quantity depends on (the range,
  // for a shift's hertz).
  static void PortRange(const ParamRecord& param, double* minimum, double* maximum);
  // The number for a value, within the port's range.
  static double PortNumber(const ParamRecord& param, double value, double by);
  // The value a port's number gives a parameter: switches are on above 0,
  // other enumerations take the nearest of their values, a quantity at the
  // port's minimum or below is the parameter's minimum; NaN for a number
  // that is not finite (never applied).
  static double ValueFromPort(const ParamRecord& param, float number, double by);
  // The current value of what the parameter's quantity depends on; 0 for none.
  double QuantityBy(const ParamRecord& param) const;

  // The audio instance (lv2_descriptor's calls).
  // After construction: the parameters reach the signal path at this rate.
  void PrepareAudio();
  void ConnectPort(uint32_t port, void* data);
  void Activate();
  void Deactivate();
  void Run(uint32_t frames);
  LV2_State_Status SaveState(LV2_State_Store_Function store, LV2_State_Handle handle);
  LV2_State_Status RestoreState(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle);

  // The editor instance (lv2ui_descriptor's calls).
  // Opens the editor in the host's parent window, at the host's scale;
  // false without a parent.
  bool OpenEditor(LV2UI_Widget* widget);
  void PortEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer);
  // Handles the window's events; 1 once the window is gone.
  int Idle();
  void CloseEditor();

 private:
  struct Uris {
    LV2_URID atomBlank = 0, atomObject = 0, atomSequence = 0, atomChunk = 0, atomInt = 0, atomLong = 0,
             atomFloat = 0, atomDouble = 0, atomBool = 0, atomEventTransfer = 0;
    LV2_URID timePosition = 0, timeFrame = 0, timeSpeed = 0, timeBeat = 0, timeBarBeat = 0, timeBeatUnit = 0,
             timeBeatsPerBar = 0, timeBeatsPerMinute = 0;
    LV2_URID patchGet = 0;
    LV2_URID program = 0, chunk = 0, session = 0, programMessage = 0;
    LV2_URID maxBlockLength = 0, nominalBlockLength = 0, scaleFactor = 0;
  };

  // The host's time and transport as its last time:Position said, and the
  // frames from it to the start of this run (negative when it came inside
  // the run); positions move on with the speed and tempo.
  struct HostTime {
    bool musical = false;  // a beat, tempo or signature arrived
    bool hasFrame = false, hasBeat = false, hasBarBeat = false, hasTempo = false;
    double frame = 0.0, beat = 0.0, barBeat = 0.0, bpm = 120.0, speed = 0.0;
    double beatUnit = 4.0, beatsPerBar = 4.0;
    double elapsed = 0.0;
  };

  static constexpr int kMaxPortBatch = 64;
  // A run's atom events, for the core's block loop. Audio thread.
  class RunEvents : public BlockEvents {
   public:
    explicit RunEvents(IPlugLV2& plug) : mPlug(plug) {}
    void Start(const LV2_Atom_Sequence* sequence);
    void BlockBegins() override;
    int ApplyUntil(int position, int frames) override;
    void BlockEnds() override;
    void KeepForNextBlock() override;

   private:
    const LV2_Atom_Event* Peek() const;
    IPlugLV2& mPlug;
    const LV2_Atom_Sequence* mSequence = nullptr;
    const LV2_Atom_Event* mNext = nullptr;
    const uint8_t* mEnd = nullptr;
    // A program message of a run processed without the section (its bytes
    // in mMessageChunk), for the next run.
    bool mKeptProgram = false;
    int mKeptIndex = -1;
  };

  void ReadFeatures(const LV2_Feature* const* features);
  void SilenceOutputs(uint32_t frames);
  void ApplyPorts();
  const LV2_Atom_Object* ObjectOf(const LV2_Atom_Event* event) const;
  void ReadEvent(const LV2_Atom_Event* event, int frame);
  // A position that applies from `frame` of this run on.
  void ReadTime(const LV2_Atom_Object* position, int at);
  // Copies a program message's chunk into mMessageChunk and its preset
  // index; false for one that is not a whole message.
  bool CopyProgramMessage(const LV2_Atom_Object* message, int* preset);
  // Reads a program message or report: the preset index and the program
  // chunk, applied together or not at all.
  bool ReadProgramMessage(const LV2_Atom_Object* message);
  // Applies a program chunk, making `index` the current preset first
  // (-1 keeps it). A chunk that does not read whole leaves the values, the
  // current preset and its name as they were. Allocates nothing.
  bool ApplyProgramChunk(const ChunkBuffer& chunk, int index);
  // The current program, as a message, into the open notify sequence.
  void WriteReport();
  void SendToAudioInstance(const LV2_Atom* atom);
  // The editor instance writes a parameter's port with its number; with
  // `dependents`, also the ports whose numbers depend on it (a range's
  // shifts), so that the host shows what the plug-in holds.
  void WritePort(int index, bool dependents);

  HostConnection::Role mRole;
  LV2_URID_Map* mMap = nullptr;
  Uris mUris;
  LV2_Atom_Forge mForge;  // set up with the map, once
  Lv2PortLayout mLayout;  // set when the instance is ready for its calls

  // Audio instance.
  std::vector<float*> mControlPorts;  // per parameter
  std::vector<float*> mMeterPorts;
  std::vector<const float*> mAudioIn;
  std::vector<float*> mAudioOut;
  const LV2_Atom_Sequence* mControlIn = nullptr;
  LV2_Atom_Sequence* mNotifyOut = nullptr;
  LV2_Atom_Forge_Frame mNotifyFrame;
  bool mNotifyOpen = false;             // a sequence is being written this run
  int mMissingPorts = 0;                // required ports not connected
  std::vector<MeterInfo> mMeterInfo;
  std::vector<uint32_t> mSeenBits;      // the port values last looked at
  std::vector<double> mRunValues;       // a run's values, for the quantities that depend on them
  std::vector<unsigned char> mChanged;
  bool mAdoptPorts = false;  // after a restore the ports hold the session's values
  bool mReportDue = false;   // the editor instance asked, or the program changed
  HostTime mTime;
  RunEvents mEvents{*this};
  ChunkBuffer mStateChunk;    // save and restore
  ChunkBuffer mMessageChunk;  // a program message's bytes
  ChunkBuffer mReportChunk;   // the program reported to the editor

  // Editor instance.
  LV2UI_Write_Function mWrite = nullptr;
  LV2UI_Controller mController = nullptr;
  void* mParent = nullptr;
  const LV2UI_Resize* mResize = nullptr;
  const LV2UI_Touch* mTouch = nullptr;
  double mHostScale = 0.0;  // the host's ui:scaleFactor option; 0: it said none
  bool mEditorOpen = false;
  bool mReportAsked = false;
  int mSilent = 0;                      // > 0 while values from the host are applied
  std::vector<unsigned char> mGrabbed;  // per parameter, between Begin and EndParameterEdit
};
