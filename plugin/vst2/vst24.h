// Our own declaration of the VST 2.4 binary interface: the record, callbacks,
// opcodes, constants and structures this plug-in exchanges with its host.
// Layouts follow the published interface (8-byte packing on Windows, natural
// alignment elsewhere); the static assertions below pin them for both widths.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define VSTCALLBACK __cdecl
#else
#define VSTCALLBACK
#endif

typedef int32_t VstInt32;
typedef int16_t VstInt16;
typedef intptr_t VstIntPtr;

#pragma pack(push, 8)

struct AEffect;

typedef VstIntPtr(VSTCALLBACK* audioMasterCallback)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                    VstIntPtr value, void* ptr, float opt);
typedef VstIntPtr(VSTCALLBACK* AEffectDispatcherProc)(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                                      VstIntPtr value, void* ptr, float opt);
typedef void(VSTCALLBACK* AEffectProcessProc)(AEffect* effect, float** inputs, float** outputs,
                                              VstInt32 sampleFrames);
typedef void(VSTCALLBACK* AEffectProcessDoubleProc)(AEffect* effect, double** inputs, double** outputs,
                                                    VstInt32 sampleFrames);
typedef void(VSTCALLBACK* AEffectSetParameterProc)(AEffect* effect, VstInt32 index, float parameter);
typedef float(VSTCALLBACK* AEffectGetParameterProc)(AEffect* effect, VstInt32 index);

#define CCONST(a, b, c, d) \
  ((((VstInt32)(a)) << 24) | (((VstInt32)(b)) << 16) | (((VstInt32)(c)) << 8) | (((VstInt32)(d)) << 0))

enum : VstInt32 { kEffectMagic = CCONST('V', 's', 't', 'P') };

struct AEffect {
  VstInt32 magic;
  AEffectDispatcherProc dispatcher;
  AEffectProcessProc process;  // deprecated accumulating path
  AEffectSetParameterProc setParameter;
  AEffectGetParameterProc getParameter;
  VstInt32 numPrograms;
  VstInt32 numParams;
  VstInt32 numInputs;
  VstInt32 numOutputs;
  VstInt32 flags;
  VstIntPtr resvd1;
  VstIntPtr resvd2;
  VstInt32 initialDelay;
  VstInt32 realQualities;
  VstInt32 offQualities;
  float ioRatio;
  void* object;
  void* user;
  VstInt32 uniqueID;
  VstInt32 version;
  AEffectProcessProc processReplacing;
  AEffectProcessDoubleProc processDoubleReplacing;
  char future[56];
};

enum VstAEffectFlags : VstInt32 {
  effFlagsHasEditor = 1 << 0,
  effFlagsCanMono = 1 << 3,  // deprecated
  effFlagsCanReplacing = 1 << 4,
  effFlagsProgramChunks = 1 << 5,
  effFlagsIsSynth = 1 << 8,
  effFlagsNoSoundInStop = 1 << 9,
  effFlagsCanDoubleReplacing = 1 << 12,
};

// Host -> plug-in requests.
enum AEffectOpcodes : VstInt32 {
  effOpen = 0,
  effClose = 1,
  effSetProgram = 2,
  effGetProgram = 3,
  effSetProgramName = 4,
  effGetProgramName = 5,
  effGetParamLabel = 6,
  effGetParamDisplay = 7,
  effGetParamName = 8,
  effSetSampleRate = 10,
  effSetBlockSize = 11,
  effMainsChanged = 12,
  effEditGetRect = 13,
  effEditOpen = 14,
  effEditClose = 15,
  effEditIdle = 19,
  effIdentify = 22,
  effGetChunk = 23,
  effSetChunk = 24,
  effProcessEvents = 25,
  effCanBeAutomated = 26,
  effString2Parameter = 27,
  effGetProgramNameIndexed = 29,
  effGetInputProperties = 33,
  effGetOutputProperties = 34,
  effGetPlugCategory = 35,
  effProcessVarIo = 41,
  effSetSpeakerArrangement = 42,
  effSetBypass = 44,
  effGetEffectName = 45,
  effGetVendorString = 47,
  effGetProductString = 48,
  effGetVendorVersion = 49,
  effVendorSpecific = 50,
  effCanDo = 51,
  effGetTailSize = 52,
  effIdle = 53,
  effGetVstVersion = 58,
  effGetMidiKeyName = 66,
  effGetSpeakerArrangement = 69,
  effStartProcess = 71,
  effStopProcess = 72,
  effSetProcessPrecision = 77,
};

// Plug-in -> host requests.
enum AudioMasterOpcodes : VstInt32 {
  audioMasterAutomate = 0,
  audioMasterVersion = 1,
  audioMasterWantMidi = 6,
  audioMasterGetTime = 7,
  audioMasterProcessEvents = 8,
  audioMasterSizeWindow = 15,
  audioMasterGetCurrentProcessLevel = 23,
  audioMasterGetVendorString = 32,
  audioMasterGetProductString = 33,
  audioMasterGetVendorVersion = 34,
  audioMasterUpdateDisplay = 42,
  audioMasterBeginEdit = 43,
  audioMasterEndEdit = 44,
};

enum VstProcessLevels : VstInt32 { kVstProcessLevelOffline = 4 };

enum VstPlugCategory : VstInt32 { kPlugCategEffect = 1, kPlugCategSynth = 2 };

enum VstTimeInfoFlags : VstInt32 {
  kVstTransportChanged = 1,
  kVstTransportPlaying = 1 << 1,
  kVstTransportCycleActive = 1 << 2,
  kVstTransportRecording = 1 << 3,
  kVstNanosValid = 1 << 8,
  kVstPpqPosValid = 1 << 9,
  kVstTempoValid = 1 << 10,
  kVstBarsValid = 1 << 11,
  kVstCyclePosValid = 1 << 12,
  kVstTimeSigValid = 1 << 13,
  kVstSmpteValid = 1 << 14,
  kVstClockValid = 1 << 15,
};

struct VstTimeInfo {
  double samplePos;
  double sampleRate;
  double nanoSeconds;
  double ppqPos;
  double tempo;
  double barStartPos;
  double cycleStartPos;
  double cycleEndPos;
  VstInt32 timeSigNumerator;
  VstInt32 timeSigDenominator;
  VstInt32 smpteOffset;
  VstInt32 smpteFrameRate;
  VstInt32 samplesToNextClock;
  VstInt32 flags;
};

enum VstEventTypes : VstInt32 { kVstMidiType = 1, kVstSysExType = 6 };

struct VstEvent {
  VstInt32 type;
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;
  char data[16];
};

struct VstEvents {
  VstInt32 numEvents;
  VstIntPtr reserved;
  VstEvent* events[2];  // variable length in practice
};

struct VstMidiEvent {
  VstInt32 type;
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;
  VstInt32 noteLength;
  VstInt32 noteOffset;
  char midiData[4];
  char detune;
  char noteOffVelocity;
  char reserved1;
  char reserved2;
};

struct VstMidiSysexEvent {
  VstInt32 type;
  VstInt32 byteSize;
  VstInt32 deltaFrames;
  VstInt32 flags;
  VstInt32 dumpBytes;
  VstIntPtr resvd1;
  char* sysexDump;
  VstIntPtr resvd2;
};

enum VstPinPropertiesFlags : VstInt32 {
  kVstPinIsActive = 1 << 0,
  kVstPinIsStereo = 1 << 1,
  kVstPinUseSpeaker = 1 << 2,
};

struct VstPinProperties {
  char label[64];
  VstInt32 flags;
  VstInt32 arrangementType;
  char shortLabel[8];
  char future[48];
};

enum VstSpeakerArrangementType : VstInt32 {
  kSpeakerArrUserDefined = -2,
  kSpeakerArrEmpty = -1,
  kSpeakerArrMono = 0,
  kSpeakerArrStereo = 1,
};

struct VstSpeakerProperties {
  float azimuth;
  float elevation;
  float radius;
  float reserved;
  char name[64];
  VstInt32 type;
  char future[28];
};

struct VstSpeakerArrangement {
  VstInt32 type;
  VstInt32 numChannels;
  VstSpeakerProperties speakers[8];
};

struct MidiKeyName {
  VstInt32 thisProgramIndex;
  VstInt32 thisKeyNumber;
  char keyName[64];
  VstInt32 reserved;
  VstInt32 flags;
};

struct ERect {
  VstInt16 top;
  VstInt16 left;
  VstInt16 bottom;
  VstInt16 right;
};

#pragma pack(pop)

// Layout checks for both pointer widths.
#define VST_ASSERT_OFFSET(type, field, off32, off64) \
  static_assert(offsetof(type, field) == (sizeof(void*) == 8 ? (off64) : (off32)), #type "." #field)
#define VST_ASSERT_SIZE(type, s32, s64) \
  static_assert(sizeof(type) == (sizeof(void*) == 8 ? (s64) : (s32)), "sizeof " #type)

VST_ASSERT_SIZE(AEffect, 144, 192);
VST_ASSERT_OFFSET(AEffect, dispatcher, 4, 8);
VST_ASSERT_OFFSET(AEffect, numPrograms, 20, 40);
VST_ASSERT_OFFSET(AEffect, flags, 36, 56);
VST_ASSERT_OFFSET(AEffect, resvd1, 40, 64);
VST_ASSERT_OFFSET(AEffect, initialDelay, 48, 80);
VST_ASSERT_OFFSET(AEffect, ioRatio, 60, 92);
VST_ASSERT_OFFSET(AEffect, object, 64, 96);
VST_ASSERT_OFFSET(AEffect, uniqueID, 72, 112);
VST_ASSERT_OFFSET(AEffect, processReplacing, 80, 120);
VST_ASSERT_OFFSET(AEffect, processDoubleReplacing, 84, 128);
VST_ASSERT_SIZE(VstTimeInfo, 88, 88);
VST_ASSERT_OFFSET(VstTimeInfo, tempo, 32, 32);
VST_ASSERT_OFFSET(VstTimeInfo, timeSigNumerator, 64, 64);
VST_ASSERT_OFFSET(VstTimeInfo, flags, 84, 84);
VST_ASSERT_SIZE(VstEvents, 16, 32);
VST_ASSERT_OFFSET(VstEvents, events, 8, 16);
VST_ASSERT_SIZE(VstEvent, 32, 32);
VST_ASSERT_SIZE(VstMidiEvent, 32, 32);
VST_ASSERT_OFFSET(VstMidiEvent, midiData, 24, 24);
VST_ASSERT_SIZE(VstMidiSysexEvent, 32, 48);
VST_ASSERT_OFFSET(VstMidiSysexEvent, dumpBytes, 16, 16);
VST_ASSERT_OFFSET(VstMidiSysexEvent, sysexDump, 24, 32);
VST_ASSERT_SIZE(VstPinProperties, 128, 128);
VST_ASSERT_OFFSET(VstPinProperties, flags, 64, 64);
VST_ASSERT_SIZE(VstSpeakerProperties, 112, 112);
VST_ASSERT_SIZE(VstSpeakerArrangement, 904, 904);
VST_ASSERT_OFFSET(VstSpeakerArrangement, speakers, 8, 8);
VST_ASSERT_SIZE(MidiKeyName, 80, 80);
VST_ASSERT_OFFSET(MidiKeyName, keyName, 8, 8);
VST_ASSERT_SIZE(ERect, 8, 8);
