// Our own declarations of the VST3 interfaces this plug-in and its test
// hosts use, written from the published interface facts: the interface
// identifiers, the order of each interface's methods, the layouts of the
// records and the constants. Only plugin/vst3/ and the VST3 test hosts
// include this file.
//
// An interface is a C++ class of pure virtual methods in the published
// order, with no data and no virtual destructor, so that its table of
// methods is the one the format defines. 64-bit Windows and Linux only:
// on both there is one calling convention, and every record below has its
// natural layout (checked at the end of the file).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace vst3 {

// Basic types.
using tresult = int32_t;
using TBool = uint8_t;
using char16 = char16_t;
using String128 = char16[128];
using FIDString = const char*;
using TUID = char[16];
using ParamID = uint32_t;
using ParamValue = double;
using SpeakerArrangement = uint64_t;
using UnitID = int32_t;
using ProgramListID = int32_t;
using TSamples = int64_t;
using TQuarterNotes = double;

// Results. Windows keeps COM's numbers; elsewhere they are small integers.
#if defined(_WIN32)
constexpr tresult kNoInterface = static_cast<tresult>(0x80004002u);
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = kResultOk;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = static_cast<tresult>(0x80070057u);
constexpr tresult kNotImplemented = static_cast<tresult>(0x80004001u);
constexpr tresult kInternalError = static_cast<tresult>(0x80004005u);
constexpr tresult kNotInitialized = static_cast<tresult>(0x8000FFFFu);
constexpr tresult kOutOfMemory = static_cast<tresult>(0x8007000Eu);
#else
constexpr tresult kNoInterface = -1;
constexpr tresult kResultOk = 0;
constexpr tresult kResultTrue = kResultOk;
constexpr tresult kResultFalse = 1;
constexpr tresult kInvalidArgument = 2;
constexpr tresult kNotImplemented = 3;
constexpr tresult kInternalError = 4;
constexpr tresult kNotInitialized = 5;
constexpr tresult kOutOfMemory = 6;
#endif

// A 16-byte identifier from its four published 32-bit words. Windows lays
// the first eight bytes out as a COM GUID (the first word, then the two
// halves of the second, each little-endian); elsewhere all four words are
// big-endian.
struct Uid {
  char bytes[16];
};

constexpr char ByteOf(uint32_t word, int shift) { return static_cast<char>((word >> shift) & 0xFFu); }

constexpr Uid MakeUid(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
#if defined(_WIN32)
  return Uid{{ByteOf(a, 0), ByteOf(a, 8), ByteOf(a, 16), ByteOf(a, 24), ByteOf(b, 16), ByteOf(b, 24), ByteOf(b, 0),
              ByteOf(b, 8), ByteOf(c, 24), ByteOf(c, 16), ByteOf(c, 8), ByteOf(c, 0), ByteOf(d, 24), ByteOf(d, 16),
              ByteOf(d, 8), ByteOf(d, 0)}};
#else
  return Uid{{ByteOf(a, 24), ByteOf(a, 16), ByteOf(a, 8), ByteOf(a, 0), ByteOf(b, 24), ByteOf(b, 16), ByteOf(b, 8),
              ByteOf(b, 0), ByteOf(c, 24), ByteOf(c, 16), ByteOf(c, 8), ByteOf(c, 0), ByteOf(d, 24), ByteOf(d, 16),
              ByteOf(d, 8), ByteOf(d, 0)}};
#endif
}

inline bool SameUid(const char* a, const Uid& b) { return a != nullptr && std::memcmp(a, b.bytes, 16) == 0; }

// ---------------------------------------------------------------------------
// The object model.

class FUnknown {
 public:
  virtual tresult queryInterface(const TUID iid, void** obj) = 0;
  virtual uint32_t addRef() = 0;
  virtual uint32_t release() = 0;
};
constexpr Uid kFUnknownIid = MakeUid(0x00000000, 0x00000000, 0xC0000000, 0x00000046);

// ---------------------------------------------------------------------------
// The module's factory.

struct PFactoryInfo {
  enum : int32_t { kNoFlags = 0, kClassesDiscardable = 1 << 0, kLicenseCheck = 1 << 1,
                   kComponentNonDiscardable = 1 << 3, kUnicode = 1 << 4 };
  char vendor[64];
  char url[256];
  char email[128];
  int32_t flags;
};

constexpr int32_t kManyInstances = 0x7FFFFFFF;

struct PClassInfo {
  TUID cid;
  int32_t cardinality;
  char category[32];
  char name[64];
};

struct PClassInfo2 {
  TUID cid;
  int32_t cardinality;
  char category[32];
  char name[64];
  uint32_t classFlags;
  char subCategories[128];
  char vendor[64];
  char version[64];
  char sdkVersion[64];
};

struct PClassInfoW {
  TUID cid;
  int32_t cardinality;
  char category[32];
  char16 name[64];
  uint32_t classFlags;
  char subCategories[128];
  char16 vendor[64];
  char16 version[64];
  char16 sdkVersion[64];
};

class IPluginFactory : public FUnknown {
 public:
  virtual tresult getFactoryInfo(PFactoryInfo* info) = 0;
  virtual int32_t countClasses() = 0;
  virtual tresult getClassInfo(int32_t index, PClassInfo* info) = 0;
  virtual tresult createInstance(FIDString cid, FIDString iid, void** obj) = 0;
};
constexpr Uid kIPluginFactoryIid = MakeUid(0x7A4D811C, 0x52114A1F, 0xAED9D2EE, 0x0B43BF9F);

class IPluginFactory2 : public IPluginFactory {
 public:
  virtual tresult getClassInfo2(int32_t index, PClassInfo2* info) = 0;
};
constexpr Uid kIPluginFactory2Iid = MakeUid(0x0007B650, 0xF24B4C0B, 0xA464EDB9, 0xF00B2ABB);

class IPluginFactory3 : public IPluginFactory2 {
 public:
  virtual tresult getClassInfoUnicode(int32_t index, PClassInfoW* info) = 0;
  virtual tresult setHostContext(FUnknown* context) = 0;
};
constexpr Uid kIPluginFactory3Iid = MakeUid(0x4555A2AB, 0xC1234E57, 0x9B122910, 0x36878931);

// The class category of audio effects and instruments.
constexpr const char* kVstAudioEffectClass = "Audio Module Class";

// ---------------------------------------------------------------------------
// Base of components and controllers.

class IPluginBase : public FUnknown {
 public:
  virtual tresult initialize(FUnknown* context) = 0;
  virtual tresult terminate() = 0;
};
constexpr Uid kIPluginBaseIid = MakeUid(0x22888DDB, 0x156E45AE, 0x8358B348, 0x08190625);

// What the host offers the plug-in in initialize().
class IHostApplication : public FUnknown {
 public:
  virtual tresult getName(String128 name) = 0;
  virtual tresult createInstance(TUID cid, TUID iid, void** obj) = 0;
};
constexpr Uid kIHostApplicationIid = MakeUid(0x58E595CC, 0xDB2D4969, 0x8B6AAF8C, 0x36A664E5);

// A stream of bytes the host owns (state).
class IBStream : public FUnknown {
 public:
  enum : int32_t { kIBSeekSet = 0, kIBSeekCur = 1, kIBSeekEnd = 2 };
  virtual tresult read(void* buffer, int32_t numBytes, int32_t* numBytesRead) = 0;
  virtual tresult write(void* buffer, int32_t numBytes, int32_t* numBytesWritten) = 0;
  virtual tresult seek(int64_t pos, int32_t mode, int64_t* result) = 0;
  virtual tresult tell(int64_t* pos) = 0;
};
constexpr Uid kIBStreamIid = MakeUid(0xC3BF6EA2, 0x30994752, 0x9B6BF990, 0x1EE33E9B);

// ---------------------------------------------------------------------------
// The processing component.

enum MediaTypes : int32_t { kAudio = 0, kEvent = 1 };
enum BusDirections : int32_t { kInput = 0, kOutput = 1 };
enum BusTypes : int32_t { kMain = 0, kAux = 1 };
enum IoModes : int32_t { kSimple = 0, kAdvanced = 1, kOfflineProcessing = 2 };

struct BusInfo {
  enum BusFlags : uint32_t { kDefaultActive = 1u << 0, kIsControlVoltage = 1u << 1 };
  int32_t mediaType;
  int32_t direction;
  int32_t channelCount;
  String128 name;
  int32_t busType;
  uint32_t flags;
};

struct RoutingInfo {
  int32_t mediaType;
  int32_t busIndex;
  int32_t channel;
};

class IComponent : public IPluginBase {
 public:
  virtual tresult getControllerClassId(TUID classId) = 0;
  virtual tresult setIoMode(int32_t mode) = 0;
  virtual int32_t getBusCount(int32_t type, int32_t dir) = 0;
  virtual tresult getBusInfo(int32_t type, int32_t dir, int32_t index, BusInfo& bus) = 0;
  virtual tresult getRoutingInfo(RoutingInfo& inInfo, RoutingInfo& outInfo) = 0;
  virtual tresult activateBus(int32_t type, int32_t dir, int32_t index, TBool state) = 0;
  virtual tresult setActive(TBool state) = 0;
  virtual tresult setState(IBStream* state) = 0;
  virtual tresult getState(IBStream* state) = 0;
};
constexpr Uid kIComponentIid = MakeUid(0xE831FF31, 0xF2D54301, 0x928EBBEE, 0x25697802);

// Speakers: one bit each.
constexpr SpeakerArrangement kSpeakerL = 1ull << 0;
constexpr SpeakerArrangement kSpeakerR = 1ull << 1;
constexpr SpeakerArrangement kSpeakerM = 1ull << 19;
constexpr SpeakerArrangement kEmptyArrangement = 0;
constexpr SpeakerArrangement kMono = kSpeakerM;
constexpr SpeakerArrangement kStereo = kSpeakerL | kSpeakerR;

enum SymbolicSampleSizes : int32_t { kSample32 = 0, kSample64 = 1 };
enum ProcessModes : int32_t { kRealtime = 0, kPrefetch = 1, kOffline = 2 };

struct ProcessSetup {
  int32_t processMode;
  int32_t symbolicSampleSize;
  int32_t maxSamplesPerBlock;
  double sampleRate;
};

struct AudioBusBuffers {
  int32_t numChannels;
  uint64_t silenceFlags;
  union {
    float** channelBuffers32;
    double** channelBuffers64;
  };
};

// The points of one parameter's automation within a block.
class IParamValueQueue : public FUnknown {
 public:
  virtual ParamID getParameterId() = 0;
  virtual int32_t getPointCount() = 0;
  virtual tresult getPoint(int32_t index, int32_t& sampleOffset, ParamValue& value) = 0;
  virtual tresult addPoint(int32_t sampleOffset, ParamValue value, int32_t& index) = 0;
};
constexpr Uid kIParamValueQueueIid = MakeUid(0x01263A18, 0xED074F6F, 0x98C9D356, 0x4686F9BA);

class IParameterChanges : public FUnknown {
 public:
  virtual int32_t getParameterCount() = 0;
  virtual IParamValueQueue* getParameterData(int32_t index) = 0;
  virtual IParamValueQueue* addParameterData(const ParamID& id, int32_t& index) = 0;
};
constexpr Uid kIParameterChangesIid = MakeUid(0xA4779663, 0x0BB64A56, 0xB44384A8, 0x466FEB9D);

// Events (notes and the like) are never read or written here: the record
// stays opaque.
struct Event;
class IEventList : public FUnknown {
 public:
  virtual int32_t getEventCount() = 0;
  virtual tresult getEvent(int32_t index, Event& e) = 0;
  virtual tresult addEvent(Event& e) = 0;
};
constexpr Uid kIEventListIid = MakeUid(0x3A2C4214, 0x346349FE, 0xB2C4F397, 0xB9695A44);

struct Chord {
  uint8_t keyNote;
  uint8_t rootNote;
  int16_t chordMask;
};

struct FrameRate {
  uint32_t framesPerSecond;
  uint32_t flags;
};

struct ProcessContext {
  enum StatesAndFlags : uint32_t {
    kPlaying = 1u << 1,
    kCycleActive = 1u << 2,
    kRecording = 1u << 3,
    kSystemTimeValid = 1u << 8,
    kProjectTimeMusicValid = 1u << 9,
    kTempoValid = 1u << 10,
    kBarPositionValid = 1u << 11,
    kCycleValid = 1u << 12,
    kTimeSigValid = 1u << 13,
    kSmpteValid = 1u << 14,
    kClockValid = 1u << 15,
    kContTimeValid = 1u << 17,
    kChordValid = 1u << 18,
  };
  uint32_t state;
  double sampleRate;
  TSamples projectTimeSamples;
  int64_t systemTime;
  TSamples continousTimeSamples;
  TQuarterNotes projectTimeMusic;
  TQuarterNotes barPositionMusic;
  TQuarterNotes cycleStartMusic;
  TQuarterNotes cycleEndMusic;
  double tempo;
  int32_t timeSigNumerator;
  int32_t timeSigDenominator;
  Chord chord;
  int32_t smpteOffsetSubframes;
  FrameRate frameRate;
  int32_t samplesToNextClock;
};

struct ProcessData {
  int32_t processMode;
  int32_t symbolicSampleSize;
  int32_t numSamples;
  int32_t numInputs;
  int32_t numOutputs;
  AudioBusBuffers* inputs;
  AudioBusBuffers* outputs;
  IParameterChanges* inputParameterChanges;
  IParameterChanges* outputParameterChanges;
  IEventList* inputEvents;
  IEventList* outputEvents;
  ProcessContext* processContext;
};

class IAudioProcessor : public FUnknown {
 public:
  virtual tresult setBusArrangements(SpeakerArrangement* inputs, int32_t numIns, SpeakerArrangement* outputs,
                                     int32_t numOuts) = 0;
  virtual tresult getBusArrangement(int32_t dir, int32_t index, SpeakerArrangement& arr) = 0;
  virtual tresult canProcessSampleSize(int32_t symbolicSampleSize) = 0;
  virtual uint32_t getLatencySamples() = 0;
  virtual tresult setupProcessing(ProcessSetup& setup) = 0;
  virtual tresult setProcessing(TBool state) = 0;
  virtual tresult process(ProcessData& data) = 0;
  virtual uint32_t getTailSamples() = 0;
};
constexpr Uid kIAudioProcessorIid = MakeUid(0x42043F99, 0xB7DA453C, 0xA569E79D, 0x9AAEC33D);

// Which parts of the ProcessContext the plug-in reads.
class IProcessContextRequirements : public FUnknown {
 public:
  enum Flags : uint32_t {
    kNeedSystemTime = 1u << 0,
    kNeedContinousTime = 1u << 1,
    kNeedProjectTimeMusic = 1u << 2,
    kNeedBarPositionMusic = 1u << 3,
    kNeedCycleMusic = 1u << 4,
    kNeedSamplesToNextClock = 1u << 5,
    kNeedTempo = 1u << 6,
    kNeedTimeSignature = 1u << 7,
    kNeedChord = 1u << 8,
    kNeedFrameRate = 1u << 9,
    kNeedTransportState = 1u << 10,
  };
  virtual uint32_t getProcessContextRequirements() = 0;
};
constexpr Uid kIProcessContextRequirementsIid = MakeUid(0x2A654303, 0xEF764E3D, 0x95B5FE83, 0x730EF6D0);

// ---------------------------------------------------------------------------
// The edit controller and the host's side of it.

struct ParameterInfo {
  enum ParameterFlags : int32_t {
    kNoFlags = 0,
    kCanAutomate = 1 << 0,
    kIsReadOnly = 1 << 1,
    kIsWrapAround = 1 << 2,
    kIsList = 1 << 3,
    kIsHidden = 1 << 4,
    kIsProgramChange = 1 << 15,
    kIsBypass = 1 << 16,
  };
  ParamID id;
  String128 title;
  String128 shortTitle;
  String128 units;
  int32_t stepCount;
  ParamValue defaultNormalizedValue;
  UnitID unitId;
  int32_t flags;
};

enum RestartFlags : int32_t {
  kReloadComponent = 1 << 0,
  kIoChanged = 1 << 1,
  kParamValuesChanged = 1 << 2,
  kLatencyChanged = 1 << 3,
  kParamTitlesChanged = 1 << 4,
};

class IComponentHandler : public FUnknown {
 public:
  virtual tresult beginEdit(ParamID id) = 0;
  virtual tresult performEdit(ParamID id, ParamValue valueNormalized) = 0;
  virtual tresult endEdit(ParamID id) = 0;
  virtual tresult restartComponent(int32_t flags) = 0;
};
constexpr Uid kIComponentHandlerIid = MakeUid(0x93A0BEA3, 0x0BD045DB, 0x8E890B0C, 0xC1E46AC6);

class IPlugView;

class IEditController : public IPluginBase {
 public:
  virtual tresult setComponentState(IBStream* state) = 0;
  virtual tresult setState(IBStream* state) = 0;
  virtual tresult getState(IBStream* state) = 0;
  virtual int32_t getParameterCount() = 0;
  virtual tresult getParameterInfo(int32_t paramIndex, ParameterInfo& info) = 0;
  virtual tresult getParamStringByValue(ParamID id, ParamValue valueNormalized, String128 string) = 0;
  virtual tresult getParamValueByString(ParamID id, char16* string, ParamValue& valueNormalized) = 0;
  virtual ParamValue normalizedParamToPlain(ParamID id, ParamValue valueNormalized) = 0;
  virtual ParamValue plainParamToNormalized(ParamID id, ParamValue plainValue) = 0;
  virtual ParamValue getParamNormalized(ParamID id) = 0;
  virtual tresult setParamNormalized(ParamID id, ParamValue value) = 0;
  virtual tresult setComponentHandler(IComponentHandler* handler) = 0;
  virtual IPlugView* createView(FIDString name) = 0;
};
constexpr Uid kIEditControllerIid = MakeUid(0xDCD7BBE3, 0x7742448D, 0xA874AACC, 0x979C759E);

// The name createView() is asked for.
constexpr const char* kEditorViewName = "editor";

// Units and program lists.
constexpr UnitID kRootUnitId = 0;
constexpr UnitID kNoParentUnitId = -1;
constexpr ProgramListID kNoProgramListId = -1;
constexpr int32_t kAllProgramInvalid = -1;

struct UnitInfo {
  UnitID id;
  UnitID parentUnitId;
  String128 name;
  ProgramListID programListId;
};

struct ProgramListInfo {
  ProgramListID id;
  String128 name;
  int32_t programCount;
};

class IUnitInfo : public FUnknown {
 public:
  virtual int32_t getUnitCount() = 0;
  virtual tresult getUnitInfo(int32_t unitIndex, UnitInfo& info) = 0;
  virtual int32_t getProgramListCount() = 0;
  virtual tresult getProgramListInfo(int32_t listIndex, ProgramListInfo& info) = 0;
  virtual tresult getProgramName(ProgramListID listId, int32_t programIndex, String128 name) = 0;
  virtual tresult getProgramInfo(ProgramListID listId, int32_t programIndex, FIDString attributeId,
                                 String128 attributeValue) = 0;
  virtual tresult hasProgramPitchNames(ProgramListID listId, int32_t programIndex) = 0;
  virtual tresult getProgramPitchName(ProgramListID listId, int32_t programIndex, int16_t midiPitch,
                                      String128 name) = 0;
  virtual UnitID getSelectedUnit() = 0;
  virtual tresult selectUnit(UnitID unitId) = 0;
  virtual tresult getUnitByBus(int32_t type, int32_t dir, int32_t busIndex, int32_t channel, UnitID& unitId) = 0;
  virtual tresult setUnitProgramData(int32_t listOrUnitId, int32_t programIndex, IBStream* data) = 0;
};
constexpr Uid kIUnitInfoIid = MakeUid(0x3D4BD6B5, 0x913A4FD2, 0xA886E768, 0xA5EB92C1);

// The host's side of units: told when a program list's names change.
class IUnitHandler : public FUnknown {
 public:
  virtual tresult notifyUnitSelection(UnitID unitId) = 0;
  virtual tresult notifyProgramListChange(ProgramListID listId, int32_t programIndex) = 0;
};
constexpr Uid kIUnitHandlerIid = MakeUid(0x4B5147F8, 0x4654486B, 0x8DAB30BA, 0x163A3C56);

// ---------------------------------------------------------------------------
// The editor's view and the host's frame around it.

struct ViewRect {
  int32_t left;
  int32_t top;
  int32_t right;
  int32_t bottom;
};

constexpr const char* kPlatformTypeHWND = "HWND";
constexpr const char* kPlatformTypeX11EmbedWindowID = "X11EmbedWindowID";

class IPlugFrame;

class IPlugView : public FUnknown {
 public:
  virtual tresult isPlatformTypeSupported(FIDString type) = 0;
  virtual tresult attached(void* parent, FIDString type) = 0;
  virtual tresult removed() = 0;
  virtual tresult onWheel(float distance) = 0;
  virtual tresult onKeyDown(char16 key, int16_t keyCode, int16_t modifiers) = 0;
  virtual tresult onKeyUp(char16 key, int16_t keyCode, int16_t modifiers) = 0;
  virtual tresult getSize(ViewRect* size) = 0;
  virtual tresult onSize(ViewRect* newSize) = 0;
  virtual tresult onFocus(TBool state) = 0;
  virtual tresult setFrame(IPlugFrame* frame) = 0;
  virtual tresult canResize() = 0;
  virtual tresult checkSizeConstraint(ViewRect* rect) = 0;
};
constexpr Uid kIPlugViewIid = MakeUid(0x5BC32507, 0xD06049EA, 0xA6151B52, 0x2B755B29);

class IPlugFrame : public FUnknown {
 public:
  virtual tresult resizeView(IPlugView* view, ViewRect* newSize) = 0;
};
constexpr Uid kIPlugFrameIid = MakeUid(0x367FAF01, 0xAFA94693, 0x8D4DA2A0, 0xED0882A3);

// Offered by the view: the host says the scale of its window (1 = 100 %),
// before or while the view is attached.
class IPlugViewContentScaleSupport : public FUnknown {
 public:
  using ScaleFactor = float;
  virtual tresult setContentScaleFactor(ScaleFactor factor) = 0;
};
constexpr Uid kIPlugViewContentScaleSupportIid = MakeUid(0x65ED9690, 0x8AC44525, 0x8AADEF7A, 0x72EA703F);

// Linux: the host's GUI thread runs a loop the editor hooks into, asked
// for through the frame. Every call arrives on that thread.
using FileDescriptor = int;
using TimerInterval = uint64_t;

class IEventHandler : public FUnknown {
 public:
  virtual void onFDIsSet(FileDescriptor fd) = 0;
};
constexpr Uid kIEventHandlerIid = MakeUid(0x561E65C9, 0x13A0496F, 0x813A2C35, 0x654D7983);

class ITimerHandler : public FUnknown {
 public:
  virtual void onTimer() = 0;
};
constexpr Uid kITimerHandlerIid = MakeUid(0x10BDD94F, 0x41424774, 0x821FAD8F, 0xECA72CA9);

class IRunLoop : public FUnknown {
 public:
  virtual tresult registerEventHandler(IEventHandler* handler, FileDescriptor fd) = 0;
  virtual tresult unregisterEventHandler(IEventHandler* handler) = 0;
  virtual tresult registerTimer(ITimerHandler* handler, TimerInterval milliseconds) = 0;
  virtual tresult unregisterTimer(ITimerHandler* handler) = 0;
};
constexpr Uid kIRunLoopIid = MakeUid(0x18C35366, 0x97764F1A, 0x9C5B8385, 0x7A871389);

// ---------------------------------------------------------------------------
// Layouts: 64-bit Windows and Linux agree on every one of them.

static_assert(sizeof(void*) == 8, "our VST3 declarations are for 64-bit builds");
static_assert(sizeof(char16) == 2, "UTF-16 text");
static_assert(sizeof(Uid) == 16, "identifiers are 16 bytes");
static_assert(sizeof(PFactoryInfo) == 452 && offsetof(PFactoryInfo, flags) == 448, "PFactoryInfo");
static_assert(sizeof(PClassInfo) == 116 && offsetof(PClassInfo, cardinality) == 16 &&
                  offsetof(PClassInfo, category) == 20 && offsetof(PClassInfo, name) == 52,
              "PClassInfo");
static_assert(sizeof(PClassInfo2) == 440 && offsetof(PClassInfo2, classFlags) == 116 &&
                  offsetof(PClassInfo2, subCategories) == 120 && offsetof(PClassInfo2, vendor) == 248 &&
                  offsetof(PClassInfo2, version) == 312 && offsetof(PClassInfo2, sdkVersion) == 376,
              "PClassInfo2");
static_assert(sizeof(PClassInfoW) == 696 && offsetof(PClassInfoW, name) == 52 &&
                  offsetof(PClassInfoW, classFlags) == 180 && offsetof(PClassInfoW, subCategories) == 184 &&
                  offsetof(PClassInfoW, vendor) == 312 && offsetof(PClassInfoW, version) == 440 &&
                  offsetof(PClassInfoW, sdkVersion) == 568,
              "PClassInfoW");
static_assert(sizeof(BusInfo) == 276 && offsetof(BusInfo, name) == 12 && offsetof(BusInfo, busType) == 268 &&
                  offsetof(BusInfo, flags) == 272,
              "BusInfo");
static_assert(sizeof(RoutingInfo) == 12, "RoutingInfo");
static_assert(sizeof(ProcessSetup) == 24 && offsetof(ProcessSetup, sampleRate) == 16, "ProcessSetup");
static_assert(sizeof(AudioBusBuffers) == 24 && offsetof(AudioBusBuffers, silenceFlags) == 8 &&
                  offsetof(AudioBusBuffers, channelBuffers32) == 16,
              "AudioBusBuffers");
static_assert(sizeof(ProcessData) == 80 && offsetof(ProcessData, inputs) == 24 &&
                  offsetof(ProcessData, outputs) == 32 && offsetof(ProcessData, inputParameterChanges) == 40 &&
                  offsetof(ProcessData, outputParameterChanges) == 48 && offsetof(ProcessData, inputEvents) == 56 &&
                  offsetof(ProcessData, outputEvents) == 64 && offsetof(ProcessData, processContext) == 72,
              "ProcessData");
static_assert(sizeof(Chord) == 4 && sizeof(FrameRate) == 8, "Chord, FrameRate");
static_assert(sizeof(ProcessContext) == 112 && offsetof(ProcessContext, sampleRate) == 8 &&
                  offsetof(ProcessContext, projectTimeSamples) == 16 && offsetof(ProcessContext, systemTime) == 24 &&
                  offsetof(ProcessContext, continousTimeSamples) == 32 &&
                  offsetof(ProcessContext, projectTimeMusic) == 40 &&
                  offsetof(ProcessContext, barPositionMusic) == 48 &&
                  offsetof(ProcessContext, cycleStartMusic) == 56 && offsetof(ProcessContext, cycleEndMusic) == 64 &&
                  offsetof(ProcessContext, tempo) == 72 && offsetof(ProcessContext, timeSigNumerator) == 80 &&
                  offsetof(ProcessContext, timeSigDenominator) == 84 && offsetof(ProcessContext, chord) == 88 &&
                  offsetof(ProcessContext, smpteOffsetSubframes) == 92 &&
                  offsetof(ProcessContext, frameRate) == 96 && offsetof(ProcessContext, samplesToNextClock) == 104,
              "ProcessContext");
static_assert(sizeof(ParameterInfo) == 792 && offsetof(ParameterInfo, title) == 4 &&
                  offsetof(ParameterInfo, shortTitle) == 260 && offsetof(ParameterInfo, units) == 516 &&
                  offsetof(ParameterInfo, stepCount) == 772 &&
                  offsetof(ParameterInfo, defaultNormalizedValue) == 776 &&
                  offsetof(ParameterInfo, unitId) == 784 && offsetof(ParameterInfo, flags) == 788,
              "ParameterInfo");
static_assert(sizeof(UnitInfo) == 268 && offsetof(UnitInfo, name) == 8 && offsetof(UnitInfo, programListId) == 264,
              "UnitInfo");
static_assert(sizeof(ProgramListInfo) == 264 && offsetof(ProgramListInfo, programCount) == 260, "ProgramListInfo");
static_assert(sizeof(ViewRect) == 16, "ViewRect");
// An interface is one pointer to its table of methods.
static_assert(sizeof(IAudioProcessor) == sizeof(void*) && sizeof(IEditController) == sizeof(void*),
              "interfaces hold nothing but their table");

}  // namespace vst3
